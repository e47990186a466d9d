#pragma once

#include <cstdint>
#include <functional>

#include <boost/signals2/signal.hpp>

namespace network {

// Signals shared by every socket of one connectivity object.
class SocketSignals {
public:
    enum ProxyAuthenticationMethod : int32_t {
        None = 0,
        Basic = 1,
        Digest = 2,
    };

    // Raised by the proxy tunnel when it answers a proxy challenge with a scheme.
    boost::signals2::signal<void(ProxyAuthenticationMethod)> proxyAuthenticationMethodChosen;
    // Makes every socket close at once, without a TLS close-notify exchange.
    boost::signals2::signal<void()> forceCloseSockets;

    boost::signals2::connection ConnectForceCloseSocketsSignal(std::function<void()> slot) {
        return forceCloseSockets.connect(std::move(slot));
    }
};

}  // namespace network
