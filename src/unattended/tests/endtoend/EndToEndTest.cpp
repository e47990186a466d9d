// The built daemon against the local test backend, on the default and the legacy network path.

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <signal.h>
#include <sys/wait.h>

#include <boost/filesystem/operations.hpp>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/process/Process.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using namespace std::chrono_literals;

namespace {

// One request to the backend's control interface through python3; the answer body.
const char* const kRequest = R"(
import sys, urllib.request
body = bytes.fromhex(sys.argv[3]) if len(sys.argv) > 3 else None
request = urllib.request.Request(sys.argv[2], data=body, method=sys.argv[1],
                                 headers={"Content-Type": "application/json"})
sys.stdout.write(urllib.request.urlopen(request, timeout=20).read().decode())
)";

// The value of a top-level member of unattended.json (numbers and strings alike), or "".
std::string stateValue(const fs::path& file, const std::string& key) {
    const std::string text = testsupport::TempDir::read(file);
    auto at = text.find("\"" + key + "\"");
    if (at == std::string::npos || (at = text.find(':', at)) == std::string::npos) {
        return std::string();
    }
    at = text.find_first_not_of(" \t\"", at + 1);
    const auto end = text.find_first_of("\",\n}", at);
    return at == std::string::npos ? std::string() : text.substr(at, end - at);
}

bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

class EndToEnd : public testing::TestWithParam<bool> {
protected:
    EndToEnd()
        : _root("ORV_SYSTEM_ROOT", (_dir / "root").string()),
          _path("PATH", std::string(ORV_LAUNCHCTL_STANDIN_DIR) + ":" + std::getenv("PATH")),
          _standinLog("ORV_STANDIN_LOG", (_dir / "launchctl.log").string()) {
        fs::create_directories(_dir / "root/Library/LaunchDaemons");
        fs::create_directories(_dir / "root/var/run");
        fs::create_directories(_install);
        fs::create_directories(_dir / "files");
        fs::create_hard_link(ORV_DAEMON_PATH, _daemon);
    }

    ~EndToEnd() override {
        if (_pid > 0) {
            ::kill(_pid, SIGKILL);
            standin::Process::wait(_pid);
        }
    }

    void SetUp() override {
        _backend = std::make_unique<testsupport::ServerProcess>(
            std::vector<std::string>{
                "/usr/bin/python3", ORV_TEST_BACKEND, "--port", std::to_string(_port),
                "--company-token", "CT", "--monitoring-token", "MT", "--heartbeat-ms", "300",
                "--demo-applet", "--quiet", "--files", (_dir / "files").string()},
            std::vector<std::string>{}, (_dir / "backend.log").string());
        ASSERT_TRUE(_backend->waitForPort("127.0.0.1", _port, 30s));
        control("POST", "/control/config", R"({"download_applet_on_accept": false})");
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(_port); }

    std::string control(const std::string& method, const std::string& path,
                        const std::string& body = std::string()) {
        std::vector<std::string> arguments = {"-c", kRequest, method, url() + path};
        if (!body.empty() || method == "POST") {
            static const char digits[] = "0123456789abcdef";
            std::string hex;
            for (const unsigned char c : body) {
                hex += digits[c >> 4];
                hex += digits[c & 15];
            }
            arguments.push_back(hex);
        }
        standin::Process::Options options;
        options.captureOutput = true;
        return standin::Process::run("/usr/bin/python3", arguments, options).output;
    }

    void send(const std::string& message) { control("POST", "/control/send", message); }

    // The recorded events of one kind, in order.
    rapidjson::Document events(const std::string& kind) {
        rapidjson::Document document;
        document.Parse(control("GET", "/control/events?kind=" + kind).c_str());
        if (!document.IsArray()) {
            document.SetArray();
        }
        return document;
    }

    // The messages of one Type the daemon sent.
    std::vector<rapidjson::Value> sent(const std::string& type, rapidjson::Document& all) {
        all = events("ws-message");
        std::vector<rapidjson::Value> found;
        for (auto& event : all.GetArray()) {
            if (event.HasMember("type") && event["type"].IsString() &&
                type == event["type"].GetString()) {
                found.emplace_back(event, all.GetAllocator());
            }
        }
        return found;
    }

    size_t count(const std::string& kind) { return events(kind).Size(); }

    size_t heartbeats() {
        rapidjson::Document all;
        return sent("Heartbeat", all).size();
    }

    // Writes a zip archive into the backend's files folder, one entry per (name, content).
    void zip(const std::string& name, const std::vector<std::string>& entries) {
        std::vector<std::string> arguments = {
            "-c",
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
            "    for i in range(2, len(sys.argv), 2): z.writestr(sys.argv[i], sys.argv[i + 1])\n",
            (_dir / "files" / name).string()};
        arguments.insert(arguments.end(), entries.begin(), entries.end());
        ASSERT_TRUE(standin::Process::run("/usr/bin/python3", arguments).succeeded());
    }

    void startDaemon(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {"-Service",
                                              "-WorkFolder",
                                              _install.string(),
                                              "-WebsiteUrl",
                                              "ws://127.0.0.1:" + std::to_string(_port) + "/ws",
                                              "-BaseUrl",
                                              url(),
                                              "-CompanyToken",
                                              "CT",
                                              "-MonitoringUrl",
                                              url(),
                                              "-MonitoringToken",
                                              "MT",
                                              "-HeartbeatPeriodInMs",
                                              "300",
                                              "-NoUpdate",
                                              _noUpdate};
        if (GetParam()) {
            arguments.insert(arguments.end(), {"-UseLegacyNetworking", "1"});
        }
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        _pid = standin::Process::start(_daemon.string(), arguments);
        ASSERT_GT(_pid, 0);
    }

    // Starts the daemon and waits until the backend accepted it.
    void startAccepted(std::vector<std::string> extra = {}) {
        startDaemon(std::move(extra));
        ASSERT_TRUE(waitUntil([&] { return count("accepted") >= 1; })) << log();
    }

    std::string log() const {
        return testsupport::TempDir::read(_install / "appdata" /
                                          "OrvantaRemoteSupportUnattendedDaemon.srv.log");
    }

    // The daemon's exit code once it ended on its own within the limit, else -1.
    int exitCode(std::chrono::seconds limit = 60s) {
        int status = 0;
        const bool ended =
            waitUntil([&] { return ::waitpid(_pid, &status, WNOHANG) == _pid; }, limit);
        if (!ended) {
            return -1;
        }
        _pid = -1;
        return standin::Process::exitCode(status);
    }

    testsupport::TempDir _dir;
    testsupport::ScopedEnv _root;
    testsupport::ScopedEnv _path;
    testsupport::ScopedEnv _standinLog;
    fs::path _install = _dir / "install";
    fs::path _daemon = _install / "OrvantaRemoteSupportUnattendedDaemon";
    unsigned short _port = testsupport::freePort();
    std::unique_ptr<testsupport::ServerProcess> _backend;
    pid_t _pid = -1;
    std::string _noUpdate = "1";
};

TEST_P(EndToEnd, FirstFrameIsABinaryDeviceUpdateThenTheDeviceTokenIsUsed) {
    startAccepted();
    rapidjson::Document all;
    const auto updates = sent("DeviceUpdate", all);
    ASSERT_FALSE(updates.empty());
    const auto& first = updates.front();
    EXPECT_TRUE(first["binary"].GetBool());
    ASSERT_TRUE(first["message"].IsObject());
    EXPECT_EQ(first["message"].MemberCount(), 22u);
    EXPECT_EQ(std::string(first["message"].MemberBegin()->name.GetString()), "Type");
    auto connects = events("ws-connect");
    ASSERT_GE(connects.Size(), 1u);
    EXPECT_EQ(std::string(connects[0]["authorization"].GetString()), "Bearer CT");

    const auto accepted = events("accepted");
    const std::string token = accepted[0]["device_token"].GetString();
    // Heartbeats flow both ways at the short period.
    ASSERT_TRUE(waitUntil([&] { return heartbeats() >= 3; })) << log();

    // The server closes: the daemon comes back with the device token it was given.
    control("POST", "/control/close");
    ASSERT_TRUE(waitUntil([&] { return count("ws-connect") >= 2; })) << log();
    connects = events("ws-connect");
    EXPECT_EQ(std::string(connects[1]["authorization"].GetString()), "Bearer " + token);
    EXPECT_TRUE(waitUntil([&] { return count("accepted") >= 2; })) << log();
}

TEST_P(EndToEnd, MissingServerHeartbeatsLeadToAReconnect) {
    startAccepted({"-HeartbeatTimeoutInMs", "2000"});
    control("POST", "/control/config", R"({"heartbeats": false})");
    EXPECT_TRUE(waitUntil([&] { return count("ws-connect") >= 2; })) << log();
}

TEST_P(EndToEnd, MalformedMessagesNeverStopTheSession) {
    startAccepted();
    const std::string messages[] = {
        "not json at all",
        "[1,2,3]",
        std::string(R"({"Type":"SetDeviceName","DeviceName":"a)") + '\0' + "b\"}",
        R"({"Type":"NoSuchMessage"})",
        R"({"Type":"SetDeviceName","DeviceName":42})",
        R"({"Type":17})",
        R"({"Type":"DownloadApplet","DownloadUrl":["x"]})",
        "{\"Type\":\"Heartbeat\"",
        "",
    };
    for (const auto& message : messages) {
        send(message);
    }
    const size_t before = heartbeats();
    ASSERT_TRUE(waitUntil([&] { return heartbeats() >= before + 5; })) << log();
    EXPECT_NE(log().find("unable to parse message"), std::string::npos);
    EXPECT_EQ(count("ws-connect"), 1u);
    EXPECT_EQ(count("applet-started"), 0u);
}

TEST_P(EndToEnd, SetDeviceNameIsSentInTheNextDeviceUpdate) {
    startAccepted();
    send(R"({"Type":"SetDeviceName","DeviceName":"Kitchen Mac"})");
    rapidjson::Document all;
    auto named = [&] {
        for (const auto& update : sent("DeviceUpdate", all)) {
            if (update["message"].HasMember("DeviceName") &&
                update["message"]["DeviceName"].IsString() &&
                std::string(update["message"]["DeviceName"].GetString()) == "Kitchen Mac") {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(waitUntil(named)) << log();
}

TEST_P(EndToEnd, DownloadAppletStartsTheAppletsDaemon) {
    startAccepted();
    send(R"({"Type":"DownloadApplet","DownloadUrl":")" + url() + R"(/files/applet.zip"})");
    ASSERT_TRUE(waitUntil([&] { return count("applet-started") >= 1; })) << log();
    const auto started = events("applet-started");
    const auto& arguments = started[0]["arguments"];
    ASSERT_EQ(arguments.Size(), 5u);
    EXPECT_EQ(std::string(arguments[0].GetString()), "-regsvc");
    EXPECT_EQ(std::string(arguments[1].GetString()), "-Encrypted");
    EXPECT_EQ(std::string(arguments[3].GetString()), "-Salt");
    // The safe store's encrypted form (empty while it holds nothing) and the salt, as stored.
    EXPECT_EQ(arguments[2].GetString(), stateValue(_install / "unattended.json", "Encrypted"));
    EXPECT_EQ(arguments[4].GetString(), stateValue(_install / "unattended.json", "Salt"));
    EXPECT_EQ(std::string(arguments[4].GetString()).size(), 16u);
}

TEST_P(EndToEnd, UninstallYourselfRemovesOnlyTheInstallationAndExitsZero) {
    startAccepted();
    const fs::path neighbour = _dir / "neighbour.txt";
    _dir.write("neighbour.txt", "stays");
    send(R"({"Type":"UninstallYourself"})");
    EXPECT_EQ(exitCode(), 0);
    EXPECT_FALSE(fs::exists(_install));
    EXPECT_TRUE(fs::exists(neighbour));
    EXPECT_TRUE(fs::exists(_dir / "files/applet.zip"));
}

TEST_P(EndToEnd, AnUpdateThatCannotBeUnpackedLeavesTheProgramAndKeepsTheSession) {
    const struct {
        const char* name;
        const char* archive;
    } cases[] = {
        {"damaged", "damaged.zip"},
        {"escaping", "escaping.zip"},
    };
    _dir.write("files/damaged.zip", "PK\x03\x04 this is no archive");
    zip("escaping.zip", {"fine.txt", "fine", "../outside.txt", "escaped"});
    _noUpdate = "0";
    startAccepted();
    const std::string program = testsupport::TempDir::read(_daemon);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        send(R"({"Type":"UpdateYourself","NewVersion":"2.0.0.1","DownloadUrl":")" + url() +
             "/files/" + c.archive + R"("})");
        const std::string refused =
            std::string(c.archive) + "' -d '" + _install.string() + "' refused: ";
        ASSERT_TRUE(waitUntil([&] { return log().find(refused) != std::string::npos; })) << log();
        const size_t before = heartbeats();
        EXPECT_TRUE(waitUntil([&] { return heartbeats() >= before + 3; }));
        int status = 0;
        EXPECT_EQ(::waitpid(_pid, &status, WNOHANG), 0);  // still running
    }
    EXPECT_EQ(testsupport::TempDir::read(_daemon), program);
    EXPECT_FALSE(fs::exists(_install / "fine.txt"));
    EXPECT_FALSE(fs::exists(_dir / "outside.txt"));
    EXPECT_FALSE(fs::exists(_install / "outside.txt"));
    EXPECT_EQ(count("ws-connect"), 1u);
}

TEST_P(EndToEnd, AGoodUpdateIsUnpackedIntoTheProgramFolderAndTheDaemonExitsOne) {
    zip("update.zip", {"new-part.txt", "second version", "Resources/more.txt", "more"});
    _noUpdate = "0";
    startAccepted();
    send(R"({"Type":"UpdateYourself","NewVersion":"2.0.0.1","DownloadUrl":")" + url() +
         R"(/files/update.zip"})");
    EXPECT_EQ(exitCode(), 1) << log();
    EXPECT_EQ(testsupport::TempDir::read(_install / "new-part.txt"), "second version");
    EXPECT_EQ(testsupport::TempDir::read(_install / "Resources/more.txt"), "more");
    EXPECT_TRUE(fs::exists(_daemon));
}

INSTANTIATE_TEST_SUITE_P(Networking, EndToEnd, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Legacy" : "Qt");
                         });

}  // namespace
