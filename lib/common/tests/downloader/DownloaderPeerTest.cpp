// The downloader against a real HTTP server (aiohttp) on loopback, over the Qt path and the
// foundation HTTP client.

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/credentialstorage/ICredentialStorage.h"
#include "common/downloader/Downloader.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/common/tests/support/NoCredentials.h"
#include "lib/common/tests/support/RecordingLogger.h"
#include "qtplatform/QtPlatform.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

using common::Downloader;
using common::ILogger;
using namespace std::chrono_literals;

namespace {

struct Outcome {
    bool ok = false;
    boost::filesystem::path path;
};

const boost::filesystem::path kServerScript =
    boost::filesystem::path(__FILE__).parent_path() / "download_server.py";

std::string expectedFileBody() {
    std::string body;
    for (int round = 0; round < 64; ++round) {
        for (int byte = 0; byte < 256; ++byte) {
            body.push_back(static_cast<char>(byte));
        }
    }
    return body;
}

class DownloaderPeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<testsupport::ServerProcess>(
            std::vector<std::string>{"/usr/bin/python3", kServerScript.string(),
                                     std::to_string(port)},
            std::vector<std::string>{}, (logs / "server.log").string());
        ASSERT_TRUE(server->waitForPort("127.0.0.1", port)) << "the HTTP server did not start";
        platform = std::make_unique<QtPlatform>(scheduler.get(), &credentials, "DownloaderTest");
        downloader = std::make_unique<Downloader>(
            environment, *platform, params, scheduler->getTaskQueue("AppletDownloader"),
            std::make_unique<testsupport::RecordingLogger>("Downloader", book));
    }

    void TearDown() override {
        downloader.reset();
        platform.reset();
        environment.reset();
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    // Runs the main thread's tasks until `done` holds or 20 s have passed.
    bool waitFor(const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < limit) {
            environment->PollEventLoop();
            scheduler->runDue();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return done();
    }

    std::optional<Outcome> download(const std::string& path, unsigned int tries = 0) {
        std::optional<Outcome> outcome;
        downloader->download(
            url(path), folder.path(),
            [&](bool ok, const boost::filesystem::path& file) {
                outcome = Outcome{ok, file};
            },
            tries);
        waitFor([&] { return outcome.has_value(); });
        return outcome;
    }

    // A GET answered with its status and body.
    std::pair<int, std::string> get(const std::string& path) {
        std::optional<std::pair<int, std::string>> result;
        downloader->get(url(path),
                        [&](const network::HTTPStatusCode& status, const std::string& body) {
                            result = std::make_pair(static_cast<int>(status), body);
                        });
        waitFor([&] { return result.has_value(); });
        return result.value_or(std::make_pair(-1, std::string("no answer")));
    }

    // How many requests the server has had for `path` (asked over the Qt path).
    std::string hits(const std::string& path) {
        const std::string legacy = params.getValue("UseLegacyNetworking", "0");
        params.setValue("UseLegacyNetworking", "0");
        const auto answer = get("/hits?path=" + path);
        params.setValue("UseLegacyNetworking", legacy);
        return answer.second;
    }

    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : boost::filesystem::directory_iterator(folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::TempDir root;
    testsupport::TempDir logs;
    testsupport::TempDir folder;
    testsupport::ScopedEnv systemRoot{"ORV_SYSTEM_ROOT", root.path().string()};
    testsupport::ScopedEnv noProxy{"https_proxy", std::nullopt};
    testsupport::ScopedEnv noHttpProxy{"http_proxy", std::nullopt};
    unsigned short port = testsupport::freePort();
    std::unique_ptr<testsupport::ServerProcess> server;
    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    testsupport::NoCredentials credentials;
    testsupport::MemoryParams params;
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    std::shared_ptr<extension::EventLoopEnvironment> environment =
        std::make_shared<extension::EventLoopEnvironment>();
    std::unique_ptr<QtPlatform> platform;
    std::unique_ptr<Downloader> downloader;
};

TEST_F(DownloaderPeerTest, FileIsSavedUnderItsAnnouncedName) {
    const auto outcome = download("/file");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok);
    EXPECT_EQ(outcome->path, folder / "applet.zip");
    EXPECT_EQ(testsupport::TempDir::read(folder / "applet.zip"), expectedFileBody());
    EXPECT_EQ(folderContents(), std::vector<std::string>{"applet.zip"});
    EXPECT_EQ(get("/agent"), std::make_pair(200, std::string("Mac OS X 10_13_6")));
}

TEST_F(DownloaderPeerTest, HostileNamesStayInsideTheFolder) {
    // A name of this test's own, so that nothing else in the parent folder can pass for it.
    const std::string escapee = folder.path().filename().string() + "-escapee";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"..%2F" + escapee, escapee},
        {"%22a'b.zip%22", "ab.zip"},
        {"%2Fetc%2Fpasswd", "passwd"},
        {"..", "file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const auto outcome = download("/named?name=" + c.first);
        ASSERT_TRUE(outcome.has_value());
        EXPECT_TRUE(outcome->ok);
        EXPECT_EQ(outcome->path, folder / c.second);
        EXPECT_EQ(testsupport::TempDir::read(folder / c.second), "named body");
    }
    std::vector<std::string> expected = {"ab.zip", escapee, "file", "passwd"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderContents(), expected);
    EXPECT_FALSE(boost::filesystem::exists(folder.path().parent_path() / escapee));
}

TEST_F(DownloaderPeerTest, RedirectBodyIsNotSaved) {
    // The last try goes over the path the parameter does not select: here the Qt path.
    params.setValue("UseLegacyNetworking", "1");
    const auto outcome = download("/redirect", Downloader::kLastTry);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_TRUE(outcome->path.empty());
    EXPECT_TRUE(folderContents().empty());
    EXPECT_TRUE(book->contains(ILogger::Error, "with Error Code: Redirect"));
}

TEST_F(DownloaderPeerTest, ServerThatAlwaysFailsIsTriedSixTimesOverBothPaths) {
    std::optional<Outcome> outcome;
    downloader->download(
        url("/fail"), folder.path(),
        [&](bool ok, const boost::filesystem::path& file) {
            outcome = Outcome{ok, file};
        },
        0);
    for (int attempt = 1; attempt <= 6; ++attempt) {
        ASSERT_TRUE(waitFor([&] {
            return book->count(ILogger::Error, "Download failed from:") ==
                   static_cast<size_t>(attempt);
        })) << attempt;
        if (attempt < 6) {
            // Nothing is sent again before the 2000 ms have passed.
            scheduler->advance(Downloader::kRetryDelay - 10ms);
            EXPECT_EQ(hits("/fail"), std::to_string(attempt));
            scheduler->advance(10ms);
        }
    }
    ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }));
    EXPECT_FALSE(outcome->ok);
    EXPECT_TRUE(outcome->path.empty());
    EXPECT_EQ(hits("/fail"), "6");
    // Tries 0 to 2 over the Qt path, 3 to 5 over the foundation client.
    EXPECT_EQ(book->count(ILogger::Error,
                          "with Error Code: InternalServerError Legacy networking: false"),
              3u);
    EXPECT_EQ(book->count(ILogger::Error, "with Error Code: 500 Legacy networking: true"), 3u);
    EXPECT_TRUE(folderContents().empty());
}

TEST_F(DownloaderPeerTest, FoundationPathSavesTheFileAndFollowsTheRedirect) {
    params.setValue("UseLegacyNetworking", "1");
    auto outcome = download("/file");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok);
    EXPECT_EQ(testsupport::TempDir::read(folder / "applet.zip"), expectedFileBody());
    EXPECT_TRUE(book->contains(ILogger::Info, "Legacy networking: true"));

    // The foundation client follows the redirect to the file itself.
    boost::filesystem::remove(folder / "applet.zip");
    outcome = download("/redirect");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok);
    EXPECT_EQ(testsupport::TempDir::read(folder / "applet.zip"), expectedFileBody());
    EXPECT_EQ(folderContents(), std::vector<std::string>{"applet.zip"});
}

TEST_F(DownloaderPeerTest, GetOnTheFoundationPathPassesTheStatusOn) {
    params.setValue("UseLegacyNetworking", "1");
    EXPECT_EQ(get("/text"), std::make_pair(200, std::string("{\"Version\":\"1.2.3\"}")));
    EXPECT_EQ(get("/forbidden"), std::make_pair(403, std::string("forbidden")));
    EXPECT_EQ(get("/agent"), std::make_pair(200, std::string("Mac OS X 10_13_6")));
}

TEST_F(DownloaderPeerTest, GetReports200OrOneOnTheQtPath) {
    EXPECT_EQ(get("/text"), std::make_pair(200, std::string("{\"Version\":\"1.2.3\"}")));
    EXPECT_EQ(get("/forbidden"), std::make_pair(1, std::string()));
    EXPECT_EQ(get("/redirect"), std::make_pair(1, std::string()));
}

}  // namespace
