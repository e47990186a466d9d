// The system anchor files below the system root become what the Qt path trusts.

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include "TestSupport.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "qtplatform/QtPlatform.h"

namespace {

// Runs one GET against `url` on `platform`; answers whether it succeeded.
bool succeeds(QtPlatform& platform, common::ITaskScheduler& scheduler, const std::string& url) {
    auto query = platform.createQuery();
    bool finished = false;
    bool success = false;
    query->setFinishedHandler([&](bool ok) {
        finished = true;
        success = ok;
    });
    query->setUrl(url);
    query->execute();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    scheduler.runTasksUntil(
        [&] { return !finished && std::chrono::steady_clock::now() < deadline; });
    return success;
}

}  // namespace

TEST(TrustAnchorsTest, SystemRootFilesAndTheSearchListAreTrusted) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [] {
        qttest::TestCertificates certificates;
        testsupport::TempDir root;
        testsupport::ScopedEnv rootEnv("ORV_SYSTEM_ROOT", root.path().string());
        testsupport::ScopedEnv noProxy("https_proxy", std::nullopt);
        const auto keychains = root / "Library" / "Keychains";
        boost::filesystem::create_directories(keychains / "extra");
        boost::filesystem::copy_file(certificates.caFile(),
                                     keychains / "SystemRootCertificates.pem");
        // The self-signed certificate is an anchor of its own, listed by absolute path.
        boost::filesystem::copy_file(certificates.selfSignedCert(),
                                     keychains / "extra" / "self.pem");
        root.write("Library/Keychains/search-list",
                   "\n  /Library/Keychains/extra/self.pem  \n/Library/Keychains/absent.pem\n");
        qttest::PythonPeer signedPeer("tls_server.py",
                                      {certificates.leafCert(), certificates.leafKey()});
        qttest::PythonPeer selfPeer("tls_server.py",
                                    {certificates.selfSignedCert(), certificates.selfSignedKey()});
        auto scheduler = common::TaskScheduler::create(std::chrono::milliseconds(1),
                                                       common::ILogger::create("TaskScheduler"));
        common::credentialstorage::CredentialStorage storage;
        bool ok = certificates.ok() && signedPeer.ready() && selfPeer.ready();
        {
            QtPlatform platform(scheduler.get(), &storage, "qtplatform_tests");
            ok = ok && succeeds(platform, *scheduler, signedPeer.url("https", "/"));
            ok = ok && succeeds(platform, *scheduler, selfPeer.url("https", "/"));
        }
        return ok;
    };
    // The peers and folders are released before the child process exits.
    EXPECT_EXIT(std::exit(run() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
