// The downloader's foundation path against the scripted foundation HTTP client, and a download
// that fails on both paths.

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/downloader/Downloader.h"
#include "lib/common/tests/support/FakeQtPlatform.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/common/tests/support/RecordingLogger.h"
#include "lib/common/tests/support/ScriptedNetwork.h"
#include "testsupport/TempDir.h"

using common::Downloader;
using common::ILogger;
using testsupport::ScriptedHTTPAnswer;
using namespace std::chrono_literals;

namespace {

struct Outcome {
    bool ok = false;
    boost::filesystem::path path;
};

class DownloaderFoundationTest : public ::testing::Test {
protected:
    void SetUp() override {
        params.setValue("UseLegacyNetworking", "1");
        downloader = std::make_unique<Downloader>(
            network->makeEnvironment(), platform, params,
            scheduler->getTaskQueue("UpdateDownloader"),
            std::make_unique<testsupport::RecordingLogger>("Downloader", book));
    }

    void start(const std::string& url, unsigned int tries = 0) {
        downloader->download(
            url, folder.path(),
            [this](bool ok, const boost::filesystem::path& path) {
                EXPECT_FALSE(outcome.has_value()) << "completion called twice";
                outcome = Outcome{ok, path};
            },
            tries);
        scheduler->runDue();
    }

    std::shared_ptr<testsupport::ScriptedNetwork> network =
        std::make_shared<testsupport::ScriptedNetwork>();
    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    testsupport::FakeQtPlatform platform;
    testsupport::MemoryParams params;
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    testsupport::TempDir folder;
    std::unique_ptr<Downloader> downloader;
    std::optional<Outcome> outcome;
};

TEST_F(DownloaderFoundationTest, SuccessWritesTheBodyUnderTheAnnouncedName) {
    network->script(ScriptedHTTPAnswer::http(
        200, "archive bytes", {{"content-disposition", "attachment; filename=\"update.zip\""}}));
    start("https://files.test/update");
    ASSERT_EQ(network->pending(), 1u);
    EXPECT_FALSE(outcome.has_value());
    network->poll();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok);
    EXPECT_EQ(outcome->path, folder / "update.zip");
    EXPECT_EQ(testsupport::TempDir::read(folder / "update.zip"), "archive bytes");

    const auto& request = network->requests().at(0);
    EXPECT_EQ(request.url, "https://files.test/update");
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.headerCount("User-Agent"), 1u);
    EXPECT_EQ(request.header("User-Agent"), "Mac OS X 10_13_6");
    EXPECT_TRUE(book->contains(
        ILogger::Info,
        "download succeeded from: https://files.test/update Legacy networking: true"));
    EXPECT_EQ(platform.queriesCreated, 0);
}

TEST_F(DownloaderFoundationTest, AnyStatusBut200IsAFailureWithTheStatusAsText) {
    const std::vector<std::pair<ScriptedHTTPAnswer, std::string>> cases = {
        {ScriptedHTTPAnswer::http(404, "not here"), "404"},
        {ScriptedHTTPAnswer::http(302, "moved", {{"Location", "/elsewhere"}}), "302"},
        {ScriptedHTTPAnswer::http(204), "204"},
        {ScriptedHTTPAnswer::transport(network::ConnectFailed), "3"},
        {ScriptedHTTPAnswer::transport(network::TransferFailed), "5"},
        {ScriptedHTTPAnswer::http(200, "", {}), ""},  // replaced below: 200 without response
    };
    for (auto c : cases) {
        if (c.second.empty()) {
            c.first.withResponse = false;
            c.second = "200";
        }
        SCOPED_TRACE(c.second);
        outcome.reset();
        book->clear();
        network->script(c.first);
        // The last try on the foundation path: the parameter selects the Qt path.
        params.setValue("UseLegacyNetworking", "0");
        start("https://files.test/x", 5);
        network->poll();
        ASSERT_TRUE(outcome.has_value());
        EXPECT_FALSE(outcome->ok);
        EXPECT_TRUE(outcome->path.empty());
        EXPECT_TRUE(book->contains(ILogger::Error,
                                   "with Error Code: " + c.second + " Legacy networking: true"));
    }
    EXPECT_TRUE(boost::filesystem::is_empty(folder.path()));
}

TEST_F(DownloaderFoundationTest, ServerThatAlwaysFailsIsTriedSixTimesAcrossBothPaths) {
    params.setValue("UseLegacyNetworking", "0");
    network->setDefault(ScriptedHTTPAnswer::http(500, "server error"));
    start("https://files.test/x");
    std::vector<std::string> paths;
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (attempt < 3) {
            ASSERT_EQ(platform.pending().size(), 1u) << attempt;
            ASSERT_EQ(network->pending(), 0u) << attempt;
            platform.deliver({false, IHttpQuery::InternalServerError, {}, "server error"});
        } else {
            ASSERT_EQ(network->pending(), 1u) << attempt;
            ASSERT_TRUE(platform.pending().empty()) << attempt;
            network->poll();
        }
        if (attempt < 5) {
            // The next try comes 2000 ms after the failure, not earlier.
            scheduler->advance(Downloader::kRetryDelay - 10ms);
            EXPECT_TRUE(platform.pending().empty() && network->pending() == 0) << attempt;
            scheduler->advance(10ms);
        }
    }
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_TRUE(outcome->path.empty());
    EXPECT_EQ(book->count(ILogger::Error,
                          "with Error Code: InternalServerError Legacy networking: false"),
              3u);
    EXPECT_EQ(book->count(ILogger::Error, "with Error Code: 500 Legacy networking: true"), 3u);
    EXPECT_EQ(network->requests().size(), 3u);
    EXPECT_EQ(platform.queriesCreated, 3);
    scheduler->advance(10s);
    EXPECT_EQ(network->requests().size(), 3u);
    EXPECT_EQ(platform.queriesCreated, 3);
}

TEST_F(DownloaderFoundationTest, CompletionAfterTheDownloaderIsGoneDoesNothing) {
    network->script(ScriptedHTTPAnswer::http(200, "late", {}));
    start("https://files.test/x");
    downloader->get("https://api.test/x", [this](const network::HTTPStatusCode&,
                                                 const std::string&) { outcome = Outcome{}; });
    ASSERT_EQ(network->pending(), 2u);
    downloader.reset();
    EXPECT_EQ(network->poll(), 2u);
    EXPECT_FALSE(outcome.has_value());
    EXPECT_TRUE(boost::filesystem::is_empty(folder.path()));
}

TEST_F(DownloaderFoundationTest, GetPassesEveryStatusOn) {
    network->script(ScriptedHTTPAnswer::http(200, "{\"a\":1}"));
    network->script(ScriptedHTTPAnswer::http(404, "missing"));
    network->script(ScriptedHTTPAnswer::transport(network::ConnectFailed));
    std::vector<std::pair<int, std::string>> results;
    for (int i = 0; i < 3; ++i) {
        downloader->get("https://api.test/" + std::to_string(i),
                        [&](const network::HTTPStatusCode& status, const std::string& body) {
                            results.emplace_back(static_cast<int>(status), body);
                        });
    }
    EXPECT_TRUE(results.empty());
    network->poll();
    EXPECT_EQ(results, (std::vector<std::pair<int, std::string>>{
                           {200, "{\"a\":1}"}, {404, "missing"}, {3, ""}}));
    EXPECT_TRUE(book->contains(ILogger::Warning, "Response is empty. StatusCode: 3"));
    EXPECT_EQ(network->requests().at(0).header("User-Agent"), "Mac OS X 10_13_6");
}

}  // namespace
