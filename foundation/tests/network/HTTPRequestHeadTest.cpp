#include <gtest/gtest.h>

#include "LogRecorder.h"
#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/AsyncHTTPRequestData.h"
#include "foundation/network/HTTPCookieStore.h"

namespace network {
namespace {

URL parse(const std::string& text) {
    URL url;
    EXPECT_TRUE(ParseURL(text, url)) << text;
    url.Normalize();
    url.SetDefaultPort();
    return url;
}

std::string head(const std::string& url, const AsyncHTTPRequest& request, bool keepAlive = true,
                 const HTTPCookieStore* cookies = nullptr, uint64_t length = 0) {
    AsyncHTTPRequestData data(parse(url));
    if (!data.WriteHeaders(request, cookies, keepAlive, length)) {
        return "REFUSED: " + data.GetRefusal();
    }
    data.AppendBody(request);
    return std::string(data.GetOutput().begin(), data.GetOutput().end());
}

core::NonInitializingBuffer<unsigned char> bytes(const std::string& text) {
    return core::NonInitializingBuffer<unsigned char>(
        reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(HTTPRequestHeadTest, GetHeadIsExact) {
    AsyncHTTPRequest request;
    EXPECT_EQ(head("https://Example.com/a/b?x=1&y=two%20words#frag", request),
              "GET /a/b?x=1&y=two%20words HTTP/1.1\r\nHost: example.com\r\nAccept: */*\r\n"
              "Connection: keep-alive\r\n\r\n");
    EXPECT_EQ(head("https://example.com:8443/", request, false),
              "GET / HTTP/1.1\r\nHost: example.com:8443\r\nAccept: */*\r\n"
              "Connection: close\r\n\r\n");
    // No path at all: the target is "/".
    EXPECT_EQ(head("http://example.com", request).substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST(HTTPRequestHeadTest, BodyChoosesMethodAndContentLines) {
    AsyncHTTPRequest request;
    request.SetBody(bytes("0123456789"));
    EXPECT_EQ(head("http://h/p", request),
              "POST /p HTTP/1.1\r\nHost: h\r\nAccept: */*\r\n"
              "Content-Type: application/octet-stream\r\nContent-Length: 10\r\n"
              "Connection: keep-alive\r\n\r\n0123456789");
    request.SetContentType("application/json");
    request.SetMethod("PATCH");
    EXPECT_NE(head("http://h/p", request).find("PATCH /p HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(head("http://h/p", request).find("Content-Type: application/json\r\n"),
              std::string::npos);

    AsyncHTTPRequest upload;
    EXPECT_EQ(head("http://h/f", upload, true, nullptr, 1234).substr(0, 17), "PUT /f HTTP/1.1\r\n");
}

TEST(HTTPRequestHeadTest, CallerHostAndContentTypeReplaceTheLibraryLines) {
    AsyncHTTPRequest request;
    request.SetBody(bytes("{}"));
    request.SetContentType("text/plain");
    request.AddHeader("host", "virtual.example");
    request.AddHeader("Content-Type", "application/json");
    request.AddHeader("Content-Length", "999");
    request.AddHeader("X-Other", "1");
    EXPECT_EQ(head("http://h:8080/", request),
              "POST / HTTP/1.1\r\nHost: virtual.example\r\nAccept: */*\r\n"
              "Content-Type: application/json\r\nContent-Length: 2\r\n"
              "Connection: keep-alive\r\nX-Other: 1\r\n\r\n{}");
}

TEST(HTTPRequestHeadTest, ConnectionHeaderOfTheCaller) {
    AsyncHTTPRequest upgrade;
    upgrade.AddHeader("Connection", "Upgrade");
    const std::string withUpgrade = head("http://h/", upgrade);
    EXPECT_EQ(withUpgrade.find("keep-alive"), std::string::npos);
    EXPECT_NE(withUpgrade.find("Connection: Upgrade\r\n"), std::string::npos);

    AsyncHTTPRequest empty;
    empty.AddHeader("Connection", "");
    EXPECT_NE(head("http://h/", empty).find("Connection: keep-alive\r\n"), std::string::npos);
}

TEST(HTTPRequestHeadTest, ConnectHead) {
    AsyncHTTPRequest request;
    request.SetMethod("CONNECT");
    request.AddHeader("Proxy-Authorization", "Basic abc");
    EXPECT_EQ(head("http://target.example:443", request),
              "CONNECT target.example:443 HTTP/1.1\r\nHost: target.example:443\r\n"
              "Proxy-Connection: keep-alive\r\nProxy-Authorization: Basic abc\r\n\r\n");
    EXPECT_EQ(head("http://target.example:443", request, false),
              "CONNECT target.example:443 HTTP/1.1\r\nHost: target.example:443\r\n"
              "Proxy-Authorization: Basic abc\r\n\r\n");
}

TEST(HTTPRequestHeadTest, LineBreaksAreRefused) {
    const std::pair<std::string, std::string> bad[] = {
        {"X-A", "v\r\nX-Injected: 1"}, {"X-A\n", "v"}, {"", "v"}, {"X:A", "v"}};
    for (const auto& header : bad) {
        AsyncHTTPRequest request;
        request.AddHeader(header.first, header.second);
        EXPECT_EQ(head("http://h/", request).substr(0, 8), "REFUSED:") << header.first;
    }
    AsyncHTTPRequest method;
    method.SetMethod("GET / HTTP/1.1\r\n");
    EXPECT_EQ(head("http://h/", method).substr(0, 8), "REFUSED:");
    AsyncHTTPRequest type;
    type.SetBody(bytes("x"));
    type.SetContentType("text/plain\r\nX: 1");
    EXPECT_EQ(head("http://h/", type).substr(0, 8), "REFUSED:");
}

TEST(HTTPRequestHeadTest, CookiesAreSentButSecretsNeverLogged) {
    auto recorder = networktest::LogRecorder::Install();
    HTTPCookieStore cookies;
    cookies.Set("session=s3cr3t-cookie");
    AsyncHTTPRequest request;
    request.AddHeader("Authorization", "Bearer s3cr3t-token");
    request.AddHeader("Cookie", "manual=s3cr3t-manual");
    const std::string text = head("http://h/", request, true, &cookies);
    EXPECT_NE(text.find("Cookie: manual=s3cr3t-manual\r\nCookie: session=s3cr3t-cookie\r\n\r\n"),
              std::string::npos)
        << text;
    bool sawHead = false;
    bool sawOmitted = false;
    for (const auto& line : recorder->Lines()) {
        EXPECT_EQ(line.message.find("s3cr3t"), std::string::npos) << line.message;
        if (line.message.rfind("HTTP request headers:\n", 0) == 0) {
            sawHead = true;
            EXPECT_NE(line.message.find("Authorization: ***"), std::string::npos);
            EXPECT_EQ(line.message.find('\r'), std::string::npos);
        }
        sawOmitted |= line.message == "HTTP 'Cookie' request headers omitted from log.";
    }
    EXPECT_TRUE(sawHead);
    EXPECT_TRUE(sawOmitted);
}

}  // namespace
}  // namespace network
