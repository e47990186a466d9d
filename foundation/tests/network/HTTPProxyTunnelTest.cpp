#include <gtest/gtest.h>

#include <thread>

#include "HTTPPeers.h"
#include "SquidServer.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/SocketSignals.h"
#include "foundation/network/URL.h"

namespace networktest {
namespace {

const char* const kLocations = R"(
    location = /hello { return 200 "hello through the tunnel"; }
)";

class HTTPProxyTunnelTest : public HTTPFixture {
protected:
    void SetUp() override {
        m_Nginx = StartTrustedNginx(kLocations);
        ASSERT_TRUE(m_Nginx->Ready());
    }

    void UseProxy(const SquidServer& squid, const std::string& user, const std::string& password) {
        network::URL proxy;
        proxy.host = "127.0.0.1";
        proxy.port = squid.Port();
        Connectivity()->SetProxy(proxy);
        Connectivity()->SetProxyCredentials(user, password);
        m_Connectivity->GetSocketSignals().proxyAuthenticationMethodChosen.connect(
            [this](network::SocketSignals::ProxyAuthenticationMethod method) {
                m_Methods.push_back(static_cast<int>(method));
            });
    }

    // squid writes its access log line after the answer; give it a moment.
    int Count407(const SquidServer& squid, int atLeast) {
        for (int i = 0; i < 100 && squid.Count407() < atLeast; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return squid.Count407();
    }

    std::unique_ptr<NginxServer> m_Nginx;
    std::vector<int> m_Methods;
};

TEST_F(HTTPProxyTunnelTest, BasicCredentialsOpenTheTunnelAndWrongOnesEndWith407) {
    SquidServer squid(m_Root, true, false);
    ASSERT_TRUE(squid.Ready());
    UseProxy(squid, "alice", "wonder land");
    auto connection = MakeConnection();
    const HTTPResult ok = Run(*connection, m_Nginx->TlsUrl("/hello"));
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "hello through the tunnel");
    EXPECT_EQ(m_Methods, std::vector<int>{1});
    // The tunnel stays open for the next request.
    EXPECT_EQ(Run(*connection, m_Nginx->TlsUrl("/hello")).status, 200);
    EXPECT_EQ(Count407(squid, 1), 1);

    Connectivity()->SetProxyCredentials("alice", "wrong");
    const HTTPResult refused = Run(*MakeConnection(), m_Nginx->TlsUrl("/hello"));
    EXPECT_EQ(refused.status, 407);
    EXPECT_EQ(refused.response, nullptr);
    // Without credentials, then once with the wrong ones: never the same ones twice.
    EXPECT_EQ(Count407(squid, 3), 3);
}

TEST_F(HTTPProxyTunnelTest, DigestIsPreferredAndRefusedCredentialsAreBounded) {
    SquidServer squid(m_Root, true, true);
    ASSERT_TRUE(squid.Ready());
    UseProxy(squid, "alice", "wonder land");
    const HTTPResult ok = Run(*MakeConnection(), m_Nginx->TlsUrl("/hello"));
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "hello through the tunnel");
    ASSERT_FALSE(m_Methods.empty());
    EXPECT_EQ(m_Methods.front(), 2);
    EXPECT_EQ(Count407(squid, 1), 1);

    Connectivity()->SetProxyCredentials("alice", "wrong");
    const HTTPResult refused = Run(*MakeConnection(), m_Nginx->TlsUrl("/hello"));
    EXPECT_EQ(refused.status, 407);
    // One challenge without credentials, then three refused attempts.
    EXPECT_EQ(Count407(squid, 5), 5);
}

TEST_F(HTTPProxyTunnelTest, NoCredentialsAndPlainHttpThroughTheTunnel) {
    SquidServer squid(m_Root, false, true);
    ASSERT_TRUE(squid.Ready());
    UseProxy(squid, "", "");
    EXPECT_EQ(Run(*MakeConnection(), m_Nginx->TlsUrl("/hello")).status, 407);

    Connectivity()->SetProxyCredentials("alice", "wonder land");
    const HTTPResult plain = Run(*MakeConnection(), m_Nginx->Url("/hello"));
    EXPECT_EQ(plain.status, 200);
    EXPECT_EQ(plain.body, "hello through the tunnel");
}

}  // namespace
}  // namespace networktest
