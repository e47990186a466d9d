#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "foundation/network/INetworkConnectivity.h"

namespace network {

// The platform-independent part: the switch that disables networking, an explicit proxy, the
// proxy credentials and the socket signals.
class NetworkConnectivity : public INetworkConnectivity {
public:
    NetworkConnectivity() = default;

    void NotifyDataTransfer() override;
    bool IsNetworkReachable() override;
    void DisableNetworkConnectivity(bool disable) override;
    void SetAutomaticProxyEnabled(bool enabled) override;
    void SetProxy(const URL& proxy) override;
    void SetProxyCredentials(const std::string& user, const std::string& password) override;
    void GetProxyCredentials(std::string& user, std::string& password) override;
    URL GetProxyForURL(const std::string& url) override;
    SocketSignals& GetSocketSignals() override { return m_SocketSignals; }

    virtual URL GetConfiguredProxyForURL(const std::string& url);

protected:
    virtual void NotifyDataTransferImpl();
    virtual bool IsNetworkReachableImpl();

    std::atomic<bool> m_Disabled{false};
    SocketSignals m_SocketSignals;
    std::mutex m_Mutex;  // guards the proxy and the credentials
    URL m_ExplicitProxy;
    std::string m_ProxyUser;
    std::string m_ProxyPassword;
};

}  // namespace network
