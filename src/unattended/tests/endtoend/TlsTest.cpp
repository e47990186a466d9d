// The daemon over wss:// against a test certificate authority installed as the system's trust
// anchor, on the default and the legacy network path.

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <signal.h>

#include <string>
#include <vector>

#include "DaemonFixture.h"
#include "platform/process/Process.h"
#include "testsupport/TestCertificates.h"

using namespace std::chrono_literals;
using testsupport::CertificateSpec;
using testsupport::MakeIdentity;
using testsupport::TestIdentity;

namespace endtoend {
namespace {

const char* const kUseLegacyNetworking = "UseLegacyNetworking";

CertificateSpec authoritySpec(const std::string& name) {
    CertificateSpec spec;
    spec.commonName = name;
    spec.notBeforeOffset = -86400;
    spec.certificateAuthority = true;
    return spec;
}

CertificateSpec serverSpec(const std::string& host) {
    CertificateSpec spec;
    spec.commonName = host;
    if (host.find_first_not_of("0123456789.") == std::string::npos) {
        spec.ipAddresses = {host};
    } else {
        spec.dnsNames = {host};
    }
    return spec;
}

// The backend serves wss on a second port, with a certificate chosen per test; the daemon
// trusts the test authority through the system root's anchor file.
class Tls : public DaemonFixture {
protected:
    Tls() {
        _startBackendInSetUp = false;
        while (_tlsPort == _port) {
            _tlsPort = testsupport::freePort();
        }
        _websiteUrl = "wss://127.0.0.1:" + std::to_string(_tlsPort) + "/ws";
        testsupport::WriteFile(_dir / "root/Library/Keychains/SystemRootCertificates.pem",
                               _authority.CertificatePEM());
    }

    void SetUp() override {
        startBackend({"--tls-port", std::to_string(_tlsPort)});
        ASSERT_TRUE(_backend->waitForPort("127.0.0.1", _tlsPort, 30s));
    }

    // Makes the backend's TLS site present `identity` from the next handshake on.
    void serve(const std::string& name, const TestIdentity& identity) {
        const auto certificate = _dir / "tls" / (name + ".crt");
        const auto key = _dir / "tls" / (name + ".key");
        testsupport::WriteFile(certificate, identity.CertificatePEM());
        testsupport::WriteFile(key, identity.KeyPEM());
        const std::string answer =
            control("POST", "/control/tls",
                    R"({"name":")" + name + R"(","certificate":")" + certificate.string() +
                        R"(","key":")" + key.string() + R"("})");
        ASSERT_NE(answer.find(name), std::string::npos) << answer;
    }

    // TLS handshakes begun while `name` was served.
    size_t hellos(const std::string& name) {
        size_t found = 0;
        const auto all = events("tls-hello");
        for (const auto& hello : all.GetArray()) {
            found += hello["name"].IsString() && name == hello["name"].GetString() ? 1 : 0;
        }
        return found;
    }

    // Whether the WebSocket upgrade that reached the TLS site while `name` was served came
    // from the legacy path: only that one asks proxies not to cache.
    bool upgradeFromLegacyPath(const std::string& name) {
        const auto requests = events("tls-request");
        for (const auto& request : requests.GetArray()) {
            if (request["name"].IsString() && name == request["name"].GetString() &&
                std::string(request["path"].GetString()).rfind("/ws", 0) == 0) {
                return request["headers"].HasMember("Pragma");
            }
        }
        ADD_FAILURE() << "no WebSocket upgrade with " << name;
        return false;
    }

    void stopDaemon() {
        if (_pid > 0) {
            ::kill(_pid, SIGKILL);
            standin::Process::wait(_pid);
            _pid = -1;
        }
    }

    std::string legacyState() {
        return stateValue(_install / "unattended.json", kUseLegacyNetworking);
    }

    unsigned short _tlsPort = testsupport::freePort();
    const TestIdentity _authority = MakeIdentity(authoritySpec("Orvanta Test Root CA"), nullptr);
};

TEST_P(Tls, CertificateOfTheTrustedAuthorityIsAccepted) {
    serve("valid", MakeIdentity(serverSpec("127.0.0.1"), &_authority));
    startAccepted();
    ASSERT_GE(count("ws-connect"), 1u);
    EXPECT_EQ(upgradeFromLegacyPath("valid"), GetParam());
    EXPECT_TRUE(waitUntil([&] { return heartbeats() >= 2; })) << log();
}

TEST_P(Tls, UntrustedCertificatesNeverConnect) {
    const TestIdentity stranger = MakeIdentity(authoritySpec("Unknown Test CA"), nullptr);
    CertificateSpec expired = serverSpec("127.0.0.1");
    expired.notBeforeOffset = -2 * 86400;
    expired.notAfterOffset = -86400;
    const struct {
        std::string name;
        TestIdentity identity;
    } cases[] = {
        {"expired", MakeIdentity(expired, &_authority)},
        {"wrong-host", MakeIdentity(serverSpec("elsewhere.test"), &_authority)},
        {"self-signed", MakeIdentity(serverSpec("127.0.0.1"), nullptr)},
        {"unknown-authority", MakeIdentity(serverSpec("127.0.0.1"), &stranger)},
    };
    for (const auto& badCase : cases) {
        SCOPED_TRACE(badCase.name);
        serve(badCase.name, badCase.identity);
        startDaemon();
        EXPECT_TRUE(waitUntil([&] { return hellos(badCase.name) >= 2; }, 90s)) << log();
        EXPECT_EQ(count("ws-connect"), 0u);
        EXPECT_TRUE(daemonRunning()) << log();
        stopDaemon();
    }
}

// On the default path, five refused handshakes make the daemon fall back to the backup path and
// record that in its state; the backup path alone has nowhere to fall back to and keeps trying.
// Once the certificate is good, the daemon registers over the backup path either way.
TEST_P(Tls, RefusedHandshakesFallBackToTheBackupPathWhichThenRegisters) {
    const bool legacy = GetParam();
    serve("self-signed", MakeIdentity(serverSpec("127.0.0.1"), nullptr));
    startDaemon();
    if (!legacy) {
        ASSERT_TRUE(waitUntil([&] { return legacyState() == "1"; }, 100s)) << log();
        EXPECT_GE(hellos("self-signed"), 5u);
        EXPECT_NE(log().find("Qt connection failed! Falling back to backup connection..."),
                  std::string::npos)
            << log();
    } else {
        ASSERT_TRUE(waitUntil([&] { return hellos("self-signed") >= 6; }, 100s)) << log();
        EXPECT_EQ(log().find("Falling back"), std::string::npos) << log();
        EXPECT_NE(legacyState(), "0");
    }
    EXPECT_EQ(count("ws-connect"), 0u);

    serve("valid", MakeIdentity(serverSpec("127.0.0.1"), &_authority));
    ASSERT_TRUE(waitUntil([&] { return count("accepted") >= 1; })) << log();
    EXPECT_TRUE(upgradeFromLegacyPath("valid"));
    EXPECT_TRUE(daemonRunning());
}

INSTANTIATE_TEST_SUITE_P(Networking, Tls, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Legacy" : "Qt");
                         });

}  // namespace
}  // namespace endtoend
