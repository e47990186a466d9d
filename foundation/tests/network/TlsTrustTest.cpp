#include <gtest/gtest.h>

#include "SocketFixture.h"
#include "foundation/network/CertificateStoreManager.h"

using namespace networktest;

namespace {

// A trusted root with one intermediate, and identities for every verdict.
class TlsTrustTest : public SocketFixture {
protected:
    testsupport::TestIdentity root =
        testsupport::MakeIdentity({"Test Root CA", {}, {}, -86400, 365 * 86400, true}, nullptr);
    testsupport::TestIdentity intermediate = testsupport::MakeIdentity(
        {"Test Intermediate CA", {}, {}, -86400, 365 * 86400, true}, &root);

    testsupport::TestIdentity Leaf(const std::string& cn, const testsupport::TestIdentity* issuer,
                                   long notBefore = -3600, long notAfter = 30 * 86400,
                                   std::vector<std::string> dns = {"localhost"}) {
        return testsupport::MakeIdentity(
            {cn, std::move(dns), {"127.0.0.1"}, notBefore, notAfter, false}, issuer);
    }

    // Connects with TLS to a fresh s_server using `identity`; answers the connect's code.
    ITCPSocket::ErrorCode ConnectTo(const testsupport::TestIdentity& identity,
                                    const std::vector<const testsupport::TestIdentity*>& chain = {},
                                    const std::string& host = "127.0.0.1") {
        TlsServer server(m_Root, "server", identity, chain);
        EXPECT_TRUE(server.Ready());
        auto socket = MakeSocket();
        auto code = Connect(socket, host, server.Port(), true);
        EXPECT_TRUE(code.has_value());
        if (code == ITCPSocket::Success) {
            EXPECT_TRUE(socket->IsSecureHandshakeComplete());
            EXPECT_EQ(Close(socket), ITCPSocket::Success);
        } else {
            EXPECT_FALSE(socket->IsConnected()) << "a failed handshake closes the socket";
        }
        return code.value_or(ITCPSocket::OperationCancelled);
    }

    bool HandshakeFailureLogged() const {
        return m_Log->Has("AsyncTCPSocket", logging::Error,
                          "SSL handshake failed when connecting to <127.0.0.1:");
    }
};

}  // namespace

TEST_F(TlsTrustTest, ValidCertificateConnectsAndIsVerified) {
    InstallRootAnchor(root);
    EXPECT_EQ(ConnectTo(Leaf("localhost", &root)), ITCPSocket::Success);
    EXPECT_TRUE(
        m_Log->Has("CertificateVerifier", logging::Debug, "Verifying /CN=localhost succeeds"));
    EXPECT_TRUE(
        m_Log->Has("CertificateVerifier", logging::Debug, "Verifying /CN=Test Root CA succeeds"));
    EXPECT_TRUE(m_Log->Has("AsyncTCPSocket", logging::Debug, "SSL handshake done"));
    EXPECT_TRUE(
        m_Log->Has("CertificateStore", logging::Trace, "Certificate imported: /CN=Test Root CA"));
}

TEST_F(TlsTrustTest, HostNameIsCheckedByNameAndByAddress) {
    InstallRootAnchor(root);
    EXPECT_EQ(ConnectTo(Leaf("localhost", &root), {}, "localhost"), ITCPSocket::Success);
    EXPECT_EQ(
        ConnectTo(Leaf("wrong.example", &root, -3600, 86400, {"wrong.example"}), {}, "localhost"),
        ITCPSocket::SecureHandshakeFailure);
    EXPECT_TRUE(
        m_Log->Has("CertificateVerifier", logging::Warning, "Verifying /CN=wrong.example fails"));
}

TEST_F(TlsTrustTest, CommonNameCountsOnlyWithoutDnsNames) {
    InstallRootAnchor(root);
    // The common name names the host, but the certificate's DNS names do not.
    auto misleading =
        testsupport::MakeIdentity({"localhost", {"other.example"}, {}, -3600, 86400, false}, &root);
    EXPECT_EQ(ConnectTo(misleading, {}, "localhost"), ITCPSocket::SecureHandshakeFailure);
    auto commonNameOnly =
        testsupport::MakeIdentity({"localhost", {}, {}, -3600, 86400, false}, &root);
    EXPECT_EQ(ConnectTo(commonNameOnly, {}, "localhost"), ITCPSocket::Success);
}

TEST_F(TlsTrustTest, EveryBadCertificateFailsWithItsReason) {
    InstallRootAnchor(root);
    testsupport::TestIdentity otherRoot =
        testsupport::MakeIdentity({"Unknown Root CA", {}, {}, -86400, 365 * 86400, true}, nullptr);
    const struct {
        const char* name;
        testsupport::TestIdentity identity;
        const char* logged;
    } cases[] = {
        {"expired", Leaf("expired", &root, -7200, -3600),
         "Pre-verify error with /CN=expired, code 10: certificate has expired"},
        {"not yet valid", Leaf("future", &root, 3600, 7200),
         "Pre-verify error with /CN=future, code 9: certificate is not yet valid"},
        {"self-signed", Leaf("selfsigned", nullptr),
         "Pre-verify error with /CN=selfsigned, code 18: self-signed certificate"},
        {"unknown CA", Leaf("unknownca", &otherRoot),
         "Pre-verify error with /CN=unknownca, code 20: unable to get local issuer certificate"},
        {"wrong host", Leaf("wronghost", &root, -3600, 86400, {"wrong.example"}),
         "Verifying /CN=wronghost fails"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ConnectTo(c.identity, {}, "localhost"), ITCPSocket::SecureHandshakeFailure);
        EXPECT_TRUE(m_Log->Has("CertificateVerifier", logging::Warning, c.logged));
    }
    EXPECT_TRUE(HandshakeFailureLogged());
}

TEST_F(TlsTrustTest, ChainThroughAnIntermediate) {
    InstallRootAnchor(root);
    auto leaf = Leaf("localhost", &intermediate);
    EXPECT_EQ(ConnectTo(leaf, {&intermediate}), ITCPSocket::Success);
    EXPECT_TRUE(m_Log->Has("CertificateVerifier", logging::Debug,
                           "Verifying /CN=Test Intermediate CA succeeds"));
    // Without the intermediate the chain cannot be built.
    EXPECT_EQ(ConnectTo(leaf), ITCPSocket::SecureHandshakeFailure);
}

TEST_F(TlsTrustTest, SearchListAndCAKeychainAreAnchorsToo) {
    testsupport::WriteFile(m_Root / "Library/Keychains/SystemCACertificates.pem",
                           intermediate.CertificatePEM());
    testsupport::WriteFile(m_Root / "Library/Keychains/user.pem", root.CertificatePEM());
    testsupport::WriteFile(m_Root / "Library/Keychains/search-list",
                           "# the user's keychains\n/Library/Keychains/user.pem\nmissing.pem\n");
    EXPECT_EQ(ConnectTo(Leaf("localhost", &intermediate)), ITCPSocket::Success);
}

TEST_F(TlsTrustTest, OnlyTheDesignatedAnchorsAreTrusted) {
    // The TLS library's default locations (here pointed at the test root) are not consulted.
    testsupport::WriteFile(m_Root / "default-ca.pem", root.CertificatePEM());
    testsupport::ScopedEnv file("SSL_CERT_FILE", (m_Root / "default-ca.pem").string());
    testsupport::ScopedEnv dir("SSL_CERT_DIR", m_Root.path().string());
    EXPECT_EQ(ConnectTo(Leaf("localhost", &root)), ITCPSocket::SecureHandshakeFailure);
}

TEST_F(TlsTrustTest, ImportSkipsExpiredAndFutureAnchorsAndReportsDuplicates) {
    auto expiredRoot =
        testsupport::MakeIdentity({"Expired Root", {}, {}, -7200, -3600, true}, nullptr);
    auto futureRoot = testsupport::MakeIdentity({"Future Root", {}, {}, 3600, 7200, true}, nullptr);
    testsupport::WriteFile(
        m_Root / "Library/Keychains/SystemRootCertificates.pem",
        expiredRoot.CertificatePEM() + futureRoot.CertificatePEM() + root.CertificatePEM());
    testsupport::WriteFile(m_Root / "Library/Keychains/dup.pem", root.CertificatePEM());
    testsupport::WriteFile(m_Root / "Library/Keychains/search-list",
                           "/Library/Keychains/dup.pem\n");
    Context();

    EXPECT_TRUE(m_Log->Has("CertificateStore", logging::Trace,
                           "Certificate already expired: /CN=Expired Root"));
    EXPECT_TRUE(m_Log->Has("CertificateStore", logging::Trace,
                           "Certificate not yet valid: /CN=Future Root"));
    EXPECT_EQ(m_Log->Find("CertificateStore", logging::Trace, "Certificate imported: ").size(), 1u);
    const auto duplicates = m_Log->Find("CertificateStore", logging::Warning, "OpenSSL error ");
    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_NE(duplicates[0].find(" when importing certificate: /CN=Test Root CA"),
              std::string::npos);

    // The expired anchor is not trusted.
    EXPECT_EQ(ConnectTo(Leaf("localhost", &expiredRoot)), ITCPSocket::SecureHandshakeFailure);
}

TEST_F(TlsTrustTest, UnparsableCertificateIsSkippedWithAWarning) {
    class Manager : public network::CertificateStoreManager {
    public:
        void ImportCertificates(boost::asio::ssl::context&) override {}
    } manager;
    X509_STORE* store = X509_STORE_new();
    const unsigned char garbage[] = {0x30, 0x03, 0x01, 0x02, 0x03};
    manager.AddCertificate(garbage, sizeof(garbage), store);
    X509_STORE_free(store);
    EXPECT_TRUE(m_Log->Has("CertificateStore", logging::Warning, "OpenSSL error "));
    const auto lines = m_Log->Find("CertificateStore", logging::Warning, "OpenSSL error ");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find(" when parsing certificate"), std::string::npos);
}

TEST_F(TlsTrustTest, NoAnchorsMeansEveryHandshakeFails) {
    EXPECT_EQ(ConnectTo(Leaf("localhost", &root)), ITCPSocket::SecureHandshakeFailure);
    EXPECT_TRUE(HandshakeFailureLogged());
}
