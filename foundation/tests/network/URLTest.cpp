#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "foundation/network/URL.h"

using network::URL;
using network::URLQuery;

namespace {

struct ParseCase {
    const char* text;
    bool ok;
    const char* scheme;
    const char* host;
    uint32_t port;
    const char* path;
    URLQuery query;
    const char* fragment;
};

}  // namespace

TEST(URLTest, ParserTable) {
    const ParseCase cases[] = {
        {"http://example.com", true, "http", "example.com", 0, "", {}, ""},
        {"https://Example.COM:8443/a/b/?x=1&y=two#frag",
         true,
         "https",
         "Example.COM",
         8443,
         "/a/b/",
         {{"x", "1"}, {"y", "two"}},
         "frag"},
        {"ws://h/socket", true, "ws", "h", 0, "/socket", {}, ""},
        {"wss://h:443", true, "wss", "h", 443, "", {}, ""},
        {"ftp://files.example", true, "ftp", "files.example", 0, "", {}, ""},
        {"ftps://files.example/x", true, "ftps", "files.example", 0, "/x", {}, ""},
        {"//host.only/p", true, "", "host.only", 0, "/p", {}, ""},
        {"http://h:/p", true, "http", "h", 0, ":/p", {}, ""},
        {"http://h:abc", true, "http", "h", 0, ":abc", {}, ""},
        {"http://h:65535", true, "http", "h", 65535, "", {}, ""},
        {"http://h/a%2Fb", true, "http", "h", 0, "/a%2Fb", {}, ""},
        {"http://h/%zz", true, "http", "h", 0, "/%zz", {}, ""},
        {"http://h/?v=a%2Fb", true, "http", "h", 0, "/", {{"v", "a/b"}}, ""},
        {"http://h/?flag&k=", true, "http", "h", 0, "/", {{"flag", ""}, {"k", ""}}, ""},
        {"http://h/?a=1&a=2", true, "http", "h", 0, "/", {{"a", "1"}, {"a", "2"}}, ""},
        {"http://h/?p=a+b", true, "http", "h", 0, "/", {{"p", "a+b"}}, ""},
        {"http://h/?u=\xC3\xA9", true, "http", "h", 0, "/", {{"u", "\xC3\xA9"}}, ""},
        {"http://h/#a/b?c%", true, "http", "h", 0, "/", {}, "a/b?c%"},
        {"http://h//double//", true, "http", "h", 0, "//double//", {}, ""},
        {"http://h_x", true, "http", "h", 0, "_x", {}, ""},
        {"http://user@h", true, "http", "user", 0, "@h", {}, ""},  // no user information
        // failures
        {"HTTP://h", false, "", "", 0, "", {}, ""},
        {"gopher://h", false, "", "", 0, "", {}, ""},
        {"http:/h", false, "", "", 0, "", {}, ""},
        {"http://", false, "", "", 0, "", {}, ""},
        {"example.com", false, "", "", 0, "", {}, ""},
        {"http://[::1]/", false, "", "", 0, "", {}, ""},
        {"http://h/?a=1&", false, "", "", 0, "", {}, ""},
        {"http://h/?a=1&&b=2", false, "", "", 0, "", {}, ""},
        {"http://h/?=v", false, "", "", 0, "", {}, ""},
        {"http://h/?", false, "", "", 0, "", {}, ""},
        {"http://h/?a=%4", false, "", "", 0, "", {}, ""},
        {"http://h/?a b", false, "", "", 0, "", {}, ""},
        {"http://h/ space", false, "", "", 0, "", {}, ""},
        {"http://h:65536", false, "", "", 0, "", {}, ""},
        {"http://h:0", false, "", "", 0, "", {}, ""},
        {"https://Ex:0ws655", false, "", "", 0, "", {}, ""},  // would write back as host Exws655
        {"http://h:99999999999/", false, "", "", 0, "", {}, ""},
        {"http://h/#frag#again", false, "", "", 0, "", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        URL url;
        ASSERT_EQ(network::ParseURL(c.text, url), c.ok);
        if (!c.ok) {
            continue;
        }
        EXPECT_EQ(url.scheme, c.scheme);
        EXPECT_EQ(url.host, c.host);
        EXPECT_EQ(url.port, c.port);
        EXPECT_EQ(url.path, c.path);
        EXPECT_EQ(url.query, c.query);
        EXPECT_EQ(url.fragment, c.fragment);
    }
}

TEST(URLTest, FailedParseKeepsLaterFieldsUntouched) {
    URL url;
    url.fragment = "old";
    EXPECT_FALSE(network::ParseURL("http://new/path?=bad", url));
    EXPECT_EQ(url.host, "new");
    EXPECT_EQ(url.path, "/path");
    EXPECT_EQ(url.fragment, "old");
}

TEST(URLTest, NormalizeDefaultPortAndWriting) {
    URL url;
    ASSERT_TRUE(network::ParseURL("http://MiXeD.Example", url));
    EXPECT_EQ(url.host, "MiXeD.Example");
    url.Normalize();
    EXPECT_EQ(url.host, "mixed.example");
    EXPECT_EQ(url.ToHTTPGetString(), "");
    url.SetDefaultPort();
    EXPECT_EQ(url.port, 80u);
    EXPECT_TRUE(url.IsDefaultPort());
    EXPECT_EQ(url.ToURLString(), "http://mixed.example:80");
    EXPECT_EQ(url.ToHTTPConnectString(), "mixed.example:80");

    const struct {
        const char* scheme;
        uint32_t port;
    } defaults[] = {{"http", 80}, {"ws", 80}, {"https", 443},
                    {"wss", 443}, {"ftp", 0}, {"HTTP", 0}};
    for (const auto& d : defaults) {
        URL u;
        u.scheme = d.scheme;
        u.SetDefaultPort();
        EXPECT_EQ(u.port, d.port) << d.scheme;
        EXPECT_EQ(u.IsDefaultPort(), d.port != 0) << d.scheme;
    }
    URL kept;
    kept.scheme = "https";
    kept.port = 8443;
    kept.SetDefaultPort();
    EXPECT_EQ(kept.port, 8443u);
    EXPECT_FALSE(kept.IsDefaultPort());

    URL noScheme;
    ASSERT_TRUE(network::ParseURL("//h.example/p?q=a b", noScheme) == false);
    ASSERT_TRUE(network::ParseURL("//h.example/p?q=1", noScheme));
    EXPECT_EQ(noScheme.ToURLString(), "h.example/p?q=1");
}

TEST(URLTest, QueryWritingEncodes) {
    URL url;
    url.scheme = "https";
    url.host = "h";
    url.path = "/a b";  // the path is written as it is
    url.query = {{"name", "a b/c~"}, {"flag", ""}, {"\xC3\xA9", "+"}};
    url.fragment = "top";
    EXPECT_EQ(url.ToHTTPGetString(), "/a b?name=a%20b%2Fc~&flag&%C3%A9=%2B#top");
    EXPECT_EQ(url.ToURLString(), "https://h/a b?name=a%20b%2Fc~&flag&%C3%A9=%2B#top");
}

TEST(URLTest, EncodeAndDecode) {
    EXPECT_EQ(network::EncodeURL("a b"), "a%20b");
    EXPECT_EQ(network::EncodeURL("-._~AZaz09"), "-._~AZaz09");
    EXPECT_EQ(network::EncodeURL("\xC3"), "%C3");
    EXPECT_EQ(network::EncodeURL(std::string("\0", 1)), "%00");

    const struct {
        const char* in;
        bool ok;
        const char* out;
    } decodes[] = {
        {"", true, ""},        {"a+b", true, "a b"},  {"%2F", true, "/"},    {"%2f%41", true, "/A"},
        {"%4", false, ""},     {"%", false, ""},      {"%zz", false, ""},    {"%GG", false, ""},
        {"%5z", true, "\x05"}, {"% 5", true, "\x05"}, {"%-1", true, "\xFF"}, {"100%", false, ""},
    };
    for (const auto& d : decodes) {
        std::string out = "stale";
        EXPECT_EQ(network::DecodeURL(d.in, out), d.ok) << d.in;
        if (d.ok) {
            EXPECT_EQ(out, d.out) << d.in;
        }
    }
}

TEST(URLTest, RelativeReference) {
    URL url;
    ASSERT_TRUE(network::ParseURL("https://h:8443/old/path?keep=1#old", url));
    url.SetRelativeURL("/new/place?a=1&b=x%20y&bare&&c=%zz#sec");
    EXPECT_EQ(url.scheme, "https");
    EXPECT_EQ(url.host, "h");
    EXPECT_EQ(url.port, 8443u);
    EXPECT_EQ(url.path, "/new/place");
    EXPECT_EQ(url.query, (URLQuery{{"keep", "1"}, {"a", "1"}, {"b", "x y"}}));
    EXPECT_EQ(url.fragment, "sec");

    url.SetRelativeURL("other");
    EXPECT_EQ(url.path, "other");
    EXPECT_EQ(url.fragment, "");
    EXPECT_EQ(url.query.size(), 3u);
}

TEST(URLTest, RoundTripOfParsedURLs) {
    const char* texts[] = {"https://h:1/a%20b/c?x=%20&y&z=%2B#f?%",
                           "ws://h.example/_~!$&'()*+,;=:@-", "http://h?k=%C3%A9", "ftp://h:1_x"};
    for (const char* text : texts) {
        URL first;
        ASSERT_TRUE(network::ParseURL(text, first)) << text;
        URL second;
        ASSERT_TRUE(network::ParseURL(first.ToURLString(), second)) << first.ToURLString();
        EXPECT_EQ(first, second) << text;
    }
}
