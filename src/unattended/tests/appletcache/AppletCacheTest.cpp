#include "unattended/appletcache/AppletCache.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include "FakeDownloader.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using corvalis::unattended::AppletCache;
using unattendedtest::FakeDownloader;

namespace {

class Cache : public testing::Test {
protected:
    Cache() {
        _served.files["http://b/plain.zip"] = {"plain.zip", "plain"};
        _served.files["http://b/bin/7.zip"] = {"applet-7.zip", "seven"};
        _served.texts["http://b/params"] = {200, R"({"p":1})"};
    }

    std::pair<fs::path, std::string> download(const std::string& binaries,
                                              const std::string& params,
                                              const std::string& version) {
        AppletCache cache(std::make_unique<FakeDownloader>(_served), _dir.path());
        std::pair<fs::path, std::string> result;
        int calls = 0;
        cache.download("http://b/plain.zip", binaries, params, version,
                       [&](const fs::path& archive, const std::string& text) {
                           ++calls;
                           result = {archive, text};
                       });
        EXPECT_EQ(calls, 1);
        return result;
    }

    testsupport::TempDir _dir;
    FakeDownloader::Served _served;
};

}  // namespace

TEST_F(Cache, AVersionIsDownloadedOnceThenOnlyItsParameters) {
    auto first = download("http://b/bin/7.zip", "http://b/params", "7");
    EXPECT_EQ(first.first, _dir / "downloads/7/applet-7.zip");
    EXPECT_EQ(first.second, R"({"p":1})");
    auto second = download("http://b/bin/7.zip", "http://b/params", "7");
    EXPECT_EQ(second, first);
    EXPECT_EQ(_served.requests,
              (std::vector<std::string>{"download http://b/bin/7.zip", "get http://b/params",
                                        "get http://b/params"}));
}

TEST_F(Cache, FallsBackToThePlainAddressWithoutParameters) {
    const struct {
        const char* name;
        std::string binaries, params, version;
    } cases[] = {
        {"no version", "http://b/bin/7.zip", "http://b/params", ""},
        {"no binaries address", "", "http://b/params", "7"},
        {"binaries that fail", "http://b/bin/missing.zip", "http://b/params", "7"},
        {"parameters that fail", "http://b/bin/7.zip", "http://b/params-404", "7"},
        {"a version that is no folder name", "http://b/bin/7.zip", "http://b/params", "../x"},
        {"a version that is a dot", "http://b/bin/7.zip", "http://b/params", "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = download(c.binaries, c.params, c.version);
        EXPECT_EQ(result.first.filename(), "plain.zip");
        EXPECT_EQ(result.first.parent_path().parent_path(), _dir / "downloads");
        EXPECT_EQ(result.second, "");
    }
    EXPECT_FALSE(fs::exists(_dir / "x"));
    _served.texts["http://b/empty"] = {200, ""};
    EXPECT_EQ(download("http://b/bin/7.zip", "http://b/empty", "7").second, "");
}

TEST_F(Cache, AFolderWithMoreThanOneFileIsNoCacheEntry) {
    _dir.write("downloads/7/one.zip", "1");
    _dir.write("downloads/7/two.zip", "2");
    const auto result = download("http://b/bin/7.zip", "http://b/params", "7");
    EXPECT_EQ(result.first, _dir / "downloads/7/applet-7.zip");
    EXPECT_FALSE(fs::exists(_dir / "downloads/7/one.zip"));
    EXPECT_EQ(download("http://b/bin/7.zip", "http://b/params", "7").first, result.first);
}

TEST_F(Cache, DownloadOnlyFillsTheCacheOnce) {
    AppletCache cache(std::make_unique<FakeDownloader>(_served), _dir.path());
    cache.downloadAppletOnly("http://b/bin/7.zip", "7");
    cache.downloadAppletOnly("http://b/bin/7.zip", "7");
    cache.downloadAppletOnly("", "7");
    cache.downloadAppletOnly("http://b/bin/7.zip", "");
    cache.downloadAppletOnly("http://b/bin/7.zip", "..");
    EXPECT_EQ(_served.requests, std::vector<std::string>{"download http://b/bin/7.zip"});
    EXPECT_TRUE(fs::exists(_dir / "downloads/7/applet-7.zip"));
}
