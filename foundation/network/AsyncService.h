#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <boost/asio/io_service.hpp>

namespace network {
namespace detail {
class AsyncExecutor;
}

// The place where every asynchronous operation of the network library completes: one
// io_service, run either on a thread of the service's own (named after the service) or polled
// by the owner on its thread.
class AsyncService {
public:
    enum StartupStrategy : int32_t {
        OwnThread = 0,
        Polled = 1,  // every value other than OwnThread behaves as Polled
    };

    AsyncService(StartupStrategy strategy, const char* name,
                 std::function<void()> callback = std::function<void()>());
    virtual ~AsyncService();
    AsyncService(const AsyncService&) = delete;
    AsyncService& operator=(const AsyncService&) = delete;

    // The io_service that sockets, timers and resolvers are created on. Only valid until
    // Terminate.
    boost::asio::io_service& GetImplementation();

    // Calls `callback` on the service when the steady clock reaches `when` (at the next
    // opportunity when it already has). Cannot be cancelled.
    void Schedule(std::chrono::steady_clock::time_point when, std::function<void()> callback);

    // Stops the io_service, joins the own thread (detaches it when called on that thread) and
    // releases the executor; pending handlers are destroyed without being called. A second
    // call does nothing.
    void Terminate();

    const std::string& GetName() const { return m_Name; }
    bool HasOwnThread() const { return m_Thread.joinable(); }
    std::shared_ptr<detail::AsyncExecutor> GetExecutor() const { return m_Executor; }

    // The owner's poll: runs the ready handlers when the service has an executor and no
    // thread of its own; answers how many ran.
    std::size_t Poll();

private:
    static void Run(AsyncService* service);

    std::thread m_Thread;
    std::shared_ptr<detail::AsyncExecutor> m_Executor;
    std::string m_Name;
};

}  // namespace network
