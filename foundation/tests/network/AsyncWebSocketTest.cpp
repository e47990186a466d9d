// The WebSocket client against real peers on loopback: python3-websockets, python3-autobahn,
// a scripted raw server that breaks the protocol, and squid as the proxy.

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <optional>
#include <thread>

#include "HTTPPeers.h"
#include "SocketFixture.h"
#include "SquidServer.h"
#include "foundation/network/AsyncWebSocket.h"
#include "foundation/network/WebSocketFrameReader.h"

namespace networktest {
namespace {

using network::AsyncWebSocket;
using network::IWebSocket;

std::string Script(const std::string& name) {
    return (boost::filesystem::path(__FILE__).parent_path() / "peers" / name).string();
}

IWebSocket::Payload Bytes(const std::string& text) {
    return IWebSocket::Payload(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string Text(const IWebSocket::Payload& payload) {
    return std::string(payload.begin(), payload.end());
}

struct Received {
    ITCPSocket::ErrorCode code;
    std::string payload;
};

class AsyncWebSocketTest : public SocketFixture {
protected:
    // A python peer on a free port; `extra` follows the port on its command line.
    std::unique_ptr<testsupport::ServerProcess> StartPeer(const std::string& script, uint16_t& port,
                                                          std::vector<std::string> extra = {}) {
        port = testsupport::freePort();
        std::vector<std::string> argv = {"/usr/bin/python3", Script(script), std::to_string(port)};
        argv.insert(argv.end(), extra.begin(), extra.end());
        auto process = std::make_unique<testsupport::ServerProcess>(
            argv, std::vector<std::string>{}, (m_Root / (script + ".log")).string());
        EXPECT_TRUE(process->waitForPort("127.0.0.1", port)) << script << " did not start";
        return process;
    }

    std::shared_ptr<AsyncWebSocket> Make() {
        return std::make_shared<AsyncWebSocket>(m_Service, Context(), Connectivity());
    }

    int Connect(const std::shared_ptr<AsyncWebSocket>& ws, const std::string& url,
                std::map<std::string, std::string> headers = {}) {
        std::optional<int> status;
        ws->Connect(url, std::move(headers),
                    [&](network::HTTPStatusCode code, std::unique_ptr<network::IHTTPResponse>) {
                        status = code;
                    });
        EXPECT_TRUE(Poll([&] { return status.has_value(); }));
        return status.value_or(-1);
    }

    Received Receive(const std::shared_ptr<AsyncWebSocket>& ws) {
        std::optional<Received> got;
        ws->Receive([&](ITCPSocket::ErrorCode code, IWebSocket::Payload&& payload) {
            got = Received{code, Text(payload)};
        });
        EXPECT_TRUE(Poll([&] { return got.has_value(); }));
        return got.value_or(Received{ITCPSocket::ReadFailure, "<none>"});
    }

    ITCPSocket::ErrorCode Send(const std::shared_ptr<AsyncWebSocket>& ws, const std::string& text) {
        std::optional<ITCPSocket::ErrorCode> result;
        ws->Send(Bytes(text), [&](ITCPSocket::ErrorCode code) { result = code; });
        EXPECT_TRUE(Poll([&] { return result.has_value(); }));
        return result.value_or(ITCPSocket::WriteFailure);
    }

    static std::string Url(uint16_t port, const std::string& path, const char* scheme = "ws") {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + path;
    }
};

TEST_F(AsyncWebSocketTest, ExchangesMessagesWithWebsocketsServer) {
    uint16_t port = 0;
    auto peer = StartPeer("websocket_server.py", port);
    auto ws = Make();
    ASSERT_EQ(Connect(ws, Url(port, "/echo"), {{"X-Test", "token-1"}}), 101);
    EXPECT_TRUE(ws->IsOpen());
    // The greeting leaves the server together with the 101 answer.
    Received greeting = Receive(ws);
    EXPECT_EQ(greeting.code, ITCPSocket::Success);
    EXPECT_EQ(greeting.payload, "hello token-1");

    // Binary echo at each length class of the frame header.
    for (std::size_t length : {std::size_t(0), std::size_t(125), std::size_t(126),
                               std::size_t(65535), std::size_t(65536), std::size_t(300000)}) {
        std::string body(length, '\0');
        for (std::size_t i = 0; i < length; ++i) {
            body[i] = static_cast<char>('a' + i % 26);
        }
        ASSERT_EQ(Send(ws, body), ITCPSocket::Success) << length;
        const Received echo = Receive(ws);
        EXPECT_EQ(echo.code, ITCPSocket::Success) << length;
        EXPECT_EQ(echo.payload, body) << length;
    }
    // Text and fragmented messages look like any other.
    ASSERT_EQ(Send(ws, "text:some text"), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).payload, "some text");
    ASSERT_EQ(Send(ws, "frag:0123456789abcdefg"), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).payload, "0123456789abcdefg");
    // A server ping is answered with its payload; the receive goes on to the next message.
    ASSERT_EQ(Send(ws, "ping"), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).payload, "pong-ok");

    // The server closes with 1000: echoed, socket closed, reported as cancelled.
    ASSERT_EQ(Send(ws, "close"), ITCPSocket::Success);
    const Received closed = Receive(ws);
    EXPECT_EQ(closed.code, ITCPSocket::OperationCancelled);
    EXPECT_EQ(closed.payload, "");
    EXPECT_FALSE(ws->IsOpen());
    // Sending afterwards fails without writing.
    EXPECT_EQ(Send(ws, "late"), ITCPSocket::WriteFailure);
}

TEST_F(AsyncWebSocketTest, OwnCloseIsAnsweredAndSilenceIsNoFailure) {
    uint16_t port = 0;
    auto peer = StartPeer("websocket_server.py", port);
    auto ws = Make();
    ASSERT_EQ(Connect(ws, Url(port, "/silent")), 101);
    std::optional<Received> got;
    ws->Receive([&](ITCPSocket::ErrorCode code, IWebSocket::Payload&& payload) {
        got = Received{code, Text(payload)};
    });
    // Nothing arrives and nothing fails while the server is silent.
    EXPECT_FALSE(Poll([&] { return got.has_value(); }, std::chrono::milliseconds(300)));
    bool closeWritten = false;
    ws->Close([&] { closeWritten = true; });
    EXPECT_FALSE(ws->IsOpen());
    ASSERT_TRUE(Poll([&] { return closeWritten && got.has_value(); }));
    EXPECT_EQ(got->code, ITCPSocket::OperationCancelled);
    EXPECT_FALSE(ws->GetSocket()->IsConnected());
}

TEST_F(AsyncWebSocketTest, WorksWithAutobahnServer) {
    uint16_t port = 0;
    auto peer = StartPeer("autobahn_server.py", port);
    auto ws = Make();
    ASSERT_EQ(Connect(ws, Url(port, "/")), 101);
    const std::string big(70000, 'q');
    ASSERT_EQ(Send(ws, big), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).payload, big);
    ASSERT_EQ(Send(ws, "frag"), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).payload, "abcdefghij");
    ASSERT_EQ(Send(ws, "ping"), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).payload, "pong:xyz");
    ASSERT_EQ(Send(ws, "close"), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).code, ITCPSocket::OperationCancelled);
}

TEST_F(AsyncWebSocketTest, UpgradeAnswersThatAreNotAnUpgradeFail) {
    uint16_t port = 0;
    auto peer = StartPeer("raw_websocket_server.py", port, {m_Root.path().string()});
    struct Case {
        const char* path;
        int status;
        const char* log;
    };
    const Case cases[] = {
        {"/bad-accept", 400, "Invalid value for header 'Sec-WebSocket-Accept'"},
        {"/no-accept", 400, "Missing header 'Sec-WebSocket-Accept'"},
        {"/status200", 200, "Unexpected HTTP status code 200 while negotiating"},
    };
    for (const Case& c : cases) {
        auto ws = Make();
        EXPECT_EQ(Connect(ws, Url(port, c.path)), c.status) << c.path;
        EXPECT_FALSE(ws->IsOpen()) << c.path;
        EXPECT_TRUE(m_Log->Has("AsyncWebSocketConnection", logging::Error, c.log)) << c.path;
    }
    // The request carries the upgrade headers in order, then the caller's in name order.
    auto ws = Make();
    Connect(ws, Url(port, "/status200"), {{"Zeta", "z"}, {"Authorization", "a"}});
    const std::string requests = ReadText(m_Root / "requests.txt");
    const std::size_t last = requests.rfind("GET /status200");
    ASSERT_NE(last, std::string::npos);
    const std::string head = requests.substr(last);
    std::vector<std::size_t> at;
    for (const char* name : {"Cache-Control: no-cache", "Pragma: no-cache", "Upgrade: websocket",
                             "Connection: upgrade", "Sec-WebSocket-Key: ",
                             "Sec-WebSocket-Version: 13", "Authorization: a", "Zeta: z"}) {
        at.push_back(head.find(name));
        EXPECT_NE(at.back(), std::string::npos) << name;
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << head;
}

TEST_F(AsyncWebSocketTest, FramesThatBreakTheProtocolFailTheConnection) {
    uint16_t port = 0;
    auto peer = StartPeer("raw_websocket_server.py", port, {m_Root.path().string()});
    struct Case {
        const char* path;
        uint16_t closeStatus;
    };
    const Case cases[] = {{"/reserved-opcode", 1002},
                          {"/huge-length", 1009},
                          {"/too-big", 1009},
                          {"/masked", 1002},
                          {"/big-control", 1002}};
    for (const Case& c : cases) {
        auto ws = Make();
        ASSERT_EQ(Connect(ws, Url(port, c.path)), 101) << c.path;
        const Received got = Receive(ws);
        EXPECT_EQ(got.code, ITCPSocket::ReadFailure) << c.path;
        EXPECT_EQ(got.payload, "") << c.path;
        EXPECT_FALSE(ws->IsOpen()) << c.path;
        EXPECT_FALSE(ws->GetSocket()->IsConnected()) << c.path;
        // The client wrote one masked close frame with the status.
        const auto file = m_Root / (std::string(c.path + 1) + ".bin");
        std::string sent;
        Poll([&] {
            sent = ReadText(file);
            return sent.size() >= 8;
        });
        ASSERT_EQ(sent.size(), 8u) << c.path;
        EXPECT_EQ(static_cast<unsigned char>(sent[0]), 0x88) << c.path;
        EXPECT_EQ(static_cast<unsigned char>(sent[1]), 0x82) << c.path;
        const uint16_t status = static_cast<uint16_t>(
            ((static_cast<unsigned char>(sent[6]) ^ static_cast<unsigned char>(sent[2])) << 8) |
            (static_cast<unsigned char>(sent[7]) ^ static_cast<unsigned char>(sent[3])));
        EXPECT_EQ(status, c.closeStatus) << c.path;
    }
    EXPECT_TRUE(m_Log->Has("AsyncWebSocketConnection", logging::Warning, "Bad frame"));
}

TEST_F(AsyncWebSocketTest, FragmentsWithAPingBetweenArriveInTheUpgradeSegment) {
    uint16_t port = 0;
    auto peer = StartPeer("raw_websocket_server.py", port, {m_Root.path().string()});
    auto ws = Make();
    ASSERT_EQ(Connect(ws, Url(port, "/fragments")), 101);
    EXPECT_EQ(Receive(ws).payload, "abcdef");
    EXPECT_EQ(Receive(ws).payload, "next");
    // The ping between the fragments was answered with a masked pong carrying "p".
    std::string sent;
    ASSERT_TRUE(Poll([&] {
        sent = ReadText(m_Root / "fragments.bin");
        return sent.size() >= 7;
    }));
    EXPECT_EQ(static_cast<unsigned char>(sent[0]), 0x8A);
    EXPECT_EQ(static_cast<unsigned char>(sent[1]), 0x81);
    EXPECT_EQ(static_cast<char>(sent[6] ^ sent[2]), 'p');
}

TEST_F(AsyncWebSocketTest, ConnectFailuresAreReportedByKind) {
    // Nothing listens.
    auto ws = Make();
    EXPECT_EQ(Connect(ws, Url(testsupport::freePort(), "/")), network::ConnectFailed);
    EXPECT_TRUE(m_Log->Has("AsyncWebSocketConnection", logging::Error,
                           "Connection failed while negotiating web socket connection"));
    // A URL that does not parse is refused before connecting.
    EXPECT_EQ(Connect(Make(), "ws://127.0.0.1:99999/"), network::NotIssued);

    // TLS: a trusted server upgrades, an untrusted one is a secure handshake failure.
    testsupport::CertificateSpec caSpec;
    caSpec.commonName = "WebSocket Test Root";
    caSpec.certificateAuthority = true;
    const testsupport::TestIdentity authority = testsupport::MakeIdentity(caSpec, nullptr);
    testsupport::CertificateSpec serverSpec;
    serverSpec.commonName = "127.0.0.1";
    serverSpec.ipAddresses = {"127.0.0.1"};
    const testsupport::TestIdentity server = testsupport::MakeIdentity(serverSpec, &authority);
    testsupport::WriteFile(m_Root / "server.crt", server.CertificatePEM());
    testsupport::WriteFile(m_Root / "server.key", server.KeyPEM());
    uint16_t port = 0;
    auto peer = StartPeer("websocket_server.py", port,
                          {(m_Root / "server.crt").string(), (m_Root / "server.key").string()});
    EXPECT_EQ(Connect(Make(), Url(port, "/", "wss")), AsyncWebSocket::kSecureHandshakeFailed);
    InstallRootAnchor(authority);
    m_Context.reset();  // the context reads the anchors when it is made
    auto secure = Make();
    ASSERT_EQ(Connect(secure, Url(port, "/", "wss"), {{"X-Test", "tls"}}), 101);
    EXPECT_EQ(Receive(secure).payload, "hello tls");
    ASSERT_EQ(Send(secure, "over tls"), ITCPSocket::Success);
    EXPECT_EQ(Receive(secure).payload, "over tls");
}

TEST_F(AsyncWebSocketTest, ConnectsThroughSquidAndReports407WithoutCredentials) {
    SquidServer squid(m_Root, true, false);
    ASSERT_TRUE(squid.Ready());
    uint16_t port = 0;
    auto peer = StartPeer("websocket_server.py", port);
    network::URL proxy;
    proxy.host = "127.0.0.1";
    proxy.port = squid.Port();
    Connectivity()->SetProxy(proxy);

    EXPECT_EQ(Connect(Make(), Url(port, "/")), 407);
    EXPECT_TRUE(m_Log->Has("AsyncWebSocketConnection", logging::Debug,
                           "Authentication required when connecting to web socket proxy <"));

    Connectivity()->SetProxyCredentials("alice", "wonder land");
    auto ws = Make();
    ASSERT_EQ(Connect(ws, Url(port, "/"), {{"X-Test", "proxied"}}), 101);
    EXPECT_EQ(Receive(ws).payload, "hello proxied");
    ASSERT_EQ(Send(ws, "through squid"), ITCPSocket::Success);
    EXPECT_EQ(Receive(ws).payload, "through squid");
}

TEST(AsyncWebSocketFrameTest, FrameHeaderAndMaskingFollowTheLength) {
    const std::array<unsigned char, 4> key{{0x11, 0x22, 0x33, 0x44}};
    const auto empty = AsyncWebSocket::BuildFrame(network::OpBinary, nullptr, 0, key);
    ASSERT_EQ(empty.size(), 6u);
    EXPECT_EQ(empty[0], 0x82);
    EXPECT_EQ(empty[1], 0x80);
    struct Case {
        std::size_t length;
        std::size_t header;
        unsigned field;
    };
    for (const Case& c :
         {Case{125, 2, 125}, Case{126, 4, 126}, Case{65535, 4, 126}, Case{65536, 10, 127}}) {
        std::vector<unsigned char> payload(c.length, 0x5A);
        const auto frame =
            AsyncWebSocket::BuildFrame(network::OpText, payload.data(), c.length, key);
        ASSERT_EQ(frame.size(), c.header + 4 + c.length);
        EXPECT_EQ(frame[0], 0x81);
        EXPECT_EQ(frame[1] & 0x7F, c.field);
        uint64_t length = c.field;
        if (c.field == 126) {
            length = (uint64_t(frame[2]) << 8) | frame[3];
        } else if (c.field == 127) {
            length = 0;
            for (int i = 0; i < 8; ++i) {
                length = (length << 8) | frame[2 + i];
            }
        }
        EXPECT_EQ(length, c.length);
        for (std::size_t i = 0; i < c.length; ++i) {
            ASSERT_EQ(frame[c.header + 4 + i] ^ key[i % 4], 0x5A);
        }
    }
    // RFC 6455's sample key.
    EXPECT_EQ(AsyncWebSocket::AcceptValue("dGhlIHNhbXBsZSBub25jZQ=="),
              "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST(AsyncWebSocketFrameTest, ReaderJoinsFragmentsAcrossControlFramesAtAnySplit) {
    const std::string stream = std::string(
                                   "\x01\x02"
                                   "ab",
                                   4) +
                               std::string("\x89\x01p", 3) +
                               std::string(
                                   "\x80\x01"
                                   "c",
                                   3) +
                               std::string("\x82\x00", 2);
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        network::WebSocketFrameReader reader;
        std::vector<std::string> events;
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            std::size_t consumed = 0;
            const auto result = reader.Feed(
                reinterpret_cast<const unsigned char*>(stream.data()) + at, n, consumed);
            at += consumed;
            using R = network::WebSocketFrameReader::Result;
            if (result == R::Message) {
                events.push_back("msg:" + Text(reader.TakePayload()));
            } else if (result == R::Ping) {
                events.push_back("ping:" + Text(reader.TakePayload()));
            }
            ASSERT_NE(result, R::Error) << reader.GetError();
        }
        EXPECT_EQ(events, (std::vector<std::string>{"ping:p", "msg:abc", "msg:"})) << chunk;
    }
}

}  // namespace
}  // namespace networktest
