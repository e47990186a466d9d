#include <grp.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "CollectingSink.h"
#include "common/logger/Logger.h"
#include "common/logsinks/FileSink.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using common::FileSink;
using common::ILogger;
using common::ILoggerSink;
using common::Logger;
using testsupport::TempDir;

namespace {

constexpr unsigned long kRotationSize = 0x100000;

ILoggerSink::Record makeRecord(const std::string& message) {
    const auto now =
        std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
    return ILoggerSink::Record(now, pthread_self(), true, ILogger::Info, "Unattended", "Test",
                               message, "");
}

std::string lineOf(const ILoggerSink::Record& record) {
    return record.toString(23) + "\n";
}

// A file of `size` bytes that begins with "old".
void makeFile(const fs::path& path, unsigned long size) {
    std::ofstream(path.string()).close();
    ASSERT_TRUE(fs::exists(path));
    fs::resize_file(path, size);
    if (size >= 3) {
        FILE* file = std::fopen(path.c_str(), "r+");
        ASSERT_NE(file, nullptr);
        std::fputs("old", file);
        std::fclose(file);
    }
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// The logger started with no sinks, stopped again at the end.
class FileSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::stop();
        Logger::init("Unattended", ILogger::Info);
    }
    void TearDown() override { Logger::stop(); }

    TempDir _dir;
};

}  // namespace

TEST_F(FileSinkTest, RotatesAnOversizedFileToTheFirstFreeName) {
    struct Case {
        const char* title;
        const char* logName;
        long existingSize;  // -1: no log file
        std::vector<std::string> taken;
        unsigned long rotationSize;
        const char* rotatedName;  // null: the file stays in place
    };
    const Case cases[] = {
        {"one byte over", "app.log", 1048577, {}, kRotationSize, "app_0001.log"},
        {"exactly the size", "app.log", 1048576, {}, kRotationSize, nullptr},
        {"numbers taken", "app.log", 11, {"app_0001.log", "app_0002.log"}, 10, "app_0003.log"},
        {"gap", "app.log", 11, {"app_0002.log"}, 10, "app_0001.log"},
        {"other extension", "app.txt", 11, {}, 10, "app_0001.log"},
        {"service log", "Tool.srv.log", 11, {}, 10, "Tool.srv_0001.log"},
        {"empty at size 0", "app.log", 0, {}, 0, nullptr},
        {"no file", "app.log", -1, {}, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        const fs::path path = dir / c.logName;
        std::set<std::string> expectedNames;
        if (c.existingSize >= 0) {
            makeFile(path, static_cast<unsigned long>(c.existingSize));
            expectedNames.insert(c.logName);
        }
        for (const auto& name : c.taken) {
            dir.write(name, "taken\n");
            expectedNames.insert(name);
        }

        FileSink sink(path, c.rotationSize);

        if (c.rotatedName != nullptr) {
            expectedNames.erase(c.logName);
            expectedNames.insert(c.rotatedName);
            EXPECT_FALSE(fs::exists(path));
            ASSERT_TRUE(fs::exists(dir / c.rotatedName));
            EXPECT_EQ(fs::file_size(dir / c.rotatedName),
                      static_cast<boost::uintmax_t>(c.existingSize));
            EXPECT_EQ(TempDir::read(dir / c.rotatedName).substr(0, 3), "old");
        } else if (c.existingSize >= 0) {
            EXPECT_EQ(fs::file_size(path), static_cast<boost::uintmax_t>(c.existingSize));
        }
        EXPECT_EQ(namesIn(dir.path()), expectedNames);
        for (const auto& name : c.taken) {
            EXPECT_EQ(TempDir::read(dir / name), "taken\n");
        }

        // The next line starts a new file, or is appended to the one kept.
        const auto record = makeRecord("after start");
        sink.write(record, 23);
        const std::string content = TempDir::read(path);
        const std::string kept =
            c.rotatedName == nullptr && c.existingSize > 0 ? "old" : std::string();
        EXPECT_EQ(content.substr(0, kept.size()), kept);
        EXPECT_EQ(content.size(), (c.rotatedName != nullptr || c.existingSize < 0
                                       ? 0
                                       : static_cast<std::size_t>(c.existingSize)) +
                                      lineOf(record).size());
        EXPECT_EQ(content.substr(content.size() - lineOf(record).size()), lineOf(record));
    }
}

TEST_F(FileSinkTest, RotationNamesHaveAtLeastFourDigits) {
    struct Case {
        unsigned long number;
        const char* name;
    };
    const Case cases[] = {{1, "x_0001.log"},
                          {42, "x_0042.log"},
                          {9999, "x_9999.log"},
                          {10000, "x_10000.log"},
                          {1234567, "x_1234567.log"}};
    for (const auto& c : cases) {
        EXPECT_EQ(FileSink::rotationPath("/var/log/x.log", c.number),
                  fs::path("/var/log") / c.name);
    }
}

TEST_F(FileSinkTest, AppendsLinesToAFileCreatedWhenMissing) {
    const fs::path path = _dir / "app.log";
    FileSink sink(path, kRotationSize);
    EXPECT_EQ(sink.getName(), "FileSink");
    EXPECT_FALSE(sink.getLevel());
    EXPECT_FALSE(fs::exists(path));

    const auto first = makeRecord("first");
    const auto second = makeRecord("second with a \\ backslash");
    sink.writeNewLine();
    sink.write(first, 23);
    sink.write(second, 23);
    EXPECT_EQ(TempDir::read(path), "\n\n" + lineOf(first) + lineOf(second));

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0644 & ~mask);

    // Moved away between two lines: the next line starts a new file.
    fs::rename(path, _dir / "moved.log");
    sink.write(first, 23);
    EXPECT_EQ(TempDir::read(path), lineOf(first));

    // A relative path is made absolute against the current folder.
    FileSink relative("relative-name.log", kRotationSize);
    EXPECT_EQ(relative.getPath(), fs::current_path() / "relative-name.log");
}

TEST_F(FileSinkTest, AFileThatCannotBeOpenedLosesTheLine) {
    const fs::path path = _dir / "missing-folder" / "app.log";
    FileSink sink(path, kRotationSize);
    EXPECT_NO_THROW(sink.writeNewLine());
    EXPECT_NO_THROW(sink.write(makeRecord("lost"), 23));
    EXPECT_FALSE(fs::exists(path.parent_path()));
}

// No user writes through a link planted at the log path (the folder is writable by everybody).
TEST_F(FileSinkTest, NoUserWritesThroughALinkAtTheLogPath) {
    for (const bool runningAsRoot : {true, false}) {
        SCOPED_TRACE(runningAsRoot);
        TempDir dir;
        const fs::path target = dir.write("protected", "secret\n");
        const fs::path path = dir / "app.log";
        fs::create_symlink(target, path);

        FileSink sink(path, kRotationSize, runningAsRoot);
        sink.writeNewLine();
        sink.write(makeRecord("through the link?"), 23);

        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path)));
        EXPECT_EQ(TempDir::read(target), "secret\n");
    }
}

// A FIFO planted at the log path must not block the writer thread (which holds the logger's
// lock, and with it every thread that logs) of any user: the record is lost instead.
TEST_F(FileSinkTest, NoUserBlocksOnAFifoAtTheLogPath) {
    for (const bool runningAsRoot : {true, false}) {
        SCOPED_TRACE(runningAsRoot);
        TempDir dir;
        const fs::path path = dir / "app.log";
        ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
        FileSink sink(path, kRotationSize, runningAsRoot);

        std::mutex mutex;
        std::condition_variable done;
        bool returned = false;
        std::thread writer([&] {
            sink.writeNewLine();
            sink.write(makeRecord("into the fifo?"), 23);
            std::lock_guard<std::mutex> lock(mutex);
            returned = true;
            done.notify_all();
        });
        {
            std::unique_lock<std::mutex> lock(mutex);
            done.wait_for(lock, std::chrono::seconds(10), [&] { return returned; });
        }
        EXPECT_TRUE(returned) << "the writer blocks on the FIFO";
        if (!returned) {
            // Release the blocked writer: a reader lets its open return.
            const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
            writer.join();
            ::close(reader);
        } else {
            writer.join();
        }
        EXPECT_EQ(fs::status(path).type(), fs::fifo_file);
    }
}

// Root appends only to a file of its own without other names: a hard link planted at the log
// path, or a file of another user, is moved aside and the log starts anew for root only.
TEST_F(FileSinkTest, RootMovesAsideAFileWithAnotherLinkOrOwner) {
    struct Case {
        const char* name;
        bool hardLink;
    };
    for (const Case c : {Case{"hard link", true}, Case{"other owner", false}}) {
        SCOPED_TRACE(c.name);
        if (!c.hardLink && ::geteuid() != 0) {
            continue;  // only root can give a file to another user
        }
        TempDir dir;
        const fs::path target = dir.write("protected", "secret\n");
        const fs::path path = dir / "app.log";
        if (c.hardLink) {
            fs::create_hard_link(target, path);
        } else {
            dir.write("app.log", "planted\n");
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        }
        FileSink sink(path, kRotationSize, true);
        const auto record = makeRecord("root's line");
        sink.write(record, 23);
        sink.write(record, 23);

        EXPECT_EQ(TempDir::read(target), "secret\n");
        EXPECT_EQ(TempDir::read(path), lineOf(record) + lineOf(record));
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_nlink, 1u);
        EXPECT_EQ(info.st_uid, ::geteuid());
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(TempDir::read(dir / "app.log.bad"), c.hardLink ? "secret\n" : "planted\n");
    }
    // Another user's program appends to its file with links as before.
    TempDir dir;
    const fs::path target = dir.write("own", "mine\n");
    const fs::path path = dir / "app.log";
    fs::create_hard_link(target, path);
    FileSink sink(path, kRotationSize, false);
    const auto record = makeRecord("user's line");
    sink.write(record, 23);
    EXPECT_EQ(TempDir::read(target), "mine\n" + lineOf(record));
}

// A message cannot forge a line of its own: control characters are escaped in the file line.
TEST_F(FileSinkTest, ControlCharactersInAMessageStayOnItsLine) {
    const fs::path path = _dir / "app.log";
    FileSink sink(path, kRotationSize);
    sink.write(makeRecord(std::string("one\n[ 2024-01-01 ][ forged ]\r\x01\x7f\tend", 35)), 23);
    const std::string content = TempDir::read(path);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 1) << content;
    EXPECT_NE(content.find(" - one\\n[ 2024-01-01 ][ forged ]\\r\\x01\\x7f\\tend\n"),
              std::string::npos)
        << content;
}

TEST_F(FileSinkTest, AddingTheSinkTwiceKeepsOneAndSeparatesTheRuns) {
    const fs::path path = _dir / "app.log";
    Logger::addSink(std::make_shared<FileSink>(path, kRotationSize), true);
    Logger::addSink(std::make_shared<FileSink>(path, kRotationSize), true);
    ILogger::create("Test")->info("written %s", "once");
    Logger::stop();  // writes what was queued

    const std::string content = TempDir::read(path);
    ASSERT_EQ(content.substr(0, 4), "\n\n\n\n");
    const std::string rest = content.substr(4);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 1);
    EXPECT_NE(rest.find("] - written once\n"), std::string::npos);
    EXPECT_NE(rest.find("[ Unattended ]"), std::string::npos);
}

// A rotation that fails is reported, the constructor does not throw and lines are appended to
// the file that is there.
TEST_F(FileSinkTest, FailedRotationIsReportedAndTheFileIsAppendedTo) {
    struct Case {
        const char* title;
        std::string logName;  // below the folder
        bool isFolder;        // a folder at the log path: nothing can be written
    };
    const Case cases[] = {
        // "<stem>_0001.log" is one character longer than a file name may be.
        {"rotation name too long", std::string(247, 'a') + ".log", false},
        {"folder at the log path", "app.log", true},
    };
    auto collecting = std::make_shared<logsinkstest::CollectingSink>();
    Logger::addSink(collecting, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        const fs::path path = dir / c.logName;
        if (c.isFolder) {
            fs::create_directories(path / "inside");
        } else {
            makeFile(path, 11);
        }

        ::testing::internal::CaptureStderr();
        std::unique_ptr<FileSink> sink;
        EXPECT_NO_THROW(sink = std::make_unique<FileSink>(path, 10));
        const std::string stderrText = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(stderrText.find("FileSink: failed to rotate log file \"" + path.string() + "\""),
                  std::string::npos)
            << stderrText;
        ASSERT_TRUE(sink);

        const auto record = makeRecord("still logging");
        EXPECT_NO_THROW(sink->write(record, 23));
        if (c.isFolder) {
            EXPECT_TRUE(fs::is_directory(path));
        } else {
            const std::string content = TempDir::read(path);
            ASSERT_EQ(content.size(), 11 + lineOf(record).size());
            EXPECT_EQ(content.substr(0, 3), "old");
            EXPECT_EQ(content.substr(11), lineOf(record));
        }
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{c.logName});
    }
    ASSERT_TRUE(collecting->waitForFacility("FileSink"));
    Logger::stop();
    std::size_t reports = 0;
    for (const auto& record : collecting->waitForRecords(0)) {
        if (record._facility == "FileSink") {
            ++reports;
            EXPECT_EQ(record._level, ILogger::Error);
            EXPECT_NE(record._message.find("failed to rotate log file"), std::string::npos);
        }
    }
    EXPECT_EQ(reports, std::size(cases));
}

// A refused rename (a folder the program may not change) keeps the old file, which is appended
// to. Run in a child without root rights, since root may rename anywhere.
TEST(FileSinkDeathTest, RefusedRenameKeepsAppendingToTheOldFile) {
    TempDir dir;
    const fs::path folder = dir / "logs";
    fs::create_directories(folder);
    const fs::path path = folder / "app.log";
    makeFile(path, 11);
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), nobody, nobody), 0);
    }
    const auto record = makeRecord("appended");

    EXPECT_EXIT(
        {
            if (root &&
                (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
                ::_exit(2);
            }
            FileSink sink(path, 10);
            sink.write(record, 23);
            const std::string content = TempDir::read(path);
            const bool appended = content.size() == 11 + lineOf(record).size() &&
                                  content.substr(11) == lineOf(record);
            ::_exit(appended && !fs::exists(folder / "app_0001.log") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "failed to rotate log file .*rename to");
    ::chmod(folder.c_str(), 0755);
}
