// Proxy authentication of HTTP queries and Qt WebSockets against squid with Basic
// authentication. Each test needs a platform made for its own proxy: under ctest every test has
// a process of its own; in one shared process only the first of them runs.

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include "TestSupport.h"
#include "qtplatform/Keys.h"

using qttest::Live;

namespace {

constexpr char kUser[] = "agent";
constexpr char kPassword[] = "s3cret";

class ProxyFlowTest : public ::testing::Test {
protected:
    // Starts squid and the peers, then the platform behind squid.
    void start(std::optional<std::pair<std::string, std::string>> stored) {
        squid = std::make_unique<qttest::SquidPeer>(kUser, kPassword);
        ASSERT_TRUE(squid->ready()) << "squid did not start";
        http = std::make_unique<qttest::PythonPeer>("http_server.py");
        ASSERT_TRUE(http->ready());
        qttest::LiveOptions options;
        options.proxy = "http://127.0.0.1:" + std::to_string(squid->port());
        options.storedProxyCredentials = std::move(stored);
        live = Live::get(options);
        if (live == nullptr) {
            GTEST_SKIP() << "this process runs a platform set up for another test";
        }
        live->platform().setProxyCredentialsAcceptedHandler(
            [this](std::string host, unsigned short port, std::string user, std::string password) {
                accepted.push_back(host + " " + std::to_string(port) + " " + user + " " + password);
            });
    }

    // Runs one GET through the proxy; answers the error values and the success flag.
    std::pair<std::vector<IHttpQuery::Error>, bool> get(const std::string& path) {
        auto query = live->platform().createQuery();
        std::vector<IHttpQuery::Error> errors;
        bool finished = false;
        bool success = false;
        query->setErrorHandler([&errors](IHttpQuery::Error error) { errors.push_back(error); });
        query->setFinishedHandler([&](bool ok) {
            finished = true;
            success = ok;
        });
        query->setUrl("http://" + std::string(qttest::kProxiedHost) + ":" +
                      std::to_string(http->port()) + path);
        query->execute();
        EXPECT_TRUE(live->runUntil([&] { return finished; }));
        return {errors, success};
    }

    std::string proxyText() const { return "127.0.0.1 " + std::to_string(squid->port()); }

    std::unique_ptr<qttest::SquidPeer> squid;
    std::unique_ptr<qttest::PythonPeer> http;
    Live* live = nullptr;
    std::vector<std::string> accepted;
};

}  // namespace

TEST_F(ProxyFlowTest, StoredCredentialsAreOfferedAndAccepted) {
    start(std::make_pair(std::string(kUser), std::string(kPassword)));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const auto first = get("/small");
    EXPECT_TRUE(first.second);
    EXPECT_TRUE(first.first.empty());
    ASSERT_TRUE(live->runUntil([&] { return !accepted.empty(); }));
    EXPECT_EQ(accepted.front(), proxyText() + " " + kUser + " " + kPassword);
    EXPECT_TRUE(live->lines().contains("info", "trying to authenticate with cached credentials"));

    // Later queries go through with the accepted credentials.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(get("/small").second);
    }
    EXPECT_GE(squid->countInLog("TCP_MISS/200"), 4u);
    EXPECT_LE(squid->countInLog("/407"), 4u);
}

TEST_F(ProxyFlowTest, RefusedStoredCredentialsGiveABoundedNumberOf407) {
    start(std::make_pair(std::string(kUser), std::string("wrong")));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    for (int i = 0; i < 5; ++i) {
        const auto outcome = get("/small");
        EXPECT_FALSE(outcome.second);
        EXPECT_EQ(outcome.first,
                  std::vector<IHttpQuery::Error>{IHttpQuery::ProxyAuthenticationRequiredError});
    }
    live->runFor(std::chrono::milliseconds(200));
    EXPECT_TRUE(accepted.empty());
    EXPECT_TRUE(live->lines().contains("warning", "Cannot call the ui for proxy credentials"));
    // Each query meets at most a challenge and one refusal of the offered pair (two 407s
    // here); a client that kept offering the refused pair would make thousands.
    const std::size_t refused = squid->countInLog("/407");
    EXPECT_GE(refused, 5u);
    EXPECT_LE(refused, 15u) << squid->accessLog();
    EXPECT_EQ(squid->countInLog("TCP_MISS/200"), 0u);
}

TEST_F(ProxyFlowTest, WithoutCredentialsTheRequestedHandlerIsAskedOnce) {
    start(std::nullopt);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    std::vector<std::string> requested;
    live->platform().setProxyCredentialsRequestedHandler(
        [&requested](std::string text) { requested.push_back(text); });
    EXPECT_EQ(get("/small").first,
              std::vector<IHttpQuery::Error>{IHttpQuery::ProxyAuthenticationRequiredError});
    EXPECT_EQ(requested, std::vector<std::string>{"127.0.0.1 : " + std::to_string(squid->port())});
    // While the user is asked, further challenges do not ask again.
    EXPECT_FALSE(get("/small").second);
    EXPECT_EQ(requested.size(), 1u);
    EXPECT_TRUE(live->lines().contains("info", "proxy credentials already requested"));
}

TEST_F(ProxyFlowTest, WebSocketAsksForCredentialsAndConnectsWithTheAnswer) {
    start(std::nullopt);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    qttest::PythonPeer ws("ws_server.py");
    ASSERT_TRUE(ws.ready());
    auto socket = live->platform().createWebSocket();
    std::vector<std::pair<std::string, uint16_t>> asked;
    std::string connectedWith;
    int disconnects = 0;
    socket->setProxyAuthenticationRequiredHandler(
        [&asked](std::string host, uint16_t port) { asked.emplace_back(host, port); });
    socket->setConnectedHandler([&connectedWith](const std::string& host, uint16_t port,
                                                 const std::string& user,
                                                 const std::string& password) {
        connectedWith = host + " " + std::to_string(port) + " " + user + " " + password;
    });
    socket->setDisconnectedHandler([&disconnects] { ++disconnects; });
    socket->open(ws.url("ws", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return !asked.empty() && disconnects == 1; }))
        << live->lines().dump();
    EXPECT_EQ(asked.front(), std::make_pair(std::string("127.0.0.1"), squid->port()));

    socket->setProxyCredentials(L"agent", L"s3cret");
    socket->open(ws.url("ws", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return !connectedWith.empty(); })) << live->lines().dump();
    EXPECT_EQ(connectedWith, proxyText() + " agent s3cret");
    ASSERT_TRUE(live->runUntil([&] { return !accepted.empty(); }));
    EXPECT_EQ(accepted.front(), proxyText() + " agent s3cret");

    // The answer was kept in the credential storage.
    common::credentialstorage::CredentialStorage storage;
    std::wstring user;
    std::wstring password;
    ASSERT_TRUE(storage.loadCredentials(Keys::ProxyCredentials, user, password));
    EXPECT_EQ(user, L"agent");
    EXPECT_EQ(password, L"s3cret");
    socket->close();
    ASSERT_TRUE(live->runUntil([&] { return disconnects == 2; }));
}

TEST_F(ProxyFlowTest, WebSocketWithStoredCredentialsConnectsThroughTheProxy) {
    start(std::make_pair(std::string(kUser), std::string(kPassword)));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    qttest::PythonPeer ws("ws_server.py");
    ASSERT_TRUE(ws.ready());
    auto socket = live->platform().createWebSocket();
    std::string connectedWith;
    std::vector<std::string> texts;
    socket->setConnectedHandler([&connectedWith](const std::string& host, uint16_t port,
                                                 const std::string& user,
                                                 const std::string& password) {
        connectedWith = host + " " + std::to_string(port) + " " + user + " " + password;
    });
    socket->setTextMessageReceivedHandler([&texts](std::string text) { texts.push_back(text); });
    socket->open(ws.url("ws", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return !connectedWith.empty(); })) << live->lines().dump();
    EXPECT_EQ(connectedWith, proxyText() + " " + kUser + " " + kPassword);
    socket->sendTextMessage("through squid");
    ASSERT_TRUE(live->runUntil([&] { return texts.size() == 1; }));
    EXPECT_EQ(texts[0], "through squid");
    EXPECT_GE(squid->countInLog("CONNECT"), 1u);
}
