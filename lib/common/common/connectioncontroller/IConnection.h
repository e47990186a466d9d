#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/connectioncontroller/IConnectionDelegate.h"
#include "common/delegate/Delegate.h"

namespace common {

// One WebSocket connection to the backend as the connection controller drives it. Every
// operation returns at once; outcomes arrive later through the delegate, which is not owned.
// A connection whose delegate is null reports nothing.
class IConnection : public Delegate<IConnectionDelegate> {
public:
    ~IConnection() override = default;

    // The headers the next `connect` sends; empty for a connection that hands every header
    // straight to its socket.
    virtual std::map<std::string, std::string> getConnectionHeaders() = 0;
    // A header for the opening request of every later `connect`.
    virtual void addToConnectionHeader(const std::string& name, const std::string& value) = 0;
    // Forgets the headers added before (a socket that replaces headers by name may ignore it).
    virtual void clearConnectionHeader() = 0;
    // Starts a new opening attempt; may be called at any time.
    virtual void connect(const std::string& url) = 0;
    // Starts closing; the close is reported with the stored reason.
    virtual void disconnect() = 0;
    // Sends the bytes as one binary message; the callback gets the outcome.
    virtual void send(const std::vector<uint8_t>& message, std::function<void(bool)> callback) = 0;
    // Proxy credentials entered by the user, kept for later connections through the proxy.
    virtual void setProxyUserPass(const std::wstring& user, const std::wstring& password) = 0;
    // The reason reported with the next disconnect.
    virtual void setDisconnectReason(IConnectionDelegate::DisconnectReason reason) = 0;
};

}  // namespace common
