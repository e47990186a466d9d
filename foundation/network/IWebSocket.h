#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "foundation/core/NonInitializingBuffer.h"
#include "foundation/network/HTTPStatusCode.h"
#include "foundation/network/IHTTPResponse.h"
#include "foundation/network/ITCPSocket.h"

namespace network {

// Opcodes of WebSocket frames.
enum WebSocketOperationCode : int32_t {
    OpContinuation = 0,
    OpText = 1,
    OpBinary = 2,
    OpClose = 8,
    OpPing = 9,
    OpPong = 10,
};

// The library's WebSocket client: connect with the upgrade handshake, send binary messages,
// receive data messages one per call, close.
class IWebSocket {
public:
    using Payload = core::NonInitializingBuffer<unsigned char>;
    using ConnectCallback = std::function<void(HTTPStatusCode, std::unique_ptr<IHTTPResponse>)>;
    using SendCallback = std::function<void(ITCPSocket::ErrorCode)>;
    using ReceiveCallback = std::function<void(ITCPSocket::ErrorCode, Payload&&)>;
    using CloseCallback = std::function<void()>;

    // Connect and upgrade; the callback gets 101 and the upgrade response on success.
    virtual void Connect(const std::string& url, ConnectCallback&& done) = 0;
    virtual void Connect(const std::string& url, std::map<std::string, std::string>&& headers,
                         ConnectCallback&& done) = 0;
    // One binary message.
    virtual void Send(Payload&& payload, SendCallback&& done) = 0;
    // The next data message (fragments joined); an empty payload with a code other than
    // Success ends the connection.
    virtual void Receive(ReceiveCallback&& done) = 0;
    // Writes a close frame; the callback runs once that write is done.
    virtual void Close(CloseCallback&& done) = 0;
    virtual ~IWebSocket() = default;
};

}  // namespace network
