#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/NetworkConnectivity.h"
#include "platform/keychain/Keychain.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestCertificates.h"

using network::INetworkConnectivity;
using network::URL;

namespace {

class NetworkConnectivityTest : public ::testing::Test {
protected:
    NetworkConnectivityTest() : m_RootEnv("ORV_SYSTEM_ROOT", m_Root.path().string()) {}

    void WriteProxies(const std::string& json) {
        testsupport::WriteFile(m_Root / "Library/Preferences/SystemConfiguration/proxies.json",
                               json);
    }
    void StoreProxyPassword(const std::string& server, const std::string& account,
                            const std::string& password) {
        standin::KeychainItem item;
        item.itemClass = standin::KeychainItemClass::InternetPassword;
        item.label = server;
        item.server = server;
        item.account = account;
        item.protocol = standin::kSecProtocolTypeHTTPSProxy;
        item.secret = password;
        ASSERT_EQ(standin::Keychain::storeItem(item), standin::errSecSuccess);
    }
    static std::pair<std::string, std::string> Credentials(INetworkConnectivity& connectivity) {
        std::pair<std::string, std::string> result;
        connectivity.GetProxyCredentials(result.first, result.second);
        return result;
    }

    testsupport::TempDir m_Root;
    testsupport::ScopedEnv m_RootEnv;
};

}  // namespace

TEST_F(NetworkConnectivityTest, NoSettingsMeansNoProxyAndReachable) {
    auto connectivity = INetworkConnectivity::Create();
    EXPECT_TRUE(connectivity->GetProxyForURL("https://backend.example/").host.empty());
    EXPECT_TRUE(connectivity->IsNetworkReachable());
    EXPECT_EQ(Credentials(*connectivity), std::make_pair(std::string(), std::string()));
}

TEST_F(NetworkConnectivityTest, DisabledProxyGivesNoProxyAndNoCredentials) {
    WriteProxies(R"({"HTTPSEnable":0,"HTTPSProxy":"proxy.example","HTTPSPort":3128})");
    StoreProxyPassword("proxy.example", "user", "secret");
    auto connectivity = INetworkConnectivity::Create();
    EXPECT_TRUE(connectivity->GetProxyForURL("https://h/").host.empty());
    EXPECT_EQ(connectivity->GetProxyForURL("https://h/").port, 0u);
    EXPECT_EQ(Credentials(*connectivity), std::make_pair(std::string(), std::string()));
}

TEST_F(NetworkConnectivityTest, EnabledProxyWithoutKeychainItem) {
    WriteProxies(R"({"HTTPSEnable":1,"HTTPSProxy":"proxy.example","HTTPSPort":3128})");
    auto connectivity = INetworkConnectivity::Create();
    for (const char* target : {"https://a.example/", "http://b.example/", "not a url"}) {
        const URL proxy = connectivity->GetProxyForURL(target);
        EXPECT_EQ(proxy.host, "proxy.example");
        EXPECT_EQ(proxy.port, 3128u);
        EXPECT_TRUE(proxy.scheme.empty());
    }
    EXPECT_EQ(Credentials(*connectivity), std::make_pair(std::string(), std::string()));
}

TEST_F(NetworkConnectivityTest, KeychainItemsOfTheProxyHostGiveTheCredentials) {
    WriteProxies(R"({"HTTPSEnable":1,"HTTPSProxy":"proxy.example","HTTPSPort":8080})");
    StoreProxyPassword("other.example", "zed", "not this");
    StoreProxyPassword("proxy.example", "alice", "first");
    StoreProxyPassword("proxy.example", "bob", "second");
    auto connectivity = INetworkConnectivity::Create();
    EXPECT_EQ(Credentials(*connectivity),
              std::make_pair(std::string("bob"), std::string("second")));

    connectivity->SetProxyCredentials("carol", "typed");
    EXPECT_EQ(Credentials(*connectivity),
              std::make_pair(std::string("carol"), std::string("typed")));
}

TEST_F(NetworkConnectivityTest, BrokenSettingsFileIsIgnored) {
    for (const char* text : {"", "[1,2]", "{\"HTTPSEnable\":", "{\"HTTPSEnable\":\"yes\"}"}) {
        WriteProxies(text);
        auto connectivity = INetworkConnectivity::Create();
        EXPECT_TRUE(connectivity->GetProxyForURL("https://h/").host.empty()) << text;
    }
}

TEST_F(NetworkConnectivityTest, ExplicitProxyOverridesTheSystemProxy) {
    WriteProxies(R"({"HTTPSEnable":1,"HTTPSProxy":"system.example","HTTPSPort":3128})");
    auto connectivity = INetworkConnectivity::Create();
    URL explicitProxy;
    explicitProxy.scheme = "http";
    explicitProxy.host = "explicit.example";
    explicitProxy.port = 8888;
    connectivity->SetProxy(explicitProxy);
    EXPECT_EQ(connectivity->GetProxyForURL("https://h/"), explicitProxy);

    connectivity->SetProxy(URL());
    EXPECT_EQ(connectivity->GetProxyForURL("https://h/").host, "system.example");
}

TEST_F(NetworkConnectivityTest, ReachabilityFollowsTheSystemAndTheSwitch) {
    const auto marker = m_Root / "var/run/network-unreachable";
    auto connectivity = INetworkConnectivity::Create();
    EXPECT_TRUE(connectivity->IsNetworkReachable());

    testsupport::WriteFile(marker, "");
    EXPECT_FALSE(connectivity->IsNetworkReachable()) << "a change is followed";

    testsupport::WriteFile(marker, "connection-required\n");
    EXPECT_FALSE(connectivity->IsNetworkReachable()) << "a connection must be made first";

    boost::filesystem::remove(marker);
    EXPECT_TRUE(connectivity->IsNetworkReachable());

    connectivity->DisableNetworkConnectivity(true);
    EXPECT_FALSE(connectivity->IsNetworkReachable());
    connectivity->DisableNetworkConnectivity(false);
    EXPECT_TRUE(connectivity->IsNetworkReachable());
}

TEST_F(NetworkConnectivityTest, UnreachableAtStart) {
    testsupport::WriteFile(m_Root / "var/run/network-unreachable", "");
    auto connectivity = INetworkConnectivity::Create();
    EXPECT_FALSE(connectivity->IsNetworkReachable());
}

TEST(PlainNetworkConnectivityTest, HasNoConfiguredProxyAndIsReachable) {
    network::NetworkConnectivity connectivity;
    EXPECT_TRUE(connectivity.IsNetworkReachable());
    EXPECT_TRUE(connectivity.GetProxyForURL("https://h/").host.empty());
    int raised = 0;
    auto connection =
        connectivity.GetSocketSignals().ConnectForceCloseSocketsSignal([&raised] { ++raised; });
    connectivity.GetSocketSignals().forceCloseSockets();
    EXPECT_EQ(raised, 1);
    connection.disconnect();
    connectivity.GetSocketSignals().forceCloseSockets();
    EXPECT_EQ(raised, 1);
}
