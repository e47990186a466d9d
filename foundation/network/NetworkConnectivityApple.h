#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/network/NetworkConnectivity.h"

namespace standin {
class NetworkReachability;
}

namespace network {

// Adds the system's HTTPS proxy (with its password from the keychain) and the reachability of
// the default route. Both are read when the object is made; reachability changes are followed
// for the object's whole life.
class NetworkConnectivityApple : public NetworkConnectivity {
public:
    NetworkConnectivityApple();
    ~NetworkConnectivityApple() override;

    URL GetConfiguredProxyForURL(const std::string& url) override;

protected:
    bool IsNetworkReachableImpl() override;

private:
    void InitializeProxyDetection();
    void InitializeNetworkReachabilityDetection();
    static void NetworkReachabilityChangedCallback(uint32_t flags, void* info);
    static bool IsReachable(uint32_t flags);

    std::atomic<bool> m_Reachable{true};
    std::unique_ptr<standin::NetworkReachability> m_ReachabilityRef;
    std::string m_SystemProxyHost;
    uint16_t m_SystemProxyPort = 0;
};

}  // namespace network
