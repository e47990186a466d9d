#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/signals2/connection.hpp>

#include "foundation/logging/LogSource.h"
#include "foundation/network/Endpoint.h"
#include "foundation/network/ITCPSocket.h"
#include "foundation/network/ResolvedEndpoint.h"

namespace network {

class AsyncService;
class AsyncSSLContext;
class HostResolver;
class INetworkConnectivity;

// TCP socket with optional HTTP CONNECT tunnel and TLS (server name indication, host check
// against the system's trust anchors), a priority send queue, fixed-length receives and an
// orderly close. Every operation runs on the socket's service and holds a strong reference to
// the socket until it completes: the socket must be owned by a shared pointer.
//
// Connect (per address), TLS handshake and TLS shutdown have deadlines: the timeout (connect,
// handshake, name resolution) and 5 s (shutdown). Every connect starts on a fresh descriptor
// and TLS engine. Sends still queued when a write fails or the socket is closed complete with
// WriteFailure or OperationCancelled.
class AsyncTCPSocket : public ITCPSocket,
                       private logging::LogSource,
                       public std::enable_shared_from_this<AsyncTCPSocket> {
public:
    using Stream = boost::asio::ssl::stream<boost::asio::ip::tcp::socket>;

    struct AsyncSendTask {
        CBYTESubBuffer buffer;
        SendCallback callback;
        bool priority = true;
        uint64_t sequence = 0;
        // Heap order: priority first, then the earlier sequence.
        bool operator<(const AsyncSendTask& other) const {
            if (priority != other.priority) {
                return !priority;
            }
            return sequence > other.sequence;
        }
    };

    AsyncTCPSocket(std::shared_ptr<AsyncService> service,
                   std::shared_ptr<AsyncSSLContext> sslContext,
                   std::shared_ptr<INetworkConnectivity> connectivity);
    ~AsyncTCPSocket() override;
    AsyncTCPSocket(const AsyncTCPSocket&) = delete;
    AsyncTCPSocket& operator=(const AsyncTCPSocket&) = delete;

    void SetTimeout(uint64_t milliseconds) override;
    void SetKeepAlive(bool keepAlive) override;
    void AsyncConnect(const std::string& host, uint16_t port, bool secure,
                      ConnectCallback callback) override;
    void AsyncConnect(const std::string& host, uint16_t port, bool secure,
                      const std::string& proxyHost, uint16_t proxyPort,
                      ConnectCallback callback) override;
    void AsyncClose(CloseCallback callback) override;
    void AsyncSend(CBYTESubBuffer&& buffer, SendCallback callback) override;
    void AsyncPrioritySend(CBYTESubBuffer&& buffer, bool priority, SendCallback callback) override;
    void AsyncReceive(uint64_t length, ReceiveCallback callback) override;

    const std::shared_ptr<AsyncService>& GetService() const { return m_Service; }
    const std::shared_ptr<AsyncSSLContext>& GetSSLContext() const { return m_SSLContext; }
    const std::shared_ptr<INetworkConnectivity>& GetNetworkConnectivity() const {
        return m_Connectivity;
    }
    const Endpoint& GetActiveEndpoint() const { return m_ActiveEndpoint; }
    bool IsConnected() const { return m_Connected; }
    bool IsSecureHandshakeComplete() const { return m_SecureHandshakeComplete; }

    // Direct stream access for the HTTP connection (bypasses the send queue): TLS once the
    // handshake is complete, else plain TCP. The handler keeps the socket alive.
    template <typename Buffers, typename Handler>
    void AsyncWrite(const Buffers& buffers, Handler&& handler) {
        auto stream = m_Stream;
        auto wrapped = Keep(std::forward<Handler>(handler));
        if (m_SecureHandshakeComplete) {
            boost::asio::async_write(*stream, buffers, std::move(wrapped));
        } else {
            boost::asio::async_write(stream->next_layer(), buffers, std::move(wrapped));
        }
    }
    template <typename Allocator, typename Handler>
    void AsyncWrite(boost::asio::basic_streambuf<Allocator>& buffer, Handler&& handler) {
        auto stream = m_Stream;
        auto wrapped = Keep(std::forward<Handler>(handler));
        if (m_SecureHandshakeComplete) {
            boost::asio::async_write(*stream, buffer, std::move(wrapped));
        } else {
            boost::asio::async_write(stream->next_layer(), buffer, std::move(wrapped));
        }
    }
    // Reads exactly `length` bytes into `buffer`.
    template <typename Allocator, typename Handler>
    void AsyncRead(boost::asio::basic_streambuf<Allocator>& buffer, std::size_t length,
                   Handler&& handler) {
        auto stream = m_Stream;
        auto wrapped = Keep(std::forward<Handler>(handler));
        if (m_SecureHandshakeComplete) {
            boost::asio::async_read(*stream, buffer, boost::asio::transfer_exactly(length),
                                    std::move(wrapped));
        } else {
            boost::asio::async_read(stream->next_layer(), buffer,
                                    boost::asio::transfer_exactly(length), std::move(wrapped));
        }
    }
    template <typename Allocator, typename Handler>
    void AsyncReadUntil(boost::asio::basic_streambuf<Allocator>& buffer,
                        const std::string& delimiter, Handler&& handler) {
        auto stream = m_Stream;
        auto wrapped = Keep(std::forward<Handler>(handler));
        if (m_SecureHandshakeComplete) {
            boost::asio::async_read_until(*stream, buffer, delimiter, std::move(wrapped));
        } else {
            boost::asio::async_read_until(stream->next_layer(), buffer, delimiter,
                                          std::move(wrapped));
        }
    }

    // Reads whatever has arrived, at least one byte, into `buffer` (a mutable buffer
    // sequence): the HTTP connection's response reading.
    template <typename MutableBuffers, typename Handler>
    void AsyncReadSome(const MutableBuffers& buffers, Handler&& handler) {
        auto stream = m_Stream;
        auto wrapped = Keep(std::forward<Handler>(handler));
        if (m_SecureHandshakeComplete) {
            stream->async_read_some(buffers, std::move(wrapped));
        } else {
            stream->next_layer().async_read_some(buffers, std::move(wrapped));
        }
    }

    // The HTTP CONNECT negotiation with the proxy this socket is connected to; completes with
    // Success once the tunnel is open (and the TLS handshake with the target done when secure).
    void AsyncProxyAuthenticate(const std::string& host, uint16_t port, bool secure,
                                const std::string& proxyHost, uint16_t proxyPort,
                                ConnectCallback callback);

private:
    using Deadline = std::shared_ptr<boost::asio::steady_timer>;
    using ResolvedList = std::deque<ResolvedEndpoint>;

    template <typename Handler>
    auto Keep(Handler&& handler) {
        return [self = shared_from_this(), stream = m_Stream,
                handler = std::forward<Handler>(handler)](const boost::system::error_code& error,
                                                          std::size_t bytes) mutable {
            handler(error, bytes);
        };
    }

    bool Reachable() const;
    void NotifyDataTransfer() const;
    // A fresh descriptor-less TCP socket and TLS engine; the old ones are closed.
    void ResetStream();
    Deadline StartDeadline(std::chrono::milliseconds limit, const std::shared_ptr<bool>& expired);

    void DirectConnect(const std::string& host, uint16_t port, ConnectCallback callback);
    void ConnectToList(std::shared_ptr<ResolvedList> endpoints, ConnectCallback callback);
    void ConnectToOne(const boost::asio::ip::tcp::endpoint& endpoint, ConnectCallback callback);
    void OpenDescriptor(const boost::asio::ip::tcp::endpoint& endpoint);
    void Handshake(const std::string& host, ConnectCallback callback);

    void DoPrioritySend(CBYTESubBuffer&& buffer, bool priority, SendCallback callback);
    void WriteNow(CBYTESubBuffer&& buffer, SendCallback callback);
    void FailQueuedSends(ErrorCode code);
    void DoReceive(uint64_t length, ReceiveCallback callback);
    void DoClose(CloseCallback callback);
    void StartShutdown();
    void FinishClose();
    void ForceClose();

    std::shared_ptr<AsyncService> m_Service;
    std::shared_ptr<AsyncSSLContext> m_SSLContext;
    std::shared_ptr<INetworkConnectivity> m_Connectivity;
    std::shared_ptr<Stream> m_Stream;  // the TLS engine over the TCP socket
    std::shared_ptr<HostResolver> m_Resolver;
    Endpoint m_ActiveEndpoint;
    bool m_Connected = false;
    bool m_SecureHandshakeComplete = false;
    bool m_Sending = false;
    bool m_Receiving = false;
    bool m_Closing = false;
    std::vector<CloseCallback> m_PendingCloseCallbacks;
    std::vector<AsyncSendTask> m_SendQueue;
    uint64_t m_SendSequence = 0;
    std::chrono::milliseconds m_Timeout{15000};
    bool m_KeepAlive = false;
    boost::signals2::connection m_ForceCloseConnection;
};

}  // namespace network
