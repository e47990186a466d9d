// The built daemon, run as a program in a temporary installation folder and system root.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <boost/filesystem/operations.hpp>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "DaemonFixture.h"
#include "platform/process/Process.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using namespace std::chrono_literals;

namespace {

using endtoend::stateValue;

class Daemon : public testing::Test {
protected:
    Daemon()
        : _root("ORV_SYSTEM_ROOT", (_dir / "root").string()),
          _path("PATH", std::string(ORV_LAUNCHCTL_STANDIN_DIR) + ":" + std::getenv("PATH")),
          _log("ORV_STANDIN_LOG", (_dir / "launchctl.log").string()) {
        fs::create_directories(_dir / "root/Library/LaunchDaemons");
        fs::create_directories(_dir / "root/var/run");
        fs::create_directories(_install);
        // A hard link keeps the executable's own path inside the installation folder.
        fs::create_hard_link(ORV_DAEMON_PATH, _daemon);
    }

    // Runs the daemon to its end with the arguments; the wait status.
    standin::Process::Result run(std::vector<std::string> arguments) {
        standin::Process::Options options;
        options.captureOutput = true;
        return standin::Process::run(_daemon.string(), arguments, options);
    }

    std::string log(const std::string& name = "OrvantaRemoteSupportUnattendedDaemon.log") const {
        return testsupport::TempDir::read(_install / "appdata" / name);
    }

    testsupport::TempDir _dir;
    testsupport::ScopedEnv _root;
    testsupport::ScopedEnv _path;
    testsupport::ScopedEnv _log;
    fs::path _install = _dir / "install";
    fs::path _daemon = _install / "OrvantaRemoteSupportUnattendedDaemon";
};

}  // namespace

TEST_F(Daemon, RegsvcPrintsOneAnswerLineAndExitsZero) {
    const struct {
        const char* name;
        const char* launchctlExit;
        bool jobFolder;
        const char* answer;
    } cases[] = {
        {"written and loaded", "0", true, "<exitcode>0</exitcode>\n"},
        {"load fails", "1", true, "<exitcode>-4</exitcode>\n"},
        {"job cannot be written", "0", false, "<exitcode>-1</exitcode>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ScopedEnv exit("ORV_STANDIN_LAUNCHCTL_EXIT", std::string(c.launchctlExit));
        if (!c.jobFolder) {
            fs::remove_all(_dir / "root/Library/LaunchDaemons");
        }
        const auto result = run({"-regsvc", "-WorkFolder", _install.string()});
        EXPECT_EQ(result.exitCode(), 0);
        EXPECT_EQ(result.output, c.answer);
    }
    const std::string id = stateValue(_install / "unattended.json", "InstallationId");
    EXPECT_EQ(id.size(), 10u);
    // The job that loaded was removed again after the failed load; none is left.
    EXPECT_FALSE(fs::exists(_dir / "root/Library/LaunchDaemons"));
}

TEST_F(Daemon, RegsvcWritesTheJobDelsvcRemovesIt) {
    ASSERT_EQ(run({"-regsvc", "-WorkFolder", _install.string()}).output,
              "<exitcode>0</exitcode>\n");
    const std::string id = stateValue(_install / "unattended.json", "InstallationId");
    const fs::path job =
        _dir / ("root/Library/LaunchDaemons/com.orvanta.remotesupport.daemon." + id + ".plist");
    ASSERT_TRUE(fs::exists(job));
    const std::string plist = testsupport::TempDir::read(job);
    EXPECT_NE(plist.find(_daemon.string()), std::string::npos);
    EXPECT_NE(plist.find("<string>-Service</string>"), std::string::npos);

    const auto removed = run({"-delsvc", "-WorkFolder", _install.string()});
    EXPECT_EQ(removed.exitCode(), 0);
    EXPECT_EQ(removed.output, "");
    EXPECT_FALSE(fs::exists(job));
}

TEST_F(Daemon, AMissingWebsiteUrlEndsTheStartWithOneAndKeepsTheState) {
    const std::vector<std::string> arguments = {"-WorkFolder", _install.string(), "-CompanyToken",
                                                "very-secret-company-token"};
    const auto first = run(arguments);
    EXPECT_EQ(first.exitCode(), 1);
    const fs::path state = _install / "unattended.json";
    const std::string installation = stateValue(state, "InstallationId");
    const std::string salt = stateValue(state, "Salt");
    const std::string instance = stateValue(state, "InstanceId");
    EXPECT_EQ(installation.size(), 10u);
    EXPECT_EQ(salt.size(), 16u);
    EXPECT_EQ(instance.size(), 10u);
    EXPECT_EQ(fs::status(state).permissions() & 0777, 0600);

    EXPECT_EQ(run(arguments).exitCode(), 1);
    EXPECT_EQ(stateValue(state, "InstallationId"), installation);
    EXPECT_EQ(stateValue(state, "Salt"), salt);
    EXPECT_NE(stateValue(state, "InstanceId"), instance);

    // The start, the failure and the quit sequence, in this order; no secret in clear.
    const std::string text = log();
    const auto starting = text.find("unattended starting (1.0.0.352)");
    const auto missing = text.find("A required parameter is empty: WebsiteUrl");
    const auto quitting = text.find("Application quitting (Normal)");
    const auto over = text.find("Over and out.");
    ASSERT_NE(starting, std::string::npos);
    ASSERT_NE(missing, std::string::npos);
    ASSERT_NE(quitting, std::string::npos);
    ASSERT_NE(over, std::string::npos);
    EXPECT_LT(starting, missing);
    EXPECT_LT(missing, quitting);
    EXPECT_LT(quitting, over);
    EXPECT_EQ(text.find("very-secret-company-token"), std::string::npos);
}

TEST_F(Daemon, RunsItsLoopAndIgnoresSigterm) {
    const pid_t pid = standin::Process::start(
        _daemon.string(), {"-Service", "-WorkFolder", _install.string(), "-WebsiteUrl",
                           "ws://127.0.0.1:9/ws", "-NoUpdate", "1"});
    ASSERT_GT(pid, 0);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (log("OrvantaRemoteSupportUnattendedDaemon.srv.log").find("start session") ==
               std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_NE(log("OrvantaRemoteSupportUnattendedDaemon.srv.log").find("start session"),
              std::string::npos);
    ::kill(pid, SIGTERM);
    std::this_thread::sleep_for(500ms);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0);  // still running
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}
