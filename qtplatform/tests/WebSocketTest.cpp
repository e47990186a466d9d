// Qt WebSockets on the live platform against a python3-websockets server.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "TestSupport.h"
#include "qtplatform/LogUtils.h"
#include "qtplatform/WebSocket.h"

using qttest::Live;

namespace {

// What one socket reported, in order.
struct Reports {
    std::vector<std::string> events;
    std::vector<std::string> texts;
    std::vector<std::vector<uint8_t>> binaries;
    std::vector<IWebSocket::Error> errors;
    std::vector<std::vector<SslError::ErrorCode>> sslErrors;
    std::vector<std::vector<uint8_t>> pongs;
    int connected = 0;
    int disconnected = 0;
    std::string proxyHost = "unset";
    uint16_t proxyPort = 1;
};

void watch(IWebSocket& socket, Reports& reports) {
    socket.setConnectedHandler(
        [&reports](const std::string& host, uint16_t port, const std::string&, const std::string&) {
            reports.events.push_back("connected");
            ++reports.connected;
            reports.proxyHost = host;
            reports.proxyPort = port;
        });
    socket.setDisconnectedHandler([&reports] {
        reports.events.push_back("disconnected");
        ++reports.disconnected;
    });
    socket.setErrorHandler([&reports](IWebSocket::Error error) {
        reports.events.push_back("error:" + std::to_string(error));
        reports.errors.push_back(error);
    });
    socket.setSslErrorHandler([&reports](std::vector<SslError::ErrorCode> codes) {
        reports.events.push_back("ssl");
        reports.sslErrors.push_back(std::move(codes));
    });
    socket.setTextMessageReceivedHandler([&reports](std::string text) {
        reports.events.push_back("text");
        reports.texts.push_back(std::move(text));
    });
    socket.setBinaryMessageReceivedHandler([&reports](std::vector<uint8_t> bytes) {
        reports.events.push_back("binary");
        reports.binaries.push_back(std::move(bytes));
    });
    socket.setTextMessageSentHandler(
        [&reports](bool whole) { reports.events.push_back(whole ? "text-sent" : "text-partial"); });
    socket.setBinaryMessageSentHandler([&reports](bool whole) {
        reports.events.push_back(whole ? "binary-sent" : "binary-partial");
    });
    socket.setPongHandler([&reports](uint64_t, std::vector<uint8_t> payload) {
        reports.events.push_back("pong");
        reports.pongs.push_back(std::move(payload));
    });
}

long long sumOf(const std::vector<common::metrics::Record>& records, const std::string& tag,
                const std::string& object, const std::string& counter) {
    long long sum = 0;
    for (const auto& record : records) {
        if (record.tag == tag && std::get<std::string>(record.attributes.at("object")) == object &&
            record.attributes.count(counter) != 0) {
            sum += std::get<int64_t>(record.attributes.at(counter));
        }
    }
    return sum;
}

class WebSocketTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { peer = std::make_unique<qttest::PythonPeer>("ws_server.py"); }
    static void TearDownTestSuite() { peer.reset(); }
    void SetUp() override {
        live = Live::get();
        if (live == nullptr) {
            GTEST_SKIP() << "this process runs a platform set up for another test";
        }
        ASSERT_TRUE(peer->ready());
    }
    static std::unique_ptr<qttest::PythonPeer> peer;
    Live* live = nullptr;
};
std::unique_ptr<qttest::PythonPeer> WebSocketTest::peer;

}  // namespace

TEST_F(WebSocketTest, TextAndBinaryMessagesGoBothWaysAndAreCounted) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->open(peer->url("ws", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return reports.connected == 1; }));
    EXPECT_EQ(reports.proxyHost, "");
    EXPECT_EQ(reports.proxyPort, 0);

    // One character of two UTF-8 bytes, and ten bytes with a zero among them.
    socket->sendTextMessage("\xc3\xa9");
    const std::vector<uint8_t> bytes{1, 2, 3, 0, 5, 6, 7, 8, 9, 10};
    socket->sendBinaryMessage(bytes);
    socket->ping({'p', 'i'});
    ASSERT_TRUE(live->runUntil([&] {
        return reports.texts.size() == 1 && reports.binaries.size() == 1 &&
               reports.pongs.size() == 1;
    }));
    EXPECT_EQ(reports.texts[0], "\xc3\xa9");
    EXPECT_EQ(reports.binaries[0], bytes);
    EXPECT_EQ(reports.pongs[0], (std::vector<uint8_t>{'p', 'i'}));
    EXPECT_NE(std::find(reports.events.begin(), reports.events.end(), "text-sent"),
              reports.events.end());
    EXPECT_NE(std::find(reports.events.begin(), reports.events.end(), "binary-sent"),
              reports.events.end());

    const std::string object = LogUtils::pointerToHex(dynamic_cast<WebSocket*>(socket.get()));
    socket->close();
    ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }));
    EXPECT_TRUE(reports.errors.empty());
    socket.reset();
    live->runFor(std::chrono::milliseconds(100));
    live->collector()->flush();
    const auto records = live->collector()->records();
    EXPECT_EQ(sumOf(records, "websocket-bytes-sent", object, "size"), 12);
    EXPECT_EQ(sumOf(records, "websocket-bytes-sent", object, "total"), 12);
    // The text counts one UTF-16 unit, the binary ten bytes, the pong two.
    EXPECT_EQ(sumOf(records, "websocket-bytes-received", object, "size"), 13);
    const auto connected = std::find_if(records.begin(), records.end(), [&](const auto& r) {
        return r.tag == "websocket-connected" &&
               std::get<std::string>(r.attributes.at("object")) == object;
    });
    ASSERT_NE(connected, records.end());
    EXPECT_EQ(std::get<int32_t>(connected->attributes.at("proxy")), 0);
    const auto disconnected = std::find_if(records.begin(), records.end(), [&](const auto& r) {
        return r.tag == "websocket-disconnected" &&
               std::get<std::string>(r.attributes.at("object")) == object;
    });
    ASSERT_NE(disconnected, records.end());
    EXPECT_EQ(disconnected->attributes.count("error"), 1u);
}

TEST_F(WebSocketTest, HeadersAreSentWithEveryHandshakeAndTheLastValueWins) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->setRawHeader("X-Test", "first");
    socket->setRawHeader("X-Test", "second");
    socket->setRawHeader("X-Test", "third\r\nX-Injected: 1");
    for (int round = 1; round <= 2; ++round) {
        socket->open(peer->url("ws", "/header"));
        ASSERT_TRUE(live->runUntil([&] { return reports.texts.size() == std::size_t(round); }));
        EXPECT_EQ(reports.texts.back(), "second");
        socket->close();
        ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == round; }));
    }
}

TEST_F(WebSocketTest, ServerCloseIsAPlainDisconnect) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->open(peer->url("ws", "/close"));
    ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }));
    EXPECT_EQ(reports.events, (std::vector<std::string>{"connected", "text", "disconnected"}));
    EXPECT_EQ(reports.texts, (std::vector<std::string>{"bye"}));
}

TEST_F(WebSocketTest, ARefusedUpgradeEndsTheAttemptWithADisconnect) {
    // python3-websockets closes the connection after its 403; aiohttp keeps it open, which
    // leaves the Qt socket connecting until the attempt is aborted.
    qttest::PythonPeer keepAlive("http_server.py");
    ASSERT_TRUE(keepAlive.ready());
    for (const std::string& url :
         {peer->url("ws", "/refuse"), keepAlive.url("ws", "/status/403")}) {
        auto socket = live->platform().createWebSocket();
        Reports reports;
        watch(*socket, reports);
        socket->open(url);
        ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }))
            << url << "\n"
            << live->lines().dump();
        EXPECT_EQ(reports.connected, 0);
        ASSERT_FALSE(reports.errors.empty());
        for (const IWebSocket::Error error : reports.errors) {
            EXPECT_EQ(error, IWebSocket::ConnectionRefusedError);
        }

        // The same socket can open again afterwards.
        socket->open(peer->url("ws", "/echo"));
        ASSERT_TRUE(live->runUntil([&] { return reports.connected == 1; }));
        socket->close();
        ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 2; }));
    }
    EXPECT_TRUE(live->lines().contains("warning", "opening failed, aborting the attempt"));
}

TEST_F(WebSocketTest, RepeatedIdenticalErrorsAreLoggedOnce) {
    const unsigned short closedPort = testsupport::freePort();
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    for (int attempt = 1; attempt <= 5; ++attempt) {
        socket->open("ws://127.0.0.1:" + std::to_string(closedPort) + "/");
        ASSERT_TRUE(live->runUntil([&] {
            return reports.disconnected == attempt && reports.errors.size() == std::size_t(attempt);
        }));
    }
    std::size_t logged = 0;
    for (const auto& line : live->lines().lines()) {
        if (line.text.find("socket error:") != std::string::npos &&
            line.text.find(LogUtils::pointerToHex(dynamic_cast<WebSocket*>(socket.get()))) !=
                std::string::npos) {
            ++logged;
        }
    }
    EXPECT_EQ(logged, 1u);
}

TEST_F(WebSocketTest, CloseBeforeAnyConnectionReportsTheDisconnectItself) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->close();
    ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }));
    live->runFor(std::chrono::milliseconds(50));
    EXPECT_EQ(reports.events, (std::vector<std::string>{"disconnected"}));

    auto bare = live->platform().createWebSocket();
    bare->close();
    EXPECT_TRUE(live->runUntil([&] {
        return live->lines().contains("error", "disconnected handler is not set up correctly");
    }));
}

TEST_F(WebSocketTest, AnHttpUrlEndsInErrorTenWithoutADisconnect) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->open(peer->url("http", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return !reports.errors.empty(); }));
    live->runFor(std::chrono::milliseconds(200));
    EXPECT_EQ(reports.events, (std::vector<std::string>{"error:10"}));
}

TEST_F(WebSocketTest, AnHttpsUrlIsOpenedAsWss) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->open("https://127.0.0.1:" + std::to_string(peer->port()) + "/x?next=https://y/");
    ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }));
    EXPECT_TRUE(live->lines().contains(
        "debug", "opening with URL: \"wss://127.0.0.1:" + std::to_string(peer->port()) +
                     "/x?next=https://y/\""));
}

TEST_F(WebSocketTest, ResetHandlersSilencesPostedReports) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->open(peer->url("ws", "/echo"));
    // Wait on the Qt side only, without running the main thread's tasks. The Qt thread posts a
    // report after logging its event, so only once it has logged the next one is the earlier
    // report surely posted: connect, then close, and both reports wait unrun.
    const std::string object = LogUtils::pointerToHex(dynamic_cast<WebSocket*>(socket.get()));
    const auto qtLogged = [&](const std::string& event) {
        const std::string line = object + " ] " + event;
        for (int i = 0; i < 4000 && !live->lines().contains("info", line); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return live->lines().contains("info", line);
    };
    ASSERT_TRUE(qtLogged("connected"));
    socket->close();
    ASSERT_TRUE(qtLogged("disconnected"));
    socket->resetEventHandlers();
    EXPECT_TRUE(live->runUntil(
        [&] { return live->lines().contains("debug", object + " ] ConnectedHandler returned"); }));
    EXPECT_EQ(reports.connected, 0) << live->lines().dump();
}

TEST_F(WebSocketTest, OversizedMessagesAreRefused) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->open(peer->url("ws", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return reports.connected == 1; }));
    socket->sendBinaryMessage(std::vector<uint8_t>(WebSocket::kMaxIncomingMessageSize + 1, 7));
    ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }));
    EXPECT_TRUE(reports.binaries.empty());
}

class SecureWebSocketTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certificates = std::make_unique<qttest::TestCertificates>();
        peer = std::make_unique<qttest::PythonPeer>(
            "ws_server.py", std::vector<std::string>{certificates->selfSignedCert(),
                                                     certificates->selfSignedKey()});
    }
    static void TearDownTestSuite() {
        peer.reset();
        certificates.reset();
    }
    void SetUp() override {
        live = Live::get();
        if (live == nullptr) {
            GTEST_SKIP() << "this process runs a platform set up for another test";
        }
        ASSERT_TRUE(certificates->ok());
        ASSERT_TRUE(peer->ready());
    }
    static std::unique_ptr<qttest::TestCertificates> certificates;
    static std::unique_ptr<qttest::PythonPeer> peer;
    Live* live = nullptr;
};
std::unique_ptr<qttest::TestCertificates> SecureWebSocketTest::certificates;
std::unique_ptr<qttest::PythonPeer> SecureWebSocketTest::peer;

TEST_F(SecureWebSocketTest, UnignoredSslErrorsReachTheHandlerAndNoConnectionIsMade) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->open(peer->url("wss", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }));
    EXPECT_EQ(reports.connected, 0);
    ASSERT_EQ(reports.sslErrors.size(), 1u);
    EXPECT_NE(std::find(reports.sslErrors[0].begin(), reports.sslErrors[0].end(),
                        SslError::SelfSignedCertificate),
              reports.sslErrors[0].end());
}

TEST_F(SecureWebSocketTest, IgnoredSslErrorsLetTheConnectionThrough) {
    auto socket = live->platform().createWebSocket();
    Reports reports;
    watch(*socket, reports);
    socket->ignoreSslErrors({SslError::SelfSignedCertificate});
    socket->open(peer->url("https", "/echo"));
    ASSERT_TRUE(live->runUntil([&] { return reports.connected == 1; })) << live->lines().dump();
    EXPECT_TRUE(reports.sslErrors.empty());
    socket->sendTextMessage("secure");
    ASSERT_TRUE(live->runUntil([&] { return reports.texts.size() == 1; }));
    EXPECT_EQ(reports.texts[0], "secure");
    socket->close();
    ASSERT_TRUE(live->runUntil([&] { return reports.disconnected == 1; }));
}
