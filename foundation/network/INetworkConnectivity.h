#pragma once

#include <memory>
#include <string>

#include "foundation/network/SocketSignals.h"
#include "foundation/network/URL.h"

namespace network {

// Reachability, the proxy for a URL and the proxy credentials: one object per network factory,
// shared by every socket and connection made from it.
class INetworkConnectivity {
public:
    virtual ~INetworkConnectivity() = default;

    virtual void NotifyDataTransfer() = 0;
    virtual bool IsNetworkReachable() = 0;
    virtual void DisableNetworkConnectivity(bool disable) = 0;
    virtual void SetAutomaticProxyEnabled(bool enabled) = 0;
    virtual void SetProxy(const URL& proxy) = 0;
    virtual void SetProxyCredentials(const std::string& user, const std::string& password) = 0;
    virtual void GetProxyCredentials(std::string& user, std::string& password) = 0;
    // The proxy to use for `url`; a result with an empty host means: no proxy.
    virtual URL GetProxyForURL(const std::string& url) = 0;
    virtual SocketSignals& GetSocketSignals() = 0;

    // The platform's object: system proxy settings and reachability tracking.
    static std::shared_ptr<INetworkConnectivity> Create();
};

}  // namespace network
