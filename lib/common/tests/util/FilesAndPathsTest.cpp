#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <string>
#include <thread>
#include <vector>

#include "common/util/Util.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
namespace util = common::util;

TEST(SaveContentTest, WritesTextAndLineFeedAndTruncates) {
    testsupport::TempDir dir;
    const fs::path file = dir / "params.json";
    dir.write("params.json", "a much longer old content");
    EXPECT_TRUE(util::saveContentToFile(file, "x"));
    EXPECT_EQ(testsupport::TempDir::read(file), "x\n");
    EXPECT_TRUE(util::saveContentToFile(file, std::string("ab\0cd", 5)));
    EXPECT_EQ(testsupport::TempDir::read(file), "ab\n");
}

TEST(SaveContentTest, FailuresAreReported) {
    testsupport::TempDir dir;
    EXPECT_FALSE(util::saveContentToFile(fs::path(), "x"));
    EXPECT_FALSE(util::saveContentToFile(dir / "missing" / "file", "x"));
    EXPECT_FALSE(util::saveContentToFile(dir.path(), "x"));
    // The device accepts the open but fails every write.
    EXPECT_FALSE(util::saveContentToFile("/dev/full", "x"));
}

TEST(PathsTest, ApplicationMainPathOfBundlesAndPlainPrograms) {
    testsupport::TempDir dir;
    fs::create_directories(dir / "Apps/Tool.app/Contents/MacOS");
    fs::create_directories(dir / "bin/Contents/MacOS");
    struct Case {
        fs::path executable;
        fs::path expected;
    };
    const fs::path root = fs::canonical(dir.path());
    const Case cases[] = {
        {root / "Apps/Tool.app/Contents/MacOS/Tool", root / "Apps"},
        {root / "bin/Tool", root / "bin"},
        {root / "bin/Contents/MacOS/Tool", root / "bin/Contents/MacOS"},
        {fs::path("/opt/X.app/Contents/MacOS/exe"), fs::path("/opt")},
        // Paths that are not canonical yet.
        {root / "bin/../bin/Tool", root / "bin"},
        {root / "Apps/./Tool.app/Contents/MacOS/Tool", root / "Apps"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::getApplicationMainPath(c.executable), c.expected) << c.executable;
    }
}

TEST(PathsTest, ExecutableLocations) {
    const fs::path executable = util::getExecutablePathAndFilename();
    EXPECT_EQ(executable, fs::canonical("/proc/self/exe"));
    EXPECT_EQ(util::getExecutablePath(), executable.parent_path());
    EXPECT_EQ(util::getApplicationMainPath(), executable.parent_path());
}

TEST(PathsTest, UserWritePathIsCreatedSharedWithStickyBit) {
    testsupport::TempDir dir;
    const mode_t previous = ::umask(077);
    const fs::path first = util::getUserWritePath(dir.path());
    ::umask(previous);
    ASSERT_EQ(first, dir / "appdata");
    struct stat info {};
    ASSERT_EQ(::stat(first.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 01777u);
    EXPECT_EQ(util::getUserWritePath(dir.path()), first);

    // Missing parents are created too.
    EXPECT_EQ(util::getUserWritePath(dir / "a/b"), dir / "a/b/appdata");
    EXPECT_TRUE(fs::is_directory(dir / "a/b/appdata"));
}

// The failure reaches the caller as an exception: an empty path would let a caller that builds
// "<path>/name.log" on it write into the working folder.
TEST(PathsTest, UserWritePathThatCannotBeCreatedRaisesTheFilesystemError) {
    testsupport::TempDir dir;
    const fs::path file = dir.write("plainfile", "x");
    EXPECT_THROW(util::getUserWritePath(file), fs::filesystem_error);
    EXPECT_THROW(util::getUserWritePath(file / "below"), fs::filesystem_error);
    EXPECT_FALSE(fs::exists(fs::path("appdata")));
}

// A user who may not write the program's folder gets the filesystem error, not a crash.
TEST(PathsTest, UserWritePathOfAUserWithoutWriteAccessRaises) {
    testsupport::TempDir dir;
    const fs::path mainPath = dir / "program";
    fs::create_directories(mainPath);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(mainPath.c_str(), 0755), 0);
    const uid_t nobody = 65534;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Root would be allowed anyway: the child drops to an unprivileged user first.
        if (::getuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
            ::_exit(2);
        }
        if (::access(mainPath.c_str(), W_OK) == 0) {
            ::_exit(3);  // the folder is writable after all: nothing to show
        }
        try {
            util::getUserWritePath(mainPath);
        } catch (const fs::filesystem_error&) {
            ::_exit(0);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2 || WEXITSTATUS(status) == 3) {
        GTEST_SKIP() << "no unprivileged user to test with";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(mainPath / "appdata"));
}

// Processes that start together all get the folder, whichever of them created it.
TEST(PathsTest, UserWritePathCreatedConcurrently) {
    testsupport::TempDir dir;
    for (int round = 0; round < 20; ++round) {
        const fs::path mainPath = dir / std::to_string(round);
        std::vector<fs::path> results(8);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < results.size(); ++t) {
            threads.emplace_back([&, t] { results[t] = util::getUserWritePath(mainPath); });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        for (const auto& result : results) {
            EXPECT_EQ(result, mainPath / "appdata");
        }
    }
}

TEST(PathsTest, WorkingPath) {
    testsupport::TempDir dir;
    const fs::path before = util::getWorkingPath();
    EXPECT_EQ(before, fs::current_path());
    util::setWorkingPath(dir / "missing");
    EXPECT_EQ(util::getWorkingPath(), before);
    util::setWorkingPath(dir.path());
    EXPECT_EQ(util::getWorkingPath(), fs::canonical(dir.path()));
    util::setWorkingPath(before);
    EXPECT_EQ(util::getWorkingPath(), before);
}
