#include "foundation/network/AsyncService.h"

#include <stdexcept>

#include <boost/asio/steady_timer.hpp>

#include "foundation/logging/ThreadName.h"
#include "foundation/network/AsyncExecutor.h"

namespace network {

AsyncService::AsyncService(StartupStrategy strategy, const char* name,
                           std::function<void()> callback)
    : m_Executor(std::make_shared<detail::AsyncExecutor>(std::move(callback))),
      m_Name(name != nullptr ? name : "") {
    if (strategy == OwnThread && !m_Thread.joinable()) {
        m_Thread = std::thread(&AsyncService::Run, this);
    }
}

AsyncService::~AsyncService() {
    Terminate();
}

boost::asio::io_service& AsyncService::GetImplementation() {
    if (!m_Executor) {
        throw std::logic_error("asynchronous service used after Terminate");
    }
    return m_Executor->GetIOService();
}

void AsyncService::Schedule(std::chrono::steady_clock::time_point when,
                            std::function<void()> callback) {
    auto timer = std::make_shared<boost::asio::steady_timer>(GetImplementation(), when);
    timer->async_wait([timer, callback = std::move(callback)](const boost::system::error_code&) {
        if (callback) {
            callback();
        }
    });
}

void AsyncService::Terminate() {
    if (!m_Executor) {
        return;
    }
    m_Executor->Stop();
    if (m_Thread.joinable()) {
        if (m_Thread.get_id() == std::this_thread::get_id()) {
            m_Thread.detach();
        } else {
            m_Thread.join();
        }
    }
    m_Executor.reset();
}

std::size_t AsyncService::Poll() {
    auto executor = m_Executor;
    if (!executor || m_Thread.joinable()) {
        return 0;
    }
    return executor->Poll();
}

void AsyncService::Run(AsyncService* service) {
    core::SetThreadName(service->m_Name);
    // The thread's own reference: the service may be destroyed (and release its reference)
    // from one of its handlers while this still runs.
    auto executor = service->m_Executor;
    executor->RunIndefinitely();
}

}  // namespace network
