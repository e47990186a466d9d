#include <gtest/gtest.h>

#include "HTTPPeers.h"
#include "foundation/network/AsyncHTTPRequest.h"

namespace networktest {
namespace {

const char* const kLocations = R"(
    location = /conn { return 200 "$connection $connection_requests"; }
    location = /echo {
      return 200 "$request_method|$http_authorization|$http_cookie|$content_type|$content_length|$http_host|$request_uri";
    }
    location = /relative { return 302 /dir/target?x=1; }
    location = /dir/target { return 200 "target $args"; }
    location = /c0 { return 302 /c1; }
    location = /c1 { return 302 /c2; }
    location = /c2 { return 302 /c3; }
    location = /c3 { return 302 /c4; }
    location = /c4 { return 302 /c5; }
    location = /c5 { return 302 /c6; }
    location = /c6 { return 200 "end of chain"; }
    location = /away { return 302 http://localhost:@PORT@/echo; }
    location = /stay { return 302 http://127.0.0.1:@PORT@/echo; }
    location = /see-other { return 303 /echo; }
    location = /down { return 302 http://127.0.0.1:@PORT@/echo; }
    location = /nothing { return 204; }
    location = /unchanged { return 304; }
    location = /setcookie { add_header Set-Cookie "sid=abc123; Path=/"; return 200 "set"; }
    location /gz/ { gzip on; gzip_types text/plain; gzip_min_length 1; add_trailer X-Check done; }
    location /files/ { }
)";

class HTTPConnectionNginxTest : public HTTPFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Nginx.Ready());
        m_Connection = MakeConnection();
    }

    NginxServer m_Nginx{m_Root, kLocations};
    std::shared_ptr<network::AsyncHTTPConnection> m_Connection;
};

TEST_F(HTTPConnectionNginxTest, KeepAliveReusesOneConnection) {
    const HTTPResult first = Run(*m_Connection, m_Nginx.Url("/conn"));
    const HTTPResult second = Run(*m_Connection, m_Nginx.Url("/conn"));
    ASSERT_EQ(first.status, 200);
    ASSERT_EQ(second.status, 200);
    const std::string id = first.body.substr(0, first.body.find(' '));
    EXPECT_EQ(first.body, id + " 1");
    EXPECT_EQ(second.body, id + " 2");

    // A fresh connection without keep-alive is closed after the response.
    auto closing = MakeConnection();
    closing->SetKeepAlive(false);
    EXPECT_EQ(Run(*closing, m_Nginx.Url("/conn")).status, 200);
    EXPECT_EQ(closing->GetSocket(), nullptr);
}

TEST_F(HTTPConnectionNginxTest, RequestHeadReachesTheServer) {
    auto request = m_Connection->CreateRequest();
    request->SetMethod("POST");
    request->SetContentType("application/json");
    request->AddHeader("Authorization", "Bearer token");
    const std::string json = "{\"a\":1}";
    request->SetBody(core::NonInitializingBuffer<unsigned char>(
        reinterpret_cast<const unsigned char*>(json.data()), json.size()));
    const HTTPResult result =
        Run(*m_Connection, m_Nginx.Url("/echo?q=1#fragment"), std::move(request));
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.body, "POST|Bearer token||application/json|7|127.0.0.1:" +
                               std::to_string(m_Nginx.Port()) + "|/echo?q=1");
    // No path at all: nginx would refuse an empty target.
    EXPECT_EQ(Run(*m_Connection, "http://127.0.0.1:" + std::to_string(m_Nginx.Port())).status, 403);
}

TEST_F(HTTPConnectionNginxTest, RedirectsFollowRelativeLocationsWithinTheBudget) {
    const HTTPResult relative = Run(*m_Connection, m_Nginx.Url("/relative"));
    EXPECT_EQ(relative.status, 200);
    EXPECT_EQ(relative.body, "target x=1");

    const HTTPResult chain = Run(*m_Connection, m_Nginx.Url("/c0"));
    EXPECT_EQ(chain.status, 302);  // five followed, the sixth delivered
    EXPECT_EQ(chain.Header("Location"), "/c6");
    EXPECT_EQ(Run(*m_Connection, m_Nginx.Url("/c1")).body, "end of chain");

    auto post = m_Connection->CreateRequest();
    post->SetMethod("POST");
    post->SetBody(core::NonInitializingBuffer<unsigned char>(
        reinterpret_cast<const unsigned char*>("data"), 4));
    const HTTPResult seeOther = Run(*m_Connection, m_Nginx.Url("/see-other"), std::move(post));
    EXPECT_EQ(seeOther.body.substr(0, 4), "GET|");
}

TEST_F(HTTPConnectionNginxTest, AuthorizationDoesNotFollowToAnotherHost) {
    auto away = m_Connection->CreateRequest();
    away->AddHeader("Authorization", "Bearer secret");
    const HTTPResult other = Run(*m_Connection, m_Nginx.Url("/away"), std::move(away));
    EXPECT_EQ(other.status, 200);
    EXPECT_EQ(other.body.substr(0, 5), "GET||");
    EXPECT_NE(other.body.find("|localhost:"), std::string::npos);

    auto stay = m_Connection->CreateRequest();
    stay->AddHeader("Authorization", "Bearer secret");
    EXPECT_EQ(Run(*m_Connection, m_Nginx.Url("/stay"), std::move(stay)).body.substr(0, 18),
              "GET|Bearer secret|");
}

TEST_F(HTTPConnectionNginxTest, NoBodyStatusesKeepTheConnection) {
    const HTTPResult empty = Run(*m_Connection, m_Nginx.Url("/nothing"));
    EXPECT_EQ(empty.status, 204);
    EXPECT_EQ(empty.body, "");
    const HTTPResult unchanged = Run(*m_Connection, m_Nginx.Url("/unchanged"));
    EXPECT_EQ(unchanged.status, 304);
    EXPECT_EQ(unchanged.body, "");
    const std::string conn = Run(*m_Connection, m_Nginx.Url("/conn")).body;
    EXPECT_EQ(conn.substr(conn.find(' ')), " 3");
}

TEST_F(HTTPConnectionNginxTest, ChunkedGzipWithTrailersIsDecoded) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "line " + std::to_string(i) + " of the compressible text\n";
    }
    testsupport::WriteFile(m_Nginx.Root() / "gz/text.txt", text);
    auto request = m_Connection->CreateRequest();
    request->AddHeader("Accept-Encoding", "gzip");
    const HTTPResult result = Run(*m_Connection, m_Nginx.Url("/gz/text.txt"), std::move(request));
    ASSERT_EQ(result.status, 200);
    EXPECT_EQ(result.Header("Content-Encoding"), "gzip");
    EXPECT_EQ(result.Header("Transfer-Encoding"), "chunked");
    EXPECT_EQ(result.Header("X-Check"), "done");
    EXPECT_TRUE(result.body == text) << result.body.size() << " bytes";
}

TEST_F(HTTPConnectionNginxTest, LargeFileArrivesWhole) {
    std::string content(24 * 1024 * 1024 + 5, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 7919) >> 3);
    }
    testsupport::WriteFile(m_Nginx.Root() / "files/large.bin", content);
    const HTTPResult result = Run(*m_Connection, m_Nginx.Url("/files/large.bin"));
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.body.size(), content.size());
    EXPECT_TRUE(result.body == content);
    EXPECT_EQ(Run(*m_Connection, m_Nginx.Url("/files/missing")).status, 404);
}

TEST_F(HTTPConnectionNginxTest, CookiesSetByTheServerGoBackToIt) {
    EXPECT_EQ(Run(*m_Connection, m_Nginx.Url("/setcookie")).status, 200);
    EXPECT_EQ(Run(*m_Connection, m_Nginx.Url("/echo")).body.substr(0, 16), "GET||sid=abc123|");
    // Set without Domain by 127.0.0.1: not sent to localhost.
    auto other = MakeConnection();
    EXPECT_EQ(Run(*other, "http://localhost:" + std::to_string(m_Nginx.Port()) + "/echo")
                  .body.substr(0, 6),
              "GET|||");
}

TEST_F(HTTPConnectionNginxTest, RequestsThatCannotBeSentAreNotIssued) {
    auto bad = m_Connection->CreateRequest();
    bad->AddHeader("X-Evil", "a\r\nX-Injected: 1");
    EXPECT_EQ(Run(*m_Connection, m_Nginx.Url("/echo"), std::move(bad)).status, network::NotIssued);
    EXPECT_EQ(Run(*m_Connection, "not a url").status, network::NotIssued);
    EXPECT_EQ(Run(*m_Connection, "ftp://127.0.0.1/x").status, network::NotIssued);
    const uint16_t closed = testsupport::freePort();
    EXPECT_EQ(Run(*m_Connection, "http://127.0.0.1:" + std::to_string(closed) + "/").status,
              network::ConnectFailed);
    EXPECT_EQ(Run(*m_Connection, m_Nginx.Url("/echo")).status, 200);
}

class HTTPSConnectionNginxTest : public HTTPFixture {
protected:
    void SetUp() override {
        m_Nginx = StartTrustedNginx(kLocations);
        ASSERT_TRUE(m_Nginx->Ready());
    }

    std::unique_ptr<NginxServer> m_Nginx;
};

TEST_F(HTTPSConnectionNginxTest, TwoRequestsShareOneTLSConnectionAndHttpsNeverGoesToHttp) {
    auto connection = MakeConnection();
    const HTTPResult first = Run(*connection, m_Nginx->TlsUrl("/conn"));
    const HTTPResult second = Run(*connection, m_Nginx->TlsUrl("/conn"));
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(second.body.substr(0, second.body.find(' ')),
              first.body.substr(0, first.body.find(' ')));
    EXPECT_EQ(second.body.substr(second.body.find(' ')), " 2");

    const HTTPResult down = Run(*connection, m_Nginx->TlsUrl("/down"));
    EXPECT_EQ(down.status, 302);

    // Another host on the connected connection: it connects anew.
    EXPECT_EQ(Run(*connection, m_Nginx->Url("/conn")).status, 200);

    // TLS switched off by the request: plain TCP to the TLS port fails as a response.
    auto plain = connection->CreateRequest();
    plain->SetSecure(false);
    EXPECT_EQ(Run(*MakeConnection(), m_Nginx->TlsUrl("/conn"), std::move(plain)).status, 400);
}

}  // namespace
}  // namespace networktest
