#include "foundation/network/AsyncTCPSocket.h"

#include "foundation/network/AsyncExecutor.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/address.hpp>

#include "foundation/conversion/LexicalCast.h"
#include "foundation/network/AsyncExecutor.h"
#include "foundation/network/AsyncSSLContext.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/HostResolver.h"
#include "foundation/network/ICertificateVerifier.h"
#include "foundation/network/INetworkConnectivity.h"

namespace network {
namespace {

const std::chrono::seconds kShutdownLimit(5);

std::string ErrorText(const boost::system::error_code& error) {
    std::string text;
    conversion::in_place_lexical_cast(text, error);
    return text;
}

bool IsAborted(const boost::system::error_code& error) {
    return error == boost::asio::error::operation_aborted;
}

}  // namespace

AsyncTCPSocket::AsyncTCPSocket(std::shared_ptr<AsyncService> service,
                               std::shared_ptr<AsyncSSLContext> sslContext,
                               std::shared_ptr<INetworkConnectivity> connectivity)
    : logging::LogSource("AsyncTCPSocket"),
      m_Service(std::move(service)),
      m_SSLContext(std::move(sslContext)),
      m_Connectivity(std::move(connectivity)),
      m_Stream(
          std::make_shared<Stream>(m_Service->GetImplementation(), m_SSLContext->GetContext())),
      m_Resolver(std::make_shared<HostResolver>(m_Service)) {
    if (m_Connectivity) {
        // The subscription must not keep the socket alive: the destructor drops it.
        auto* raw = this;
        m_ForceCloseConnection = m_Connectivity->GetSocketSignals().ConnectForceCloseSocketsSignal(
            [raw] { raw->ForceClose(); });
    }
}

AsyncTCPSocket::~AsyncTCPSocket() {
    m_ForceCloseConnection.disconnect();
    // Queued sends and pending close callbacks are dropped; the descriptor is closed by the
    // stream without any shutdown exchange.
}

void AsyncTCPSocket::SetTimeout(uint64_t milliseconds) {
    m_Timeout = std::chrono::milliseconds(
        std::min<uint64_t>(milliseconds, static_cast<uint64_t>(24) * 3600 * 1000));
}

void AsyncTCPSocket::SetKeepAlive(bool keepAlive) {
    m_KeepAlive = keepAlive;
}

bool AsyncTCPSocket::Reachable() const {
    return !m_Connectivity || m_Connectivity->IsNetworkReachable();
}

void AsyncTCPSocket::NotifyDataTransfer() const {
    if (m_Connectivity) {
        m_Connectivity->NotifyDataTransfer();
    }
}

void AsyncTCPSocket::ResetStream() {
    boost::system::error_code ignored;
    if (m_Stream->lowest_layer().is_open()) {
        m_Stream->lowest_layer().close(ignored);
    }
    m_Stream = std::make_shared<Stream>(m_Service->GetImplementation(), m_SSLContext->GetContext());
    m_Connected = false;
    m_SecureHandshakeComplete = false;
    m_Sending = false;
    m_Receiving = false;
    FailQueuedSends(OperationCancelled);
    if (m_Closing) {
        // A close still in progress on the old descriptor is complete now.
        m_Closing = false;
        std::vector<CloseCallback> callbacks;
        callbacks.swap(m_PendingCloseCallbacks);
        for (auto& callback : callbacks) {
            callback(Success);
        }
    }
}

AsyncTCPSocket::Deadline AsyncTCPSocket::StartDeadline(std::chrono::milliseconds limit,
                                                       const std::shared_ptr<bool>& expired) {
    auto timer = std::make_shared<boost::asio::steady_timer>(m_Service->GetImplementation());
    timer->expires_after(limit);
    std::weak_ptr<Stream> weakStream = m_Stream;
    timer->async_wait([weakStream, expired](const boost::system::error_code& error) {
        if (error) {
            return;  // disarmed
        }
        *expired = true;
        if (auto stream = weakStream.lock()) {
            boost::system::error_code ignored;
            stream->lowest_layer().cancel(ignored);
        }
    });
    return timer;
}

// ---- connect ----

void AsyncTCPSocket::AsyncConnect(const std::string& host, uint16_t port, bool secure,
                                  ConnectCallback callback) {
    AsyncConnect(host, port, secure, std::string(), 0, std::move(callback));
}

void AsyncTCPSocket::AsyncConnect(const std::string& host, uint16_t port, bool secure,
                                  const std::string& proxyHost, uint16_t proxyPort,
                                  ConnectCallback callback) {
    auto self = shared_from_this();
    m_ActiveEndpoint = Endpoint{host, port};

    if (!proxyHost.empty()) {
        if (m_Connected) {
            // A retry of the negotiation on a connection the proxy kept open.
            AsyncProxyAuthenticate(host, port, secure, proxyHost, proxyPort, std::move(callback));
            return;
        }
        ResetStream();
        DirectConnect(proxyHost, proxyPort,
                      [self, host, port, secure, proxyHost, proxyPort,
                       callback = std::move(callback)](ErrorCode code) {
                          if (code != Success) {
                              callback(code);
                              return;
                          }
                          self->AsyncProxyAuthenticate(host, port, secure, proxyHost, proxyPort,
                                                       callback);
                      });
        return;
    }

    ResetStream();
    DirectConnect(host, port, [self, host, secure, callback = std::move(callback)](ErrorCode code) {
        if (code != Success) {
            callback(code);
            return;
        }
        if (secure) {
            self->Handshake(host, callback);
        } else {
            callback(Success);
        }
    });
}

void AsyncTCPSocket::DirectConnect(const std::string& host, uint16_t port,
                                   ConnectCallback callback) {
    if (!Reachable()) {
        callback(NetworkUnreachable);
        return;
    }
    boost::system::error_code literalError;
    const auto address = boost::asio::ip::make_address(host, literalError);
    if (!literalError) {
        auto list = std::make_shared<ResolvedList>();
        list->push_back(ResolvedEndpoint{address, port});
        ConnectToList(list, std::move(callback));
        return;
    }

    // The system lookup cannot be cancelled: at the deadline the connect fails, and the late
    // result is ignored.
    auto self = shared_from_this();
    auto done = std::make_shared<bool>(false);
    auto expired = std::make_shared<bool>(false);
    auto shared = std::make_shared<ConnectCallback>(std::move(callback));
    auto timer = std::make_shared<boost::asio::steady_timer>(m_Service->GetImplementation());
    timer->expires_after(m_Timeout);
    timer->async_wait([self, done, shared, host, port](const boost::system::error_code& error) {
        if (error || *done) {
            return;
        }
        *done = true;
        self->Log(logging::Error) << "Address resolution failed when connecting to <" << host << ":"
                                  << port
                                  << ">; reason: " << ErrorText(boost::asio::error::timed_out);
        (*shared)(ResolutionFailure);
    });
    m_Resolver->AsyncResolveAll(
        Endpoint{host, port}, [self, done, timer, shared](const boost::system::error_code& error,
                                                          ResolvedList&& endpoints) {
            if (*done) {
                return;
            }
            *done = true;
            timer->cancel();
            if (error || endpoints.empty()) {
                (*shared)(ResolutionFailure);
                return;
            }
            self->NotifyDataTransfer();
            self->ConnectToList(std::make_shared<ResolvedList>(std::move(endpoints)),
                                std::move(*shared));
        });
}

void AsyncTCPSocket::ConnectToList(std::shared_ptr<ResolvedList> endpoints,
                                   ConnectCallback callback) {
    const ResolvedEndpoint next = endpoints->front();
    endpoints->pop_front();
    auto self = shared_from_this();
    ConnectToOne(boost::asio::ip::tcp::endpoint(next.address, next.port),
                 [self, endpoints, callback = std::move(callback)](ErrorCode code) {
                     if (code == ConnectionFailure && !endpoints->empty()) {
                         boost::system::error_code ignored;
                         self->m_Stream->lowest_layer().close(ignored);
                         self->ConnectToList(endpoints, callback);
                         return;
                     }
                     callback(code);
                 });
}

void AsyncTCPSocket::OpenDescriptor(const boost::asio::ip::tcp::endpoint& endpoint) {
    auto& socket = m_Stream->lowest_layer();
    Log(logging::Debug) << "Opening socket to " << endpoint.address().to_string() << ":"
                        << endpoint.port();
    boost::system::error_code error;
    socket.open(endpoint.protocol(), error);
    if (error) {
        Log(logging::Warning) << "Failed to open socket; reason: " << ErrorText(error);
        return;
    }
    socket.set_option(boost::asio::ip::tcp::no_delay(true), error);
    if (error) {
        Log(logging::Warning) << "Failed to set socket option TCP_NODELAY; reason: "
                              << ErrorText(error);
    }
    // Applied for the operating system's sake; they do not time out the asynchronous
    // operations, which have deadlines of their own.
    timeval time{};
    time.tv_sec = static_cast<time_t>(m_Timeout.count() / 1000);
    time.tv_usec = static_cast<suseconds_t>((m_Timeout.count() % 1000) * 1000);
    const auto fd = socket.native_handle();
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &time, sizeof(time)) != 0) {
        Log(logging::Warning) << "Failed to set TCP socket receive timeout; reason: "
                              << ErrorText(boost::system::error_code(
                                     errno, boost::system::system_category()));
    }
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &time, sizeof(time)) != 0) {
        Log(logging::Warning) << "Failed to set TCP socket send timeout; reason: "
                              << ErrorText(boost::system::error_code(
                                     errno, boost::system::system_category()));
    }
    socket.set_option(boost::asio::socket_base::keep_alive(m_KeepAlive), error);
    if (error) {
        Log(logging::Warning) << "Failed to set TCP socket keep-alive; reason: "
                              << ErrorText(error);
    }
}

void AsyncTCPSocket::ConnectToOne(const boost::asio::ip::tcp::endpoint& endpoint,
                                  ConnectCallback callback) {
    if (!Reachable()) {
        callback(NetworkUnreachable);
        return;
    }
    if (!m_Stream->lowest_layer().is_open()) {
        OpenDescriptor(endpoint);
    }
    Log(logging::Debug) << "Connecting to " << endpoint.address().to_string() << ":"
                        << endpoint.port();

    auto self = shared_from_this();
    auto stream = m_Stream;
    auto expired = std::make_shared<bool>(false);
    auto deadline = StartDeadline(m_Timeout, expired);
    stream->lowest_layer().async_connect(
        endpoint, [self, stream, deadline, expired, endpoint,
                   callback = std::move(callback)](const boost::system::error_code& result) {
            deadline->cancel();
            boost::system::error_code error = result;
            if (*expired && result) {  // a completion that raced the deadline counts
                error = boost::asio::error::timed_out;
            }
            if (stream != self->m_Stream) {
                callback(OperationCancelled);  // a newer connect or a close replaced it
                return;
            }
            if (error) {
                if (IsAborted(error) && self->m_Closing) {
                    callback(OperationCancelled);
                    return;
                }
                self->Log(logging::Error) << "TCP connection failed when connecting to <"
                                          << endpoint.address().to_string() << ":"
                                          << endpoint.port() << ">; reason: " << ErrorText(error);
                callback(ConnectionFailure);
                return;
            }
            self->NotifyDataTransfer();
            self->m_Connected = true;
            callback(Success);
        });
}

void AsyncTCPSocket::Handshake(const std::string& host, ConnectCallback callback) {
    if (!Reachable()) {
        callback(NetworkUnreachable);
        return;
    }
    auto stream = m_Stream;
    stream->set_verify_callback(
        polymorphic_verifier<ICertificateVerifier>(ICertificateVerifier::Create(host)));
    SSL_set_tlsext_host_name(stream->native_handle(), host.c_str());

    Log(logging::Debug) << "Starting SSL handshake";
    auto self = shared_from_this();
    auto expired = std::make_shared<bool>(false);
    auto deadline = StartDeadline(m_Timeout, expired);
    stream->async_handshake(
        boost::asio::ssl::stream_base::client,
        [self, stream, deadline, expired,
         callback = std::move(callback)](const boost::system::error_code& result) {
            deadline->cancel();
            boost::system::error_code error = result;
            if (*expired && result) {  // a completion that raced the deadline counts
                error = boost::asio::error::timed_out;
            }
            if (stream != self->m_Stream) {
                callback(OperationCancelled);  // a newer connect or a close replaced it
                return;
            }
            if (!error) {
                self->Log(logging::Debug) << "SSL handshake done";
                self->NotifyDataTransfer();
                self->m_SecureHandshakeComplete = true;
                callback(Success);
                return;
            }
            boost::system::error_code endpointError;
            const auto remote = stream->lowest_layer().remote_endpoint(endpointError);
            if (endpointError) {
                self->Log(logging::Error)
                    << "SSL handshake failed when connecting to remote endpoint; reason: "
                    << ErrorText(error);
            } else {
                self->Log(logging::Error)
                    << "SSL handshake failed when connecting to <" << remote.address().to_string()
                    << ":" << remote.port() << ">; reason: " << ErrorText(error);
            }
            self->AsyncClose([callback](ErrorCode) { callback(SecureHandshakeFailure); });
        });
}

// ---- send ----

void AsyncTCPSocket::AsyncSend(CBYTESubBuffer&& buffer, SendCallback callback) {
    AsyncPrioritySend(std::move(buffer), true, std::move(callback));
}

void AsyncTCPSocket::AsyncPrioritySend(CBYTESubBuffer&& buffer, bool priority,
                                       SendCallback callback) {
    auto self = shared_from_this();
    boost::asio::dispatch(
        m_Service->GetImplementation(),
        [self, buffer = std::move(buffer), priority, callback = std::move(callback)]() mutable {
            self->DoPrioritySend(std::move(buffer), priority, std::move(callback));
        });
}

void AsyncTCPSocket::DoPrioritySend(CBYTESubBuffer&& buffer, bool priority, SendCallback callback) {
    if (!Reachable()) {
        callback(NetworkUnreachable, 0);
        return;
    }
    if (!m_Sending) {
        WriteNow(std::move(buffer), std::move(callback));
        return;
    }
    AsyncSendTask task;
    task.buffer = std::move(buffer);
    task.callback = std::move(callback);
    task.priority = priority;
    task.sequence = ++m_SendSequence;
    m_SendQueue.push_back(std::move(task));
    std::push_heap(m_SendQueue.begin(), m_SendQueue.end());
}

void AsyncTCPSocket::WriteNow(CBYTESubBuffer&& buffer, SendCallback callback) {
    if (!Reachable()) {
        callback(NetworkUnreachable, 0);
        return;
    }
    if (buffer.GetLength() == 0) {
        callback(Success, 0);
        return;
    }
    m_Sending = true;
    auto self = shared_from_this();
    auto stream = m_Stream;
    const auto bytes =
        boost::asio::buffer(buffer.GetBuffer(), static_cast<std::size_t>(buffer.GetLength()));
    auto handler = [self, stream, buffer, callback = std::move(callback)](
                       const boost::system::error_code& error, std::size_t written) {
        if (stream != self->m_Stream) {
            callback(OperationCancelled, written);  // the socket was reconnected meanwhile
            return;
        }
        self->m_Sending = false;
        if (IsAborted(error)) {
            self->Log(logging::Debug) << "Connection closed.";
            callback(OperationCancelled, written);
            self->FailQueuedSends(OperationCancelled);
            return;
        }
        if (!error && written == buffer.GetLength()) {
            callback(Success, written);
            if (!self->m_SendQueue.empty()) {
                std::pop_heap(self->m_SendQueue.begin(), self->m_SendQueue.end());
                AsyncSendTask next = std::move(self->m_SendQueue.back());
                self->m_SendQueue.pop_back();
                self->DoPrioritySend(std::move(next.buffer), next.priority,
                                     std::move(next.callback));
            }
            return;
        }
        self->Log(logging::Error) << "TCP write error; reason: " << error.message() << " ["
                                  << error.value() << "]";
        callback(WriteFailure, written);
        self->FailQueuedSends(WriteFailure);
    };
    if (m_SecureHandshakeComplete) {
        boost::asio::async_write(*stream, bytes, std::move(handler));
    } else {
        boost::asio::async_write(stream->next_layer(), bytes, std::move(handler));
    }
}

void AsyncTCPSocket::FailQueuedSends(ErrorCode code) {
    std::vector<AsyncSendTask> queue;
    queue.swap(m_SendQueue);
    std::sort_heap(queue.begin(), queue.end());  // ascending: the first to send is last
    for (auto it = queue.rbegin(); it != queue.rend(); ++it) {
        if (it->callback) {
            it->callback(code, 0);
        }
    }
}

// ---- receive ----

void AsyncTCPSocket::AsyncReceive(uint64_t length, ReceiveCallback callback) {
    auto self = shared_from_this();
    boost::asio::dispatch(m_Service->GetImplementation(),
                          [self, length, callback = std::move(callback)]() mutable {
                              self->DoReceive(length, std::move(callback));
                          });
}

void AsyncTCPSocket::DoReceive(uint64_t length, ReceiveCallback callback) {
    if (length == 0) {
        callback(Success, CBYTESubBuffer());
        return;
    }
    if (!Reachable()) {
        callback(NetworkUnreachable, CBYTESubBuffer());
        return;
    }
    if (m_Receiving) {
        Log(logging::Error) << "TCP read error; reason: a receive is already in flight";
        callback(ReadFailure, CBYTESubBuffer());
        return;
    }
    std::shared_ptr<CBYTESubBuffer::Buffer> data;
    try {
        data = std::make_shared<CBYTESubBuffer::Buffer>(static_cast<std::size_t>(length));
    } catch (const std::exception&) {
        Log(logging::Error) << "TCP read error; reason: cannot hold " << length << " bytes";
        callback(ReadFailure, CBYTESubBuffer());
        return;
    }
    m_Receiving = true;
    auto self = shared_from_this();
    auto stream = m_Stream;
    const auto bytes = boost::asio::buffer(data->data(), data->size());
    auto handler = [self, stream, data, callback = std::move(callback)](
                       const boost::system::error_code& error, std::size_t received) {
        if (stream != self->m_Stream) {
            callback(OperationCancelled, CBYTESubBuffer());
            return;
        }
        self->m_Receiving = false;
        if (IsAborted(error)) {
            self->Log(logging::Debug) << "Connection closed.";
            if (self->m_Closing) {
                // This receive held the close back; finish it now.
                self->StartShutdown();
            }
            callback(OperationCancelled, CBYTESubBuffer());
            return;
        }
        if (error || received != data->size()) {
            self->Log(logging::Error)
                << "TCP read error; reason: " << error.message() << " [" << error.value() << "]";
            callback(ReadFailure, CBYTESubBuffer());
            return;
        }
        self->NotifyDataTransfer();
        callback(Success, CBYTESubBuffer(std::shared_ptr<const CBYTESubBuffer::Buffer>(data)));
    };
    if (m_SecureHandshakeComplete) {
        boost::asio::async_read(*stream, bytes, std::move(handler));
    } else {
        boost::asio::async_read(stream->next_layer(), bytes, std::move(handler));
    }
}

// ---- close ----

void AsyncTCPSocket::AsyncClose(CloseCallback callback) {
    m_ForceCloseConnection.disconnect();
    const auto executor = m_Service->GetExecutor();
    if (!executor) {
        // The service is terminated (an owner released while its pending handlers are
        // destroyed closes its sockets): like those handlers, this close is dropped; the
        // socket closes when it is destroyed.
        return;
    }
    auto self = shared_from_this();
    boost::asio::dispatch(
        executor->GetIOService(),
        [self, callback = std::move(callback)]() mutable { self->DoClose(std::move(callback)); });
}

void AsyncTCPSocket::DoClose(CloseCallback callback) {
    Log(logging::Debug) << "Canceling pending handlers on TCP socket.";
    if (callback) {
        m_PendingCloseCallbacks.push_back(std::move(callback));
    }
    FailQueuedSends(OperationCancelled);
    if (m_Closing) {
        return;  // the close in progress completes this one too
    }
    m_Closing = true;
    boost::system::error_code ignored;
    m_Stream->lowest_layer().cancel(ignored);
    if (m_Receiving) {
        return;  // the aborted receive finishes the close
    }
    StartShutdown();
}

void AsyncTCPSocket::StartShutdown() {
    if (!m_SecureHandshakeComplete) {
        FinishClose();
        return;
    }
    auto self = shared_from_this();
    auto stream = m_Stream;
    auto expired = std::make_shared<bool>(false);
    auto deadline = StartDeadline(kShutdownLimit, expired);
    stream->async_shutdown([self, stream, deadline](const boost::system::error_code&) {
        deadline->cancel();
        if (stream == self->m_Stream) {
            self->FinishClose();
        }
    });
}

void AsyncTCPSocket::FinishClose() {
    Log(logging::Debug) << "Shutting down TCP socket.";
    boost::system::error_code ignored;
    auto& socket = m_Stream->lowest_layer();
    socket.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    m_Connected = false;
    m_SecureHandshakeComplete = false;
    m_Closing = false;
    std::vector<CloseCallback> callbacks;
    callbacks.swap(m_PendingCloseCallbacks);
    for (auto& callback : callbacks) {
        callback(Success);
    }
}

void AsyncTCPSocket::ForceClose() {
    auto self = weak_from_this().lock();
    if (!self) {
        return;  // not owned by a shared pointer (yet), or being destroyed
    }
    SSL_set_quiet_shutdown(m_Stream->native_handle(), 1);
    AsyncClose(CloseCallback());
}

}  // namespace network
