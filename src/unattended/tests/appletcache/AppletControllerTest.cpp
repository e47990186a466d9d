#include "unattended/appletcontroller/AppletController.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <boost/filesystem/operations.hpp>

#include <chrono>

#include "FakeDownloader.h"
#include "common/logger/ILogger.h"
#include "common/params/JsonFileParams.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "platform/process/Process.h"
#include "platform/tests/archive/MakeZip.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"
#include "unattended/appletcache/AppletCache.h"
#include "unattended/updatecontroller/UpdateController.h"

namespace fs = boost::filesystem;
using corvalis::unattended::AppletCache;
using corvalis::unattended::AppletController;
using corvalis::unattended::UpdateController;
using unattendedtest::FakeDownloader;

namespace {

const char kRecordingDaemon[] =
    "#!/bin/sh\n"
    "here=$(cd \"$(dirname \"$0\")\" && pwd)\n"
    "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$here/../../../arguments.txt\"\n"
    "exit 0\n";

// The bytes of a zip archive made from (name, content, mode) entries written as a Python list.
std::string makeZip(const testsupport::TempDir& dir, const std::string& entries) {
    const fs::path archive = dir / "made.zip";
    EXPECT_TRUE(testsupport::makeZip(archive, entries));
    return testsupport::TempDir::read(archive);
}

std::string appletZip(const testsupport::TempDir& dir) {
    return makeZip(dir, std::string("[('OrvantaRemoteSupport.app/Contents/MacOS/"
                                    "OrvantaRemoteSupportDaemon', ") +
                            "'''" + kRecordingDaemon + "''', 0o100755)]");
}

class Controllers : public testing::Test {
protected:
    Controllers()
        : _root("ORV_SYSTEM_ROOT", (_dir / "root").string()),
          _params(_dir / "unattended.json"),
          _scheduler(common::TaskScheduler::create(std::chrono::milliseconds(1),
                                                   common::ILogger::create("TaskScheduler"))) {
        fs::create_directories(_dir / "root/var/tmp");
    }

    void startApplet(const std::string& url, const std::string& binaries, const std::string& params,
                     const std::string& version) {
        AppletController controller(
            _scheduler->getTaskQueue("AppletController"),
            std::make_unique<AppletCache>(std::make_unique<FakeDownloader>(_served), _dir / "main"),
            _params, common::ILogger::create("AppletController"));
        controller.startApplet(url, binaries, params, version);
        _scheduler->runTasksUntil([&] { return _scheduler->getTasksSize() > 0; });
    }

    // The install folders made under the system root's /var/tmp.
    std::vector<fs::path> installFolders() const {
        std::vector<fs::path> folders;
        for (fs::directory_iterator it(_dir / "root/var/tmp"), end; it != end; ++it) {
            folders.push_back(it->path());
        }
        return folders;
    }

    testsupport::TempDir _dir;
    testsupport::ScopedEnv _root;
    common::JsonFileParams _params;
    std::shared_ptr<common::ITaskScheduler> _scheduler;
    FakeDownloader::Served _served;
};

}  // namespace

TEST_F(Controllers, StartsTheAppletDaemonWithTheSafeStoreAndItsParameters) {
    _params.setValue("Encrypted", "abc+/= \"'$(x)");
    _served.files["http://b/a.zip"] = {"a.zip", appletZip(_dir)};
    _served.files["http://b/bin.zip"] = {"bin.zip", appletZip(_dir)};
    _served.texts["http://b/params"] = {200, R"({"from":"backend"})"};

    startApplet("http://b/a.zip", "", "", "");
    startApplet("http://b/a.zip", "http://b/bin.zip", "http://b/params", "3.1");
    const auto folders = installFolders();
    ASSERT_EQ(folders.size(), 2u);
    for (const auto& folder : folders) {
        EXPECT_EQ(folder.filename().string().rfind("Orvanta Remote Support Applet - ", 0), 0u);
        EXPECT_EQ(folder.filename().string().size(), 38u);
        // No Salt stored: an empty argument, not a missing one.
        EXPECT_EQ(testsupport::TempDir::read(folder / "arguments.txt"),
                  "[-regsvc]\n[-Encrypted]\n[abc+/= \"'$(x)]\n[-Salt]\n[]\n");
        const std::string params = testsupport::TempDir::read(folder / "params.json");
        EXPECT_TRUE(params == "\n" || params == "{\"from\":\"backend\"}\n") << params;
    }
}

TEST_F(Controllers, HostileArchivesChangeNothingOutsideAndRunNothing) {
    const struct {
        const char* name;
        std::string entries;
    } cases[] = {
        {"parent", "[('../escaped', 'x', 0o100644)]"},
        {"absolute", "[('" + (_dir / "escaped").string() + "', 'x', 0o100644)]"},
        {"symbolic link",
         "[('OrvantaRemoteSupport.app', '" + (_dir / "elsewhere").string() + "', 0o120777)]"},
        {"not an archive", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        _served.files["http://b/a.zip"] = {
            "a.zip", c.entries.empty() ? "not a zip" : makeZip(_dir, c.entries)};
        startApplet("http://b/a.zip", "", "", "");
    }
    EXPECT_FALSE(fs::exists(_dir / "escaped"));
    EXPECT_FALSE(fs::exists(_dir / "root/var/escaped"));
    for (const auto& folder : installFolders()) {
        EXPECT_TRUE(fs::is_empty(folder)) << folder;
    }
}

TEST_F(Controllers, SelfUpdateUnpacksAGoodArchiveAndLeavesTheFolderOnABadOne) {
    _dir.write("main/program", "old");
    // A stored entry whose data no longer matches its checksum.
    std::string damaged = makeZip(_dir, "[('program', 'damaged content', 0o100644)]");
    damaged[30 + 7 + 2] ^= 0x20;
    const struct {
        const char* name;
        std::string bytes;
        bool ok;
        std::string text;
    } cases[] = {
        {"download fails", "", false, "Failed to download unattended installer"},
        {"damaged", damaged, false, "test failed with exit code: "},
        {"not an archive", "PK\x03\x04 damaged", false, "refused: "},
        {"leaves the folder", makeZip(_dir, "[('../program', 'evil', 0o100644)]"), false,
         "refused: "},
        {"good", makeZip(_dir, "[('program', 'new', 0o100755)]"), true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        _served.files.erase("http://b/u.zip");
        if (!c.bytes.empty()) {
            _served.files["http://b/u.zip"] = {"update.zip", c.bytes};
        }
        UpdateController update(_scheduler->getTaskQueue("UpdateController"),
                                std::make_unique<FakeDownloader>(_served),
                                common::ILogger::create("UpdateController"), _dir / "main");
        int calls = 0;
        update.downloadAndInstallUpdate(
            "http://b/u.zip", L"svc", [&](bool ok, const std::string& text) {
                ++calls;
                EXPECT_EQ(ok, c.ok);
                if (c.ok) {
                    EXPECT_EQ(text, "");
                } else {
                    EXPECT_NE(text.find(c.text), std::string::npos) << text;
                }
            });
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(testsupport::TempDir::read(_dir / "main/program"), c.ok ? "new" : "old");
    }
    EXPECT_EQ(testsupport::TempDir::read(_dir / "evil"), "");
    EXPECT_TRUE(fs::exists(_dir / "main/update.zip"));
}
