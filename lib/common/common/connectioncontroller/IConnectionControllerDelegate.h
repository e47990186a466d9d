#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace common {

// What the user of the backend connection hears from the connection controller.
class IConnectionControllerDelegate {
public:
    virtual ~IConnectionControllerDelegate() = default;

    // The connection is up, through the named proxy (empty texts and port 0 without one).
    virtual void onConnectionControllerConnected(std::string proxyHost, uint16_t proxyPort,
                                                 std::string proxyUser,
                                                 std::string proxyPassword) = 0;
    // The connection went down; `reconnecting` tells whether a reconnect follows.
    virtual void onConnectionControllerDisconnected(bool reconnecting) = 0;
    virtual void onConnectionControllerMessageReceived(const std::vector<uint8_t>& message) = 0;
    // A proxy wants credentials; the text names its host and port as the connection wrote it.
    virtual void onConnectionControllerRequestProxyCredentials(const std::string& proxy) = 0;
};

}  // namespace common
