#include "common/downloader/Downloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/common/tests/support/FakeQtPlatform.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/common/tests/support/RecordingLogger.h"
#include "testsupport/TempDir.h"

using common::Downloader;
using common::ILogger;
using testsupport::FakeQtPlatform;
using testsupport::ScriptedQtAnswer;
using namespace std::chrono_literals;

namespace {

struct Outcome {
    bool ok = false;
    boost::filesystem::path path;
};

// The Qt path against a scripted Qt platform; the foundation path is covered with the scripted
// foundation client and against a real server elsewhere.
class DownloaderQtTest : public ::testing::Test {
protected:
    void SetUp() override { makeDownloader(); }

    void makeDownloader() {
        downloader = std::make_unique<Downloader>(
            nullptr, platform, params, scheduler->getTaskQueue("AppletDownloader"),
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

    // Files in the folder, by name.
    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : boost::filesystem::directory_iterator(folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    FakeQtPlatform platform;
    testsupport::MemoryParams params;
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    testsupport::TempDir folder;
    std::unique_ptr<Downloader> downloader;
    std::optional<Outcome> outcome;
};

TEST_F(DownloaderQtTest, SuccessWritesTheBodyUnderTheAnnouncedName) {
    start("https://files.test/applet");
    ASSERT_EQ(platform.pending().size(), 1u);
    ASSERT_TRUE(platform.deliver({true,
                                  IHttpQuery::NoError,
                                  {{"Content-Disposition", "attachment; filename=applet.zip"}},
                                  std::string("PK\x03\x04\0body", 9)}));
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok);
    EXPECT_EQ(outcome->path, folder / "applet.zip");
    EXPECT_EQ(testsupport::TempDir::read(folder / "applet.zip"),
              std::string("PK\x03\x04\0body", 9));
    // Nothing else is left in the folder.
    EXPECT_EQ(folderContents(), std::vector<std::string>{"applet.zip"});

    const auto& request = platform.requests.at(0);
    EXPECT_EQ(request.url, "https://files.test/applet");
    EXPECT_EQ(request.operation, IHttpQuery::Get);
    EXPECT_EQ(
        request.headers,
        (std::vector<std::pair<std::string, std::string>>{{"User-Agent", "Mac OS X 10_13_6"}}));
    EXPECT_TRUE(book->contains(ILogger::Info, "download started from: https://files.test/applet"));
    EXPECT_TRUE(book->contains(
        ILogger::Info,
        "download succeeded from: https://files.test/applet Legacy networking: false"));
    EXPECT_EQ(platform.queriesDestroyed, 1);
}

TEST_F(DownloaderQtTest, ExistingFileIsReplacedWhole) {
    folder.write("file", "an older and much longer content");
    start("https://files.test/x");
    platform.deliver({true, IHttpQuery::NoError, {}, "new"});
    ASSERT_TRUE(outcome && outcome->ok);
    EXPECT_EQ(testsupport::TempDir::read(folder / "file"), "new");
}

TEST_F(DownloaderQtTest, MissingFolderIsAWriteFailureWithThePath) {
    downloader->download(
        "https://files.test/x", folder / "missing",
        [this](bool ok, const boost::filesystem::path& path) {
            outcome = Outcome{ok, path};
        },
        0);
    scheduler->runDue();
    platform.deliver({true, IHttpQuery::NoError, {}, "data"});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_EQ(outcome->path, folder / "missing" / "file");
    EXPECT_TRUE(book->contains(ILogger::Error, "downloaded file write failed:"));
}

TEST_F(DownloaderQtTest, TargetThatIsAFolderIsAWriteFailureAndLeavesNothingBehind) {
    boost::filesystem::create_directory(folder / "taken");
    start("https://files.test/x");
    platform.deliver(
        {true, IHttpQuery::NoError, {{"content-disposition", "attachment; filename=taken"}}, "d"});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"taken"});
}

TEST_F(DownloaderQtTest, RedirectThatQtDidNotFollowIsNotSaved) {
    start("https://files.test/moved");
    platform.deliver({true,
                      IHttpQuery::NoError,
                      {{"Location", "https://elsewhere.test/"}},
                      "<html>moved</html>"});
    EXPECT_FALSE(outcome.has_value());
    EXPECT_TRUE(folderContents().empty());
    EXPECT_TRUE(book->contains(ILogger::Error,
                               "Download failed from: https://files.test/moved with Error Code: "
                               "Redirect Legacy networking: false"));
}

TEST_F(DownloaderQtTest, FailuresAreRetriedEveryTwoSecondsAndGiveUpAfterSixTries) {
    // With the parameter set, tries 0 to 2 would go over the foundation path, which this
    // downloader has no environment for; tries 3 to 5 come back to the Qt path.
    params.setValue("UseLegacyNetworking", "1");
    start("https://files.test/x");
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_TRUE(platform.pending().empty());
        scheduler->advance(Downloader::kRetryDelay);
    }
    for (int attempt = 3; attempt < 6; ++attempt) {
        ASSERT_EQ(platform.pending().size(), 1u) << attempt;
        platform.deliver({false, IHttpQuery::InternalServerError, {}, "oops"});
        if (attempt < 5) {
            scheduler->advance(Downloader::kRetryDelay - 10ms);
            EXPECT_TRUE(platform.pending().empty());
            scheduler->advance(10ms);
        }
    }
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_TRUE(outcome->path.empty());
    EXPECT_EQ(book->count(ILogger::Error,
                          "with Error Code: InternalServerError Legacy networking: "
                          "false"),
              3u);
    EXPECT_EQ(book->count(ILogger::Error, "with Error Code: 1 Legacy networking: true"), 3u);
    EXPECT_EQ(book->count(ILogger::Error, "Try to download again from: https://files.test/x"), 5u);
    EXPECT_TRUE(book->contains(ILogger::Error, "try count: 4"));
    EXPECT_FALSE(book->contains(ILogger::Error, "try count: 5"));
    EXPECT_TRUE(folderContents().empty());
    // The folder of the download that failed for good is the one removeTempFolder removes.
    downloader->removeTempFolder();
    EXPECT_FALSE(boost::filesystem::exists(folder.path()));
}

TEST_F(DownloaderQtTest, DownloadStartedAtTheLastTryMakesOneAttemptOnTheOtherPath) {
    params.setValue("UseLegacyNetworking", "1");
    start("https://files.test/x", 5);
    ASSERT_EQ(platform.pending().size(), 1u);
    platform.deliver({false, IHttpQuery::ContentNotFoundError, {}, ""});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    scheduler->advance(10s);
    EXPECT_EQ(platform.queriesCreated, 1);
}

TEST_F(DownloaderQtTest, DestroyedWhileARetryWaitsCallsNothing) {
    start("https://files.test/x");
    platform.deliver({false, IHttpQuery::TimeoutError, {}, ""});
    downloader.reset();
    scheduler->advance(10s);
    EXPECT_FALSE(outcome.has_value());
    EXPECT_EQ(platform.queriesCreated, 1);
}

TEST_F(DownloaderQtTest, DestroyedWhileAQueryRunsCallsNothing) {
    start("https://files.test/x");
    downloader.reset();
    EXPECT_EQ(platform.queriesDestroyed, 1);
    EXPECT_FALSE(platform.deliver({true, IHttpQuery::NoError, {}, "late"}));
    EXPECT_FALSE(outcome.has_value());
}

TEST_F(DownloaderQtTest, CompletionMayDestroyTheDownloader) {
    downloader->download(
        "https://files.test/x", folder.path(),
        [this](bool ok, const boost::filesystem::path& path) {
            outcome = Outcome{ok, path};
            downloader.reset();
        },
        5);
    scheduler->runDue();
    platform.deliver({false, IHttpQuery::ConnectionRefusedError, {}, ""});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(downloader, nullptr);
}

TEST_F(DownloaderQtTest, GetOnTheQtPathReportsOnly200Or1) {
    std::vector<std::pair<int, std::string>> results;
    auto record = [&](const network::HTTPStatusCode& status, const std::string& body) {
        results.emplace_back(static_cast<int>(status), body);
    };
    downloader->get("https://api.test/params", record);
    downloader->get("https://api.test/denied", record);
    downloader->get("https://api.test/moved", record);
    ASSERT_EQ(platform.pending().size(), 3u);
    platform.deliver({true, IHttpQuery::NoError, {}, "{\"a\":1}"});
    platform.deliver({false, IHttpQuery::ContentAccessDenied, {}, "denied"});
    platform.deliver({true, IHttpQuery::NoError, {{"location", "/x"}}, "moved"});
    EXPECT_EQ(results,
              (std::vector<std::pair<int, std::string>>{{200, "{\"a\":1}"}, {1, ""}, {1, ""}}));
    EXPECT_EQ(platform.requests.at(0).headers.at(0).second, "Mac OS X 10_13_6");
    EXPECT_TRUE(book->contains(ILogger::Info, "GET from: https://api.test/params"));
    EXPECT_EQ(platform.queriesDestroyed, 3);
}

TEST(DownloaderNames, ErrorTexts) {
    EXPECT_EQ(Downloader::toString(IHttpQuery::NoError), "NoError");
    EXPECT_EQ(Downloader::toString(IHttpQuery::ContentAccessDenied), "ContentAccessDenied");
    EXPECT_EQ(Downloader::toString(IHttpQuery::ProtocolFailure), "ProtocolFailure");
    EXPECT_EQ(Downloader::toString(IHttpQuery::UnknownServerError), "UnknownServerError");
    EXPECT_EQ(Downloader::toString(static_cast<IHttpQuery::Error>(34)), "UnknownError");
    EXPECT_EQ(Downloader::toString(static_cast<IHttpQuery::Error>(-1)), "UnknownError");
}

TEST(DownloaderNames, ContentDispositionGivesASafeBaseName) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"attachment; filename=applet.zip", "applet.zip"},
        {"attachment; filename=\"applet v2.zip\"", "applet v2.zip"},
        {"attachment; filename=\"a'b.zip\"", "ab.zip"},
        {"attachment; filename='quoted.zip'", "quoted.zip"},
        {"attachment; filename=name.zip; size=10", "name.zip"},
        {"attachment; filename=\"x.zip\"; size=10", "x.zip"},
        {"attachment; filename=../x", "x"},
        {"attachment; filename=\"../../etc/passwd\"", "passwd"},
        {"attachment; filename=/etc/passwd", "passwd"},
        {"attachment; filename=..\\..\\evil.exe", "evil.exe"},
        {"attachment; filename=..", "file"},
        {"attachment; filename=.", "file"},
        {"attachment; filename=a..b", "file"},
        {"attachment; filename=dir/", "file"},
        {"attachment; filename=", "file"},
        {"attachment; filename=\"\"", "file"},
        {"attachment; filename=ev\x01il\n.zip", "evil.zip"},
        {"attachment", "file"},
        {"", "file"},
        {"attachment; filename*=UTF-8''x.zip", "file"},
        {"attachment; filename=" + std::string(300, 'a'), "file"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Downloader::fileNameFromContentDisposition(c.first), c.second) << c.first;
    }
}

}  // namespace
