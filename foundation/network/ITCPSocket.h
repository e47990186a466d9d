#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/network/CBYTESubBuffer.h"

namespace network {

// The byte stream under every connection of the library: connect (directly or through an
// HTTP proxy, optionally with TLS), ordered sends, fixed-length receives, orderly close.
// Every operation completes through its callback with an ErrorCode.
class ITCPSocket {
public:
    enum ErrorCode : int32_t {
        Success = 0,
        ResolutionFailure = 1,
        ConnectionFailure = 2,
        SecureHandshakeFailure = 3,
        ProxyAuthenticationRequired = 4,
        ProxyNegotiationFailure = 5,
        WriteFailure = 6,
        ReadFailure = 7,
        OperationCancelled = 9,
        NetworkUnreachable = 10,
    };

    using ConnectCallback = std::function<void(ErrorCode)>;
    using CloseCallback = std::function<void(ErrorCode)>;
    using SendCallback = std::function<void(ErrorCode, uint64_t)>;
    using ReceiveCallback = std::function<void(ErrorCode, CBYTESubBuffer&&)>;

    virtual void SetTimeout(uint64_t milliseconds) = 0;
    virtual void SetKeepAlive(bool keepAlive) = 0;
    virtual void AsyncConnect(const std::string& host, uint16_t port, bool secure,
                              ConnectCallback callback) = 0;
    virtual void AsyncConnect(const std::string& host, uint16_t port, bool secure,
                              const std::string& proxyHost, uint16_t proxyPort,
                              ConnectCallback callback) = 0;
    // The callback may be empty.
    virtual void AsyncClose(CloseCallback callback) = 0;
    // The same as AsyncPrioritySend with priority true.
    virtual void AsyncSend(CBYTESubBuffer&& buffer, SendCallback callback) = 0;
    virtual void AsyncPrioritySend(CBYTESubBuffer&& buffer, bool priority,
                                   SendCallback callback) = 0;
    // Completes once exactly `length` bytes have arrived (or the read failed).
    virtual void AsyncReceive(uint64_t length, ReceiveCallback callback) = 0;
    virtual ~ITCPSocket() = default;
};

}  // namespace network
