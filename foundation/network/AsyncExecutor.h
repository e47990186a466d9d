#pragma once

#include <functional>
#include <memory>

#include <boost/asio/io_service.hpp>

namespace network {
namespace detail {

// Holds the io_service of an AsyncService and keeps it busy between operations, so that
// running it does not return while nothing is pending.
class AsyncExecutor {
public:
    explicit AsyncExecutor(std::function<void()> callback);
    ~AsyncExecutor();
    AsyncExecutor(const AsyncExecutor&) = delete;
    AsyncExecutor& operator=(const AsyncExecutor&) = delete;

    boost::asio::io_service& GetIOService() { return m_IOService; }

    // Runs handlers on the calling thread until Stop.
    void RunIndefinitely();
    // Runs every handler that is ready now, without waiting; answers how many ran.
    std::size_t Poll();
    // Drops the work guard and stops the io_service.
    void Stop();

private:
    std::function<void()> m_Callback;
    boost::asio::io_service m_IOService;
    std::unique_ptr<boost::asio::io_service::work> m_Work;
};

}  // namespace detail
}  // namespace network
