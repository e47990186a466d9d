#include "foundation/network/NetworkConnectivityApple.h"

#include <vector>

#include "platform/keychain/Keychain.h"
#include "platform/reachability/NetworkReachability.h"
#include "platform/systemproxy/SystemProxySettings.h"

namespace network {

std::shared_ptr<INetworkConnectivity> INetworkConnectivity::Create() {
    return std::make_shared<NetworkConnectivityApple>();
}

NetworkConnectivityApple::NetworkConnectivityApple() {
    InitializeProxyDetection();
    InitializeNetworkReachabilityDetection();
}

NetworkConnectivityApple::~NetworkConnectivityApple() = default;

URL NetworkConnectivityApple::GetConfiguredProxyForURL(const std::string&) {
    URL proxy;
    proxy.host = m_SystemProxyHost;
    proxy.port = m_SystemProxyPort;
    return proxy;
}

bool NetworkConnectivityApple::IsNetworkReachableImpl() {
    m_ReachabilityRef->checkForChanges();
    return m_Reachable;
}

void NetworkConnectivityApple::InitializeProxyDetection() {
    standin::SystemProxySettings settings;
    if (!standin::SystemProxySettings::copy(settings)) {
        return;
    }
    m_SystemProxyHost = settings.httpsProxy;
    m_SystemProxyPort = settings.httpsPort;
    if (settings.httpsEnable == 0) {
        m_SystemProxyHost.clear();
        m_SystemProxyPort = 0;
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_ProxyUser.clear();
        m_ProxyPassword.clear();
        return;
    }

    std::vector<standin::KeychainItem> items;
    if (standin::Keychain::findInternetPasswords(standin::kSecProtocolTypeHTTPSProxy, items) !=
            standin::errSecSuccess ||
        items.empty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const auto& item : items) {
        if (item.server != m_SystemProxyHost) {
            continue;
        }
        m_ProxyUser = item.account;
        standin::KeychainItem password;
        if (standin::Keychain::findInternetPassword(item.server, item.account,
                                                    standin::kSecProtocolTypeHTTPSProxy, 0,
                                                    password) != standin::errSecSuccess) {
            break;
        }
        m_ProxyPassword = password.secret;
    }
}

void NetworkConnectivityApple::InitializeNetworkReachabilityDetection() {
    uint32_t flags = 0;
    if (standin::NetworkReachability::getFlags(flags)) {
        m_Reachable = IsReachable(flags);
    }
    m_ReachabilityRef = std::make_unique<standin::NetworkReachability>(
        [this](uint32_t changed) { NetworkReachabilityChangedCallback(changed, this); });
}

void NetworkConnectivityApple::NetworkReachabilityChangedCallback(uint32_t flags, void* info) {
    static_cast<NetworkConnectivityApple*>(info)->m_Reachable = IsReachable(flags);
}

bool NetworkConnectivityApple::IsReachable(uint32_t flags) {
    return (flags & standin::NetworkReachability::Reachable) != 0 &&
           (flags & standin::NetworkReachability::ConnectionRequired) == 0;
}

}  // namespace network
