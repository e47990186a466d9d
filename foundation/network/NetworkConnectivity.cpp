#include "foundation/network/NetworkConnectivity.h"

namespace network {

void NetworkConnectivity::NotifyDataTransfer() {
    if (!m_Disabled) {
        NotifyDataTransferImpl();
    }
}

bool NetworkConnectivity::IsNetworkReachable() {
    return !m_Disabled && IsNetworkReachableImpl();
}

void NetworkConnectivity::DisableNetworkConnectivity(bool disable) {
    m_Disabled = disable;
}

void NetworkConnectivity::SetAutomaticProxyEnabled(bool) {}

void NetworkConnectivity::SetProxy(const URL& proxy) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_ExplicitProxy = proxy;
}

void NetworkConnectivity::SetProxyCredentials(const std::string& user,
                                              const std::string& password) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_ProxyUser = user;
    m_ProxyPassword = password;
}

void NetworkConnectivity::GetProxyCredentials(std::string& user, std::string& password) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    user = m_ProxyUser;
    password = m_ProxyPassword;
}

URL NetworkConnectivity::GetProxyForURL(const std::string& url) {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_ExplicitProxy.host.empty()) {
            return m_ExplicitProxy;
        }
    }
    return GetConfiguredProxyForURL(url);
}

URL NetworkConnectivity::GetConfiguredProxyForURL(const std::string&) {
    return URL();
}

void NetworkConnectivity::NotifyDataTransferImpl() {}

bool NetworkConnectivity::IsNetworkReachableImpl() {
    return true;
}

}  // namespace network
