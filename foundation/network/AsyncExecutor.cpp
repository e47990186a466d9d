#include "foundation/network/AsyncExecutor.h"

namespace network {
namespace detail {

AsyncExecutor::AsyncExecutor(std::function<void()> callback)
    : m_Callback(std::move(callback)),
      m_Work(std::make_unique<boost::asio::io_service::work>(m_IOService)) {}

AsyncExecutor::~AsyncExecutor() {
    m_Work.reset();
}

void AsyncExecutor::RunIndefinitely() {
    boost::system::error_code error;
    m_IOService.run(error);
}

std::size_t AsyncExecutor::Poll() {
    boost::system::error_code error;
    return m_IOService.poll(error);
}

void AsyncExecutor::Stop() {
    m_Work.reset();
    m_IOService.stop();
}

}  // namespace detail
}  // namespace network
