#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace common {

// The way back from one backend connection to its owner. Every report arrives on the main
// thread, from a task or the foundation event loop, never from inside the call that caused it.
class IConnectionDelegate {
public:
    // What a disconnect report means to the owner; the owner stores it in the connection.
    enum DisconnectReason : int {
        // Stopped on request; no reconnect follows.
        Requested = 0,
        // Opened, re-opened or closed to restart; a reconnect follows.
        Reconnect = 1,
        // A proxy wants credentials; the disconnect changes nothing.
        ProxyCredentialsRequired = 2,
    };

    virtual ~IConnectionDelegate() = default;

    // The WebSocket is open, through the named proxy (empty texts and port 0 without one).
    virtual void onConnectionConnected(std::string proxyHost, uint16_t proxyPort,
                                       std::string proxyUser, std::string proxyPassword) const = 0;
    // The socket closed, or an opening attempt ended without a connection.
    virtual void onConnectionDisconnected(const DisconnectReason& reason) const = 0;
    // One message; a text message arrives as the bytes of its text.
    virtual void onConnectionMessageReceived(const std::vector<uint8_t>& message) const = 0;
    // A proxy asked for credentials the connection does not have ("host:port" or
    // "host : port"); the current attempt will not open.
    virtual void onConnectionRequestProxyCredentials(const std::string& proxy) = 0;
    // The attempt or connection failed in a way that retrying on this connection will not cure.
    virtual void onFatalConnectionError() = 0;
};

}  // namespace common
