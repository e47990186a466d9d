#pragma once

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include <boost/asio/steady_timer.hpp>

#include "foundation/core/SharedFromThis.h"
#include "foundation/logging/LogSource.h"
#include "foundation/network/IWebSocket.h"
#include "foundation/network/URL.h"
#include "foundation/network/WebSocketFrameReader.h"

namespace network {

class AsyncService;
class AsyncSSLContext;
class AsyncTCPSocket;
class INetworkConnectivity;

// WebSocket client (RFC 6455, version 13) over the library's socket: connect (through the
// system proxy, with TLS for "wss" and "https"), upgrade with the library's HTTP client on
// that socket, then masked single-frame binary messages out and data messages in. Bytes that
// came with the 101 head are read as the first frames. Pings are answered, a server close is
// echoed. A frame that breaks the protocol or a message over 16 MiB fails the connection: a
// close frame (1002 or 1009) is written, the socket closed and the receive reports ReadFailure.
// After this side's close frame, a peer that does not answer within 5 s has its socket closed.
//
// Must be owned by a std::shared_ptr: every pending operation holds a strong reference.
class AsyncWebSocket : public IWebSocket, private logging::LogSource, public core::SharedFromThis {
public:
    // Status for a connect whose TLS handshake failed (the other failures report ConnectFailed).
    static constexpr HTTPStatusCode kSecureHandshakeFailed = static_cast<HTTPStatusCode>(4);
    static constexpr std::chrono::milliseconds kCloseAnswerTimeout{5000};

    AsyncWebSocket(std::shared_ptr<AsyncService> service,
                   std::shared_ptr<AsyncSSLContext> sslContext,
                   std::shared_ptr<INetworkConnectivity> connectivity);
    ~AsyncWebSocket() override;
    AsyncWebSocket(const AsyncWebSocket&) = delete;
    AsyncWebSocket& operator=(const AsyncWebSocket&) = delete;

    void Connect(const std::string& url, ConnectCallback&& done) override;
    void Connect(const std::string& url, std::map<std::string, std::string>&& headers,
                 ConnectCallback&& done) override;
    void Send(Payload&& payload, SendCallback&& done) override;
    void Receive(ReceiveCallback&& done) override;
    void Close(CloseCallback&& done) override;

    bool IsOpen() const { return m_Open; }
    const std::shared_ptr<AsyncTCPSocket>& GetSocket() const { return m_Socket; }

    // The whole frame (header, masking key, masked payload) for one message with FIN set.
    static Payload BuildFrame(WebSocketOperationCode opcode, const unsigned char* payload,
                              std::size_t length, const std::array<unsigned char, 4>& key);
    // The expected "Sec-WebSocket-Accept" value for a key text.
    static std::string AcceptValue(const std::string& keyText);

private:
    void Negotiate(const URL& url, std::map<std::string, std::string>&& headers,
                   ConnectCallback&& done);
    void Send(WebSocketOperationCode opcode, Payload&& payload, SendCallback&& done);
    void ReceiveFrame(ReceiveCallback done);
    void ConsumeUnread(ReceiveCallback done);
    void Act(WebSocketFrameReader::Result result, ReceiveCallback done);
    void CloseSocketThen(ReceiveCallback done, ITCPSocket::ErrorCode code);
    void StartCloseTimer();
    boost::asio::io_context& Io();

    std::shared_ptr<AsyncTCPSocket> m_Socket;
    bool m_Open = false;
    WebSocketFrameReader m_Reader;
    Payload m_Unread;
    std::shared_ptr<boost::asio::steady_timer> m_CloseTimer;
};

}  // namespace network
