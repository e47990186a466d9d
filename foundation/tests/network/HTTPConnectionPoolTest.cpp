#include <gtest/gtest.h>

#include <set>

#include "HTTPPeers.h"
#include "foundation/network/AsyncHTTPConnectionPool.h"
#include "foundation/network/AsyncNetworkFactory.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/AsyncWebSocket.h"
#include "foundation/network/PoolConnectionHandle.h"

namespace networktest {
namespace {

using Pool = network::AsyncHTTPConnectionPool;

const char* const kLocations = R"(
    location = /conn { return 200 "$connection"; }
    location = /slow { limit_rate 2k; alias @ROOT@/slow.txt; }
)";

class HTTPConnectionPoolTest : public HTTPFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Nginx.Ready());
        m_Pool = std::make_shared<Pool>(m_Service, Context(), Connectivity(), m_Cookies);
        m_Pool->SetClock([this] { return m_Now; });
        m_Endpoint = Pool::PoolEndpoint{"http", "127.0.0.1", m_Nginx.Port()};
    }

    // Submits on a fresh handle (as the runtime does) and counts the completions.
    void Submit(const std::string& url, std::vector<int>& statuses,
                std::vector<std::string>& bodies) {
        auto handle = m_Pool->CreateConnectionHandle();
        handle->Submit(
            url, [this, &statuses, &bodies](network::HTTPStatusCode status,
                                            std::unique_ptr<network::IHTTPResponse> response) {
                if (status == 200 && m_FirstCompletion.empty()) {
                    // The pool as the first finished request leaves it, before the queue moves.
                    m_FirstCompletion = {m_Pool->ConnectionCount(m_Endpoint),
                                         m_Pool->ConnectionCount(m_Endpoint, true),
                                         m_Pool->QueuedCount(m_Endpoint)};
                }
                statuses.push_back(static_cast<int>(status));
                if (response) {
                    const auto body = response->FetchBody();
                    bodies.emplace_back(body.begin(), body.end());
                }
            });
    }

    NginxServer m_Nginx{m_Root, kLocations};
    std::shared_ptr<Pool> m_Pool;
    Pool::PoolEndpoint m_Endpoint;
    std::chrono::steady_clock::time_point m_Now = std::chrono::steady_clock::now();
    std::vector<unsigned> m_FirstCompletion;
};

TEST_F(HTTPConnectionPoolTest, FourConnectionsAtMostThenSixtyFourWaitingThenRefused) {
    std::vector<int> statuses;
    std::vector<std::string> bodies;
    for (int i = 0; i < 4 + 64 + 1; ++i) {
        Submit(m_Nginx.Url("/conn"), statuses, bodies);
    }
    ASSERT_TRUE(Poll([&] { return statuses.size() == 69; }));
    // The 69th was refused at once, before any request had finished.
    EXPECT_EQ(statuses.front(), network::NotIssued);
    EXPECT_EQ(m_FirstCompletion, (std::vector<unsigned>{4, 3, 64}));
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 200), 68);
    EXPECT_EQ(m_Pool->QueuedCount(m_Endpoint), 0u);
    EXPECT_EQ(m_Pool->ConnectionCount(m_Endpoint, true), 0u);
    EXPECT_LE(m_Pool->ConnectionCount(m_Endpoint), 4u);
    const std::set<std::string> connections(bodies.begin(), bodies.end());
    EXPECT_LE(connections.size(), 4u);
    EXPECT_GE(connections.size(), 1u);
}

TEST_F(HTTPConnectionPoolTest, AHandleKeepsItsEndpointAndRefusesAfterClose) {
    auto handle = m_Pool->CreateConnectionHandle();
    EXPECT_EQ(Run(*handle, m_Nginx.Url("/conn")).status, 200);
    EXPECT_EQ(Run(*handle, "http://localhost:" + std::to_string(m_Nginx.Port()) + "/conn").status,
              network::NotIssued);
    EXPECT_EQ(Run(*handle, "https://127.0.0.1:" + std::to_string(m_Nginx.Port()) + "/conn").status,
              network::NotIssued);
    EXPECT_EQ(Run(*handle, m_Nginx.Url("/conn")).status, 200);
    handle->Close();
    EXPECT_EQ(Run(*handle, m_Nginx.Url("/conn")).status, network::NotIssued);

    // The idle connection serves the next handle of the same endpoint.
    const std::string first = Run(*m_Pool->CreateConnectionHandle(), m_Nginx.Url("/conn")).body;
    const std::string second = Run(*m_Pool->CreateConnectionHandle(), m_Nginx.Url("/conn")).body;
    EXPECT_EQ(first, second);
    EXPECT_EQ(m_Pool->ConnectionCount(m_Endpoint), 1u);
}

TEST_F(HTTPConnectionPoolTest, IdleConnectionsAreClosedAfterFifteenMinutesAtTheNextRequest) {
    EXPECT_EQ(Run(*m_Pool->CreateConnectionHandle(), m_Nginx.Url("/conn")).status, 200);
    EXPECT_EQ(m_Pool->ConnectionCount(m_Endpoint), 1u);
    m_Now += std::chrono::minutes(14);
    const std::string other = "http://localhost:" + std::to_string(m_Nginx.Port()) + "/conn";
    EXPECT_EQ(Run(*m_Pool->CreateConnectionHandle(), other).status, 200);
    EXPECT_EQ(m_Pool->ConnectionCount(m_Endpoint), 1u);
    m_Now += std::chrono::minutes(2);
    EXPECT_EQ(m_Pool->ConnectionCount(m_Endpoint), 1u);  // no timer: nothing happens by itself
    EXPECT_EQ(Run(*m_Pool->CreateConnectionHandle(), other).status, 200);
    EXPECT_EQ(m_Pool->ConnectionCount(m_Endpoint), 0u);
}

TEST_F(HTTPConnectionPoolTest, TransportFailureRemovesTheConnection) {
    const uint16_t closed = testsupport::freePort();
    const Pool::PoolEndpoint dead{"http", "127.0.0.1", closed};
    EXPECT_EQ(
        Run(*m_Pool->CreateConnectionHandle(), "http://127.0.0.1:" + std::to_string(closed) + "/")
            .status,
        network::ConnectFailed);
    EXPECT_EQ(m_Pool->ConnectionCount(dead), 0u);
}

TEST_F(HTTPConnectionPoolTest, AbortEndsTheRequestOfItsHandle) {
    std::string slow(200 * 1024, 's');
    testsupport::WriteFile(m_Nginx.Root() / "slow.txt", slow);
    auto handle = m_Pool->CreateConnectionHandle();
    auto result = std::make_shared<HTTPResult>();
    handle->Submit(m_Nginx.Url("/slow"), [result](network::HTTPStatusCode status,
                                                  std::unique_ptr<network::IHTTPResponse>) {
        result->done = true;
        result->status = static_cast<int>(status);
    });
    ASSERT_TRUE(Poll([&] { return m_Pool->ConnectionCount(m_Endpoint, true) == 1; }));
    handle->Abort();
    ASSERT_TRUE(Poll([&] { return result->done; }, std::chrono::seconds(20)));
    EXPECT_EQ(result->status, network::TransferFailed);
}

class NetworkFactoryTest : public HTTPFixture {};

TEST_F(NetworkFactoryTest, SharesOneContextConnectivityCookieStoreAndPool) {
    NginxServer nginx(m_Root, "location = /c { return 200 \"$http_cookie\"; }");
    ASSERT_TRUE(nginx.Ready());
    auto factory = std::make_shared<network::AsyncNetworkFactory>(m_Service);
    auto a = std::static_pointer_cast<network::AsyncTCPSocket>(factory->CreateTCPSocket());
    auto b = std::static_pointer_cast<network::AsyncTCPSocket>(factory->CreateTCPSocket());
    EXPECT_NE(a, b);
    EXPECT_EQ(a->GetSSLContext(), b->GetSSLContext());
    EXPECT_EQ(a->GetNetworkConnectivity(), factory->GetNetworkConnectivity());
    EXPECT_EQ(factory->GetCookieStore(), factory->GetCookieStore());
    auto ws1 = std::dynamic_pointer_cast<network::AsyncWebSocket>(factory->CreateWebSocket());
    auto ws2 = std::dynamic_pointer_cast<network::AsyncWebSocket>(factory->CreateWebSocket());
    ASSERT_TRUE(ws1 && ws2);
    EXPECT_NE(ws1, ws2);
    EXPECT_EQ(ws1->GetSocket()->GetSSLContext(), a->GetSSLContext());
    EXPECT_EQ(ws1->GetSocket()->GetNetworkConnectivity(), factory->GetNetworkConnectivity());

    factory->GetNetworkConnectivity()->SetProxyCredentials("user", "secret");
    std::string user;
    std::string password;
    a->GetNetworkConnectivity()->GetProxyCredentials(user, password);
    EXPECT_EQ(user, "user");

    auto first = factory->CreateHTTPConnection();
    auto second = factory->CreateHTTPConnection();
    EXPECT_NE(first, second);
    EXPECT_EQ(first->SetCookie("shared=1"), 1);
    const HTTPResult result = Run(*second, nginx.Url("/c"));
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.body, "shared=1");
}

}  // namespace
}  // namespace networktest
