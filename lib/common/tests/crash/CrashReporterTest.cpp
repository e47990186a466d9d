#include <signal.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "../support/LogCapture.h"
#include "../telemetrysupport/MonitoringStub.h"
#include "common/crash/CrashReport.h"
#include "common/crash/CrashReportDatabase.h"
#include "common/crash/CrashReportWriter.h"
#include "common/crash/SetupCrashHandler.h"
#include "common/util/Util.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "platform/process/Process.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using common::CrashReport;
using common::CrashReportDatabase;
using telemetrytest::MonitoringStub;
using testing::HasSubstr;
using testsupport::MemoryParams;

namespace {

std::string percentDecoded(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            decoded.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

TEST(CrashReporterTest, UploadUrlKeepsTheMonitoringUrlAndEncodesTheToken) {
    struct Case {
        const char* url;
        const char* token;
        const char* expected;
    } cases[] = {
        {"https://m.example", "abc-1_2.3~", "https://m.example/api/dump?token=abc-1_2.3~"},
        {"https://m.example/", "t", "https://m.example//api/dump?token=t"},
        {"http://h", "a+b/c=&d e", "http://h/api/dump?token=a%2Bb%2Fc%3D%26d%20e"},
        {"http://h", "\n\xff", "http://h/api/dump?token=%0A%FF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(common::crashUploadUrl(c.url, c.token), c.expected);
    }
}

TEST(CrashReporterTest, MissingMonitoringSettingsStartNothing) {
    auto logs = testsupport::LogCapture::install();
    const fs::path database = common::util::getUserWritePath() / "NoTokenCrashReportDB";
    MemoryParams params(std::map<std::string, std::string>{{"MonitoringUrl", "https://m.example"}});
    EXPECT_FALSE(common::setupCrashHandler(params, "NoToken", {}));
    EXPECT_FALSE(fs::exists(database));
    EXPECT_EQ(logs->count(common::ILogger::Warning,
                          "Missing parameter for Crash Handler: ServiceUrl and MonitoringToken"),
              1u);
}

TEST(CrashReporterTest, MissingHandlerProgramIsReportedAndLeavesTheWorkingFolder) {
    // No crashpad_handler lies beside the test program.
    auto logs = testsupport::LogCapture::install();
    const fs::path before = fs::current_path();
    MemoryParams params({{"MonitoringUrl", "https://m.example"}, {"MonitoringToken", "t"}});
    EXPECT_FALSE(common::setupCrashHandler(params, "NoHandler", {}));
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_EQ(
        logs->count(common::ILogger::Warning, "Crash Handler executable is not on expected path!"),
        1u);
}

__attribute__((noinline)) void crashForTheTest() {
    raise(SIGSEGV);
}

TEST(CrashReporterTest, FatalSignalWritesACompleteReportThatSymbolises) {
    testsupport::TempDir dir;
    const CrashReportDatabase database(dir / "TestCrashReportDB");
    std::string error;
    ASSERT_TRUE(database.initialize(error)) << error;

    GTEST_FLAG_SET(death_test_style, "fast");  // the child must see this test's folder
    EXPECT_EXIT(
        {
            common::CrashReportWriter::install(database.root(),
                                               {{"format", "minidump"}, {"odd", "a\nb"}});
            crashForTheTest();
        },
        testing::KilledBySignal(SIGSEGV), "");

    const auto pending = database.pendingReports();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_TRUE(fs::is_empty(database.root() / "new"));
    CrashReport report;
    ASSERT_TRUE(report.read(database.pendingPath(pending[0]), error)) << error;
    const auto annotations = report.annotations();
    EXPECT_EQ(annotations.at("format"), "minidump");
    EXPECT_EQ(annotations.at("odd"), "a b");  // a value cannot add lines of its own
    EXPECT_THAT(report.fields(),
                testing::Contains(std::make_pair(std::string("signal"), std::string("11"))));
    ASSERT_FALSE(report.frames().empty());
    EXPECT_FALSE(report.mappings().empty());

    const std::string text = report.toText(&CrashReport::addr2line);
    EXPECT_THAT(text, HasSubstr("Backtrace:\n#0 0x"));
    EXPECT_THAT(text, HasSubstr("crashForTheTest"));
    EXPECT_THAT(text, HasSubstr("Memory map:\n"));
}

TEST(CrashReporterTest, UnreadableReportsAreRefusedAndShortOnesReadWhatIsThere) {
    testsupport::TempDir dir;
    CrashReport report;
    std::string error;
    EXPECT_FALSE(report.read(dir / "missing", error));
    EXPECT_FALSE(error.empty());

    // Frames that end in the middle of an address, and a memory map line of garbage.
    dir.write("r/report.txt", "signal: 6\nno separator\nannotation.format: minidump\n");
    dir.write("r/frames.bin", std::string("\x10\x20\x30", 3));
    dir.write("r/maps.txt", "zzz\n");
    ASSERT_TRUE(report.read(dir / "r", error)) << error;
    EXPECT_TRUE(report.frames().empty());
    EXPECT_TRUE(report.mappings().empty());
    EXPECT_EQ(report.fields().size(), 2u);
    EXPECT_THAT(report.toText({}), HasSubstr("signal: 6\nannotation.format: minidump\n"));
}

// A program beside its own crashpad_handler in a folder of the test, so that its user write
// path (and the crash report database in it) belongs to the test alone.
class CrashUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "bin");
        fs::copy_file(CRASH_CHILD_PROGRAM, child);
        fs::copy_file(CRASHPAD_HANDLER_PROGRAM, handler);
    }

    int runChild(const std::string& how, const std::string& monitoringUrl,
                 const std::string& token) {
        const auto result = standin::Process::run(
            child.string(), {how, "-MonitoringUrl", monitoringUrl, "-MonitoringToken", token,
                             "-SessionId", "S1", "-InstallationId", "I1"});
        return result.status;
    }

    // Waits (bounded) until the database holds `pending` pending and `completed` completed
    // reports.
    bool waitForReports(std::size_t pending, std::size_t completed) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (database.pendingReports().size() == pending &&
                database.completedReports().size() == completed) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    testsupport::TempDir dir;
    fs::path child = dir / "bin" / "crash_child";
    fs::path handler = dir / "bin" / "crashpad_handler";
    CrashReportDatabase database{dir / "bin" / "appdata" / "ChildCrashReportDB"};
};

TEST_F(CrashUploadTest, ACrashOfAProgramReachesTheMonitoringService) {
    MonitoringStub stub(R"({"/api/dump": [{"status": 201}]})");
    ASSERT_TRUE(stub.ready());

    const int status = runChild("abort", stub.url(), "tok+en/=");
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGABRT);

    const auto requests = stub.waitForRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    const auto& upload = requests[0];
    EXPECT_EQ(upload.method, "POST");
    EXPECT_EQ(upload.path, "/api/dump");
    EXPECT_EQ(percentDecoded(upload.query), "token=tok+en/=");
    EXPECT_THAT(upload.query, HasSubstr("%2B"));  // not read back as a space
    EXPECT_THAT(upload.contentType, HasSubstr("multipart/form-data"));
    EXPECT_EQ(upload.field("format"), "minidump");
    EXPECT_EQ(upload.field("version"), "1.0.0.352");
    EXPECT_EQ(upload.field("sessionid"), "S1");
    EXPECT_EQ(upload.field("installationid"), "I1");
    EXPECT_FALSE(upload.field("hostname").empty());
    EXPECT_EQ(upload.field("deviceid"), "");
    const std::string text = upload.field("upload_file_minidump");
    EXPECT_THAT(text, HasSubstr("signal: 6\n"));
    EXPECT_THAT(text, HasSubstr("crashInsideTheChild"));

    EXPECT_TRUE(waitForReports(0, 1));
}

TEST_F(CrashUploadTest, AReportTheServiceRefusedStaysPendingForTheNextHandler) {
    {
        MonitoringStub failing(R"({"/api/dump": [{"status": 500}]})");
        ASSERT_TRUE(failing.ready());
        const int status = runChild("segv", failing.url(), "t1");
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), SIGSEGV);
        ASSERT_EQ(failing.waitForRequests(1).size(), 1u);
        EXPECT_TRUE(waitForReports(1, 0));
    }

    MonitoringStub working(R"({"/api/dump": [{"status": 201}]})");
    ASSERT_TRUE(working.ready());
    const auto result = standin::Process::run(
        handler.string(), {"--database=" + database.root().string(), "--once",
                           "--url=" + common::crashUploadUrl(working.url(), "t2")});
    EXPECT_TRUE(result.started);
    const auto requests = working.waitForRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "token=t2");
    EXPECT_THAT(requests[0].field("upload_file_minidump"), HasSubstr("signal: 11\n"));
    EXPECT_TRUE(waitForReports(0, 1));
}

}  // namespace
