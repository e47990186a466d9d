#include <gtest/gtest.h>

#include "HTTPPeers.h"
#include "foundation/compression/GzipCompressStream.h"

namespace networktest {
namespace {

using Answer = ScriptedServer::Answer;

class HTTPConnectionScriptedTest : public HTTPFixture {};

TEST_F(HTTPConnectionScriptedTest, MalformedAndTruncatedResponsesFail) {
    struct Case {
        const char* name;
        std::string bytes;
        int status;
    };
    const Case cases[] = {
        {"truncated body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", 5},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n", 5},
        {"chunked cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", 5},
        {"bad length", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\nhello", 5},
        {"invalid status line", "HTCPCP/1.0 418 teapot\r\n\r\n", 0},
        {"status out of range", "HTTP/1.1 42 Odd\r\n\r\n", 0},
        {"head too large", "HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'x') + "\r\n\r\n", 5},
        {"nothing at all", "", 5},
        {"bad gzip",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 7\r\n\r\nnotgzip", 5},
    };
    for (const Case& c : cases) {
        ScriptedServer server(m_Root, {Answer{c.bytes, "close"}});
        ASSERT_TRUE(server.Ready());
        auto connection = MakeConnection();
        EXPECT_EQ(Run(*connection, server.Url("/")).status, c.status) << c.name;
        // The connection is usable again afterwards (a fresh socket).
        EXPECT_NE(connection->GetSocket(), nullptr) << c.name;
        EXPECT_FALSE(connection->GetSocket()->IsConnected()) << c.name;
    }
}

TEST_F(HTTPConnectionScriptedTest, ExchangeWithoutProgressEndsAtItsDeadline) {
    ScriptedServer server(m_Root,
                          {Answer{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart", "hang"}});
    ASSERT_TRUE(server.Ready());
    auto connection = MakeConnection();
    connection->SetExchangeTimeout(std::chrono::milliseconds(300));
    EXPECT_EQ(Run(*connection, server.Url("/")).status, network::TransferFailed);
}

TEST_F(HTTPConnectionScriptedTest, ReusedConnectionClosedByThePeerIsRetriedOnce) {
    ScriptedServer server(m_Root,
                          {Answer{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst", "close"},
                           Answer{"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond", "keep"}});
    ASSERT_TRUE(server.Ready());
    auto connection = MakeConnection();
    EXPECT_EQ(Run(*connection, server.Url("/a")).body, "first");
    ASSERT_TRUE(connection->GetSocket() && connection->GetSocket()->IsConnected());
    // The peer closed after the first answer; the write or the read on the reused socket
    // fails and the request goes out once more on a new connection.
    const HTTPResult second = Run(*connection, server.Url("/b"));
    EXPECT_EQ(second.status, 200);
    EXPECT_EQ(second.body, "second");
}

TEST_F(HTTPConnectionScriptedTest, UpgradeKeepsTheBytesThatFollowTheHead) {
    ScriptedServer server(m_Root,
                          {Answer{"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                                  "Connection: Upgrade\r\n\r\n\x81\x05hello",
                                  "hang"}});
    ASSERT_TRUE(server.Ready());
    auto connection = MakeConnection();
    auto request = connection->CreateRequest();
    request->AddHeader("Connection", "Upgrade");
    request->AddHeader("Upgrade", "websocket");
    const HTTPResult result = Run(*connection, server.Url("/ws"), std::move(request));
    EXPECT_EQ(result.status, 101);
    const auto rest = connection->TakeUnreadBytes();
    EXPECT_EQ(std::string(rest.begin(), rest.end()), "\x81\x05hello");
    EXPECT_TRUE(connection->GetSocket()->IsConnected());
    EXPECT_NE(server.Requests().find("Connection: Upgrade\r\n"), std::string::npos);
}

TEST_F(HTTPConnectionScriptedTest, InterimAndHttp10Responses) {
    ScriptedServer server(
        m_Root,
        {Answer{"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
                "keep"},
         Answer{"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nold!", "keep"}});
    ASSERT_TRUE(server.Ready());
    auto connection = MakeConnection();
    EXPECT_EQ(Run(*connection, server.Url("/")).body, "ok");
    EXPECT_EQ(Run(*connection, server.Url("/")).body, "old!");
    // HTTP/1.0 without keep-alive: closed.
    EXPECT_EQ(connection->GetSocket(), nullptr);
}

TEST_F(HTTPConnectionScriptedTest, GzipBodyReadToTheEndIsDecoded) {
    const std::string text(5000, 'z');
    compression::GzipCompressStream stream;
    core::NonInitializingBuffer<unsigned char> gz;
    stream.Process(reinterpret_cast<const unsigned char*>(text.data()), text.size(), gz);
    stream.Finish(gz);
    ScriptedServer server(m_Root, {Answer{"HTTP/1.1 200 OK\r\nContent-Encoding: GZIP\r\n\r\n" +
                                              std::string(gz.begin(), gz.end()),
                                          "close"}});
    ASSERT_TRUE(server.Ready());
    auto connection = MakeConnection();
    const HTTPResult result = Run(*connection, server.Url("/"));
    EXPECT_EQ(result.status, 200);
    EXPECT_TRUE(result.body == text);
}

}  // namespace
}  // namespace networktest
