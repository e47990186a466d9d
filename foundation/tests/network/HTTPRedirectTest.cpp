#include <gtest/gtest.h>

#include "foundation/network/HTTPRedirect.h"

namespace network {
namespace {

TEST(HTTPRedirectTest, ResolvesReferencesLikeRFC3986) {
    URL base;
    ASSERT_TRUE(ParseURL("http://a:8080/b/c/d;p?q=1", base));
    base.SetDefaultPort();
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a:8080/b/c/g"},
        {"./g", "http://a:8080/b/c/g"},
        {"g/", "http://a:8080/b/c/g/"},
        {"/g", "http://a:8080/g"},
        {"?y=2", "http://a:8080/b/c/d;p?y=2"},
        {"g?y=2", "http://a:8080/b/c/g?y=2"},
        {"#s", "http://a:8080/b/c/d;p?q=1"},
        {"..", "http://a:8080/b/"},
        {"../g", "http://a:8080/b/g"},
        {"../../../g", "http://a:8080/g"},
        {"/./g/../h", "http://a:8080/h"},
        {"//other.example/x", "http://other.example:80/x"},
        {"HTTPS://Other.Example/y#frag", "https://other.example:443/y"},
        {"g h", "http://a:8080/b/c/g%20h"},
    };
    for (const auto& c : cases) {
        URL target;
        ASSERT_TRUE(ResolveRedirectLocation(base, c.first, target)) << c.first;
        EXPECT_EQ(target.ToURLString(), c.second) << c.first;
    }
    URL target;
    EXPECT_FALSE(ResolveRedirectLocation(base, "", target));
    EXPECT_FALSE(ResolveRedirectLocation(base, "ftp://x/", target));
    EXPECT_FALSE(ResolveRedirectLocation(base, "javascript:alert(1)", target));
}

}  // namespace
}  // namespace network
