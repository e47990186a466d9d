#include <gtest/gtest.h>

#include "foundation/network/HTTPCookieStore.h"

namespace network {
namespace {

datetime::CDateTime at(const char* text) {
    return datetime::CDateTime::FromRFC1123(text);
}

class HTTPCookieStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.SetClock([this] { return now; });
    }
    datetime::CDateTime now = at("Mon, 01 Jun 2026 12:00:00 GMT");
    HTTPCookieStore store;
};

TEST_F(HTTPCookieStoreTest, ParsesPairAndAttributes) {
    EXPECT_EQ(store.Set(" sid=a=b ; Path=/app ; DOMAIN=Example.com; secure; httponly; "
                        "Expires=Tue, 01 Jun 2027 00:00:00 GMT; Max-Age=0; SameSite=Lax"),
              HTTPCookieStore::Added);
    ASSERT_EQ(store.Size(), 1u);
    const HTTPCookie& cookie = store.Cookies().front();
    EXPECT_EQ(cookie.cookieName, "sid");
    EXPECT_EQ(cookie.cookieValue, "a=b");
    EXPECT_EQ(cookie.cookiePath, "/app");
    EXPECT_EQ(cookie.domain, "Example.com");
    EXPECT_TRUE(cookie.secure);
    EXPECT_TRUE(cookie.httpOnly);
    EXPECT_FALSE(cookie.hostOnly);
    EXPECT_EQ(cookie.expires, at("Tue, 01 Jun 2027 00:00:00 GMT"));
}

TEST_F(HTTPCookieStoreTest, AddReplaceRemoveAndDelete) {
    EXPECT_EQ(store.Set("a=1"), HTTPCookieStore::Added);
    EXPECT_EQ(store.Set("b=2"), HTTPCookieStore::Added);
    EXPECT_EQ(store.Set("a=3; Domain=other.org"), HTTPCookieStore::Replaced);
    EXPECT_EQ(store.Get("http", "x.other.org", "/"), "a=3; b=2");  // replaced in place
    EXPECT_EQ(store.Set("c=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT"),
              HTTPCookieStore::NothingStored);
    EXPECT_EQ(store.Set("b=9; Expires=Thu, 01 Jan 1970 00:00:00 GMT"), HTTPCookieStore::Removed);
    EXPECT_EQ(store.Delete("missing"), HTTPCookieStore::NothingStored);
    EXPECT_EQ(store.Delete("a"), HTTPCookieStore::Removed);
    EXPECT_EQ(store.Size(), 0u);
    EXPECT_EQ(store.Get("http", "x.other.org", "/"), "");
    // Max-Age is not read: the cookie has no expiry.
    EXPECT_EQ(store.Set("m=1; Max-Age=0"), HTTPCookieStore::Added);
    EXPECT_EQ(store.Get("http", "any", "/"), "m=1");
}

TEST_F(HTTPCookieStoreTest, ExpiryFollowsTheClock) {
    store.Set("e=1; Expires=Mon, 01 Jun 2026 13:00:00 GMT");
    EXPECT_EQ(store.Get("http", "h", "/"), "e=1");
    now = at("Mon, 01 Jun 2026 13:00:00 GMT");
    EXPECT_EQ(store.Get("http", "h", "/"), "");
    // An unreadable date means no expiry.
    store.Set("f=1; Expires=tomorrow");
    EXPECT_EQ(store.Get("http", "h", "/"), "f=1");
}

TEST_F(HTTPCookieStoreTest, ResponseCookieWithoutDomainGoesBackOnlyToItsHost) {
    EXPECT_EQ(store.Set("h=1", "api.example.com"), HTTPCookieStore::Added);
    EXPECT_EQ(store.Get("https", "api.example.com", "/"), "h=1");
    EXPECT_EQ(store.Get("https", "API.example.com", "/"), "h=1");
    EXPECT_EQ(store.Get("https", "example.com", "/"), "");
    EXPECT_EQ(store.Get("https", "x.api.example.com", "/"), "");
    EXPECT_EQ(store.Get("https", "evil.com", "/"), "");
}

TEST_F(HTTPCookieStoreTest, ResponseCookieForAForeignDomainIsRefused) {
    EXPECT_EQ(store.Set("d=1; Domain=evil.com", "api.example.com"), HTTPCookieStore::NothingStored);
    EXPECT_EQ(store.Set("d=1; Domain=ample.com", "example.com"), HTTPCookieStore::NothingStored);
    EXPECT_EQ(store.Set("d=1; Domain=.example.com", "api.example.com"), HTTPCookieStore::Added);
    EXPECT_EQ(store.Get("http", "example.com", "/"), "d=1");
    EXPECT_EQ(store.Get("http", "www.example.com", "/"), "d=1");
}

struct MatchCase {
    const char* domain;
    const char* cookiePath;
    bool secure;
    const char* scheme;
    const char* host;
    const char* path;
    bool matches;
};

TEST(HTTPCookieMatchTest, DomainOnDotBoundaryPathOnSlashBoundarySecureOnlyOverHttps) {
    const MatchCase cases[] = {
        {"b.c", "", false, "http", "a.b.c", "/", true},
        {"b.c", "", false, "http", "b.c", "/", true},
        {"b.c", "", false, "http", "ab.c", "/", false},
        {"b.c", "", false, "http", "A.B.C", "/", true},
        {"a.b.c", "", false, "http", "b.c", "/", false},
        {"", "", false, "http", "anything", "", true},
        {"", "/a", false, "http", "h", "/a", true},
        {"", "/a", false, "http", "h", "/a/b", true},
        {"", "/a", false, "http", "h", "/ab", false},
        {"", "/a/", false, "http", "h", "/a/b", true},
        {"", "/a/", false, "http", "h", "/a", false},
        {"", "/", false, "http", "h", "", true},
        {"", "/a", false, "http", "h", "", false},
        {"", "", true, "http", "h", "/", false},
        {"", "", true, "https", "h", "/", true},
        {"", "", true, "HTTPS", "h", "/", false},
    };
    for (const MatchCase& c : cases) {
        HTTPCookie cookie;
        cookie.cookieName = "n";
        cookie.domain = c.domain;
        cookie.cookiePath = c.cookiePath;
        cookie.secure = c.secure;
        EXPECT_EQ(cookie.Matches(c.scheme, c.host, c.path, datetime::CDateTime::Now()), c.matches)
            << c.domain << " " << c.cookiePath << " " << c.scheme << "://" << c.host << c.path;
    }
}

}  // namespace
}  // namespace network

namespace network {
namespace {

TEST(HTTPCookieStoreURLTest, CookiesForAURLAndLineBreaksRefused) {
    HTTPCookieStore store;
    EXPECT_EQ(store.Set("a=1; Path=/api", "example.com"), HTTPCookieStore::Added);
    EXPECT_EQ(store.Set("b=2\r\nX-Injected: 1"), HTTPCookieStore::NothingStored);
    URL url;
    ASSERT_TRUE(ParseURL("https://example.com/api/v1?x=1", url));
    EXPECT_EQ(store.Get(url), "a=1");
    url.path = "/apix";
    EXPECT_EQ(store.Get(url), "");
}

}  // namespace
}  // namespace network
