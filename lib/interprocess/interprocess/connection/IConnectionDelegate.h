#pragma once

#include <string>

namespace interprocess {

class IConnection;

// The receiver of a connection's state changes and payloads (the transport).
class IConnectionDelegate {
public:
    virtual ~IConnectionDelegate() = default;

    virtual void onConnectionDisconnected(const IConnection& connection) = 0;
    virtual void onConnectionConnecting(const IConnection& connection) const = 0;
    virtual void onConnectionConnected(const IConnection& connection) = 0;
    virtual void onConnectionDisconnecting(const IConnection& connection) const = 0;
    virtual void onConnectionListening(const IConnection& connection) const = 0;
    // The channel to give the requester; 0 refuses.
    virtual unsigned long onConnectionConnectRequest(const IConnection& connection,
                                                     const std::string& participant) = 0;
    // The "json" of a received Data.
    virtual void onConnectionDataReceived(const IConnection& connection,
                                          const std::string& text) = 0;
    // The "json" of a Data that came in a synchronous frame.
    virtual void onConnectionSynchronousDataReceived(const IConnection& connection,
                                                     const std::string& text) = 0;
};

}  // namespace interprocess
