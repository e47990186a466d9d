#include <gtest/gtest.h>

#include "foundation/network/BasicAuthentication.h"
#include "foundation/network/DigestAuthentication.h"
#include "foundation/network/DigestKeyValueDictionary.h"
#include "foundation/network/INetworkAuthentication.h"

namespace network {
namespace {

struct Credentials {
    std::string user;
    std::string password;
    INetworkAuthentication::CredentialsSource Source() {
        return [this](std::string& u, std::string& p) {
            u = user;
            p = password;
        };
    }
};

TEST(HTTPAuthenticationTest, ChoosesDigestBeforeBasicAndNothingElse) {
    EXPECT_EQ(INetworkAuthentication::ChooseMostSecure({"Basic", "Digest"}), 1);
    EXPECT_EQ(INetworkAuthentication::ChooseMostSecure({"DIGEST", "basic"}), 0);
    EXPECT_EQ(INetworkAuthentication::ChooseMostSecure({"ntlm", "basic"}), 1);
    EXPECT_EQ(INetworkAuthentication::ChooseMostSecure({"ntlm", "negotiate"}), -1);
    EXPECT_EQ(INetworkAuthentication::ChooseMostSecure({}), -1);
    Credentials credentials;
    EXPECT_EQ(INetworkAuthentication::Create("NTLM", credentials.Source(), "h:443"), nullptr);
    EXPECT_EQ(INetworkAuthentication::Create("bAsIc", credentials.Source(), "h:443")->GetMethod(),
              "Basic");
    EXPECT_EQ(INetworkAuthentication::Create("Digest", credentials.Source(), "h:443")->GetMethod(),
              "Digest");
    EXPECT_EQ(INetworkAuthentication::AuthMethodFromName("Basic"), 1);
    EXPECT_EQ(INetworkAuthentication::AuthMethodFromName("Digest"), 2);
    EXPECT_EQ(INetworkAuthentication::AuthMethodFromName("digest"), 0);
}

TEST(HTTPAuthenticationTest, BasicNeverSendsTheSameCredentialsTwiceInARow) {
    Credentials credentials;
    BasicAuthentication basic(credentials.Source());
    EXPECT_EQ(basic.GetToken(), "");
    EXPECT_FALSE(basic.CanContinue());  // empty credentials

    credentials = {"Aladdin", "open sesame"};
    EXPECT_EQ(basic.GetToken(), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_TRUE(basic.CanContinue());
    EXPECT_FALSE(basic.CanContinue());
    credentials.password = "other";
    EXPECT_TRUE(basic.CanContinue());
    EXPECT_FALSE(basic.TryReauthenticate());
}

TEST(HTTPAuthenticationTest, DigestAnswersTheWellKnownChallenge) {
    Credentials credentials{"Mufasa", "Circle Of Life"};
    DigestAuthentication digest(credentials.Source(), "GET", "/dir/index.html", "0a4f113b");
    digest.SetToken(
        "realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
        "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
        "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
    EXPECT_EQ(digest.GetToken(),
              "username=\"Mufasa\", realm=\"testrealm@host.com\", "
              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", qop=auth, "
              "nc=00000001, cnonce=\"0a4f113b\", response=\"6629fae49393a05397450978507c4ef1\", "
              "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
}

TEST(HTTPAuthenticationTest, DigestWithoutOfferedQopUsesTheOriginalForm) {
    Credentials credentials{"Mufasa", "CircleOfLife"};
    DigestAuthentication digest(credentials.Source(), "GET", "/dir/index.html", "");
    digest.SetToken("realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"");
    // The response of the worked example in RFC 2617.
    EXPECT_EQ(digest.GetToken(),
              "username=\"Mufasa\", realm=\"testrealm@host.com\", "
              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
              "response=\"1949323746fe6a43ef61f9606e7febea\"");
}

TEST(HTTPAuthenticationTest, DigestEscapesQuotesAndDrawsAFreshClientNonce) {
    Credentials credentials{"we\"ird\\user", "pw"};
    DigestAuthentication digest(credentials.Source(), "proxy:3128");
    digest.SetToken("realm=\"r\\\"x\", nonce=\"n\", qop=\"auth\"");
    EXPECT_EQ(digest.GetRealm(), "r\"x");
    const std::string first = digest.GetToken();
    const std::string second = digest.GetToken();
    EXPECT_NE(first.find("username=\"we\\\"ird\\\\user\""), std::string::npos) << first;
    EXPECT_NE(first.find("realm=\"r\\\"x\""), std::string::npos) << first;
    EXPECT_EQ(first.find("opaque"), std::string::npos);
    const auto cnonce = [](const std::string& token) {
        const std::size_t at = token.find("cnonce=\"");
        return at == std::string::npos ? std::string() : token.substr(at + 8, 16);
    };
    ASSERT_EQ(cnonce(first).find_first_not_of(
                  "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
              std::string::npos);
    ASSERT_EQ(cnonce(first).size(), 16u);
    EXPECT_NE(cnonce(first), cnonce(second));
    EXPECT_NE(second.find("nc=00000001"), std::string::npos);
    EXPECT_TRUE(digest.CanContinue());
    EXPECT_TRUE(digest.CanContinue());
    credentials.password.clear();
    EXPECT_FALSE(digest.CanContinue());
    EXPECT_EQ(digest.GetToken(), "");
}

TEST(DigestKeyValueDictionaryTest, ParsesQuotedUnquotedAndOddPieces) {
    struct Case {
        const char* text;
        DigestKeyValueDictionary::Map expected;
    };
    const Case cases[] = {
        {"realm=\"a, b\", nonce=xyz , qop=\"auth\"",
         {{"realm", "a, b"}, {"nonce", "xyz"}, {"qop", "auth"}}},
        {"realm=\"first\", realm=\"second\"", {{"realm", "first"}}},
        {"stale, algorithm=MD5", {{"stale", ""}, {"algorithm", "MD5"}}},
        {"lonely", {{"lonely", ""}}},
        {"  \r\n nonce = \"x\\\\y\"", {{"nonce", "x\\y"}}},
        {"realm=\"unterminated", {{"realm", "unterminated"}}},
        {"=value, ,,", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DigestKeyValueDictionary::ParseString(c.text), c.expected) << c.text;
    }
}

}  // namespace
}  // namespace network
