#include "DaemonFixture.h"

#include <signal.h>
#include <sys/wait.h>

#include <boost/filesystem/operations.hpp>

#include <cstdlib>
#include <thread>

#include "platform/process/Process.h"

namespace fs = boost::filesystem;
using namespace std::chrono_literals;

namespace endtoend {

namespace {

// One request to the backend's control interface through python3; the answer body.
const char* const kRequest = R"(
import sys, urllib.request
body = bytes.fromhex(sys.argv[3]) if len(sys.argv) > 3 else None
request = urllib.request.Request(sys.argv[2], data=body, method=sys.argv[1],
                                 headers={"Content-Type": "application/json"})
sys.stdout.write(urllib.request.urlopen(request, timeout=20).read().decode())
)";

}  // namespace

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

bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

DaemonFixture::DaemonFixture()
    : _root("ORV_SYSTEM_ROOT", (_dir / "root").string()),
      _path("PATH", std::string(ORV_LAUNCHCTL_STANDIN_DIR) + ":" + std::getenv("PATH")),
      _standinLog("ORV_STANDIN_LOG", (_dir / "launchctl.log").string()),
      _websiteUrl("ws://127.0.0.1:" + std::to_string(_port) + "/ws") {
    fs::create_directories(_dir / "root/Library/LaunchDaemons");
    fs::create_directories(_dir / "root/var/run");
    fs::create_directories(_install);
    fs::create_directories(_dir / "files");
    fs::create_hard_link(ORV_DAEMON_PATH, _daemon);
}

DaemonFixture::~DaemonFixture() {
    if (_pid > 0) {
        ::kill(_pid, SIGKILL);
        standin::Process::wait(_pid);
    }
}

void DaemonFixture::SetUp() {
    if (_startBackendInSetUp) {
        startBackend({});
    }
}

void DaemonFixture::startBackend(const std::vector<std::string>& extra) {
    std::vector<std::string> arguments = {"/usr/bin/python3",
                                          ORV_TEST_BACKEND,
                                          "--port",
                                          std::to_string(_port),
                                          "--company-token",
                                          "CT",
                                          "--monitoring-token",
                                          "MT",
                                          "--heartbeat-ms",
                                          "300",
                                          "--demo-applet",
                                          "--quiet",
                                          "--files",
                                          (_dir / "files").string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    _backend = std::make_unique<testsupport::ServerProcess>(arguments, std::vector<std::string>{},
                                                            (_dir / "backend.log").string());
    ASSERT_TRUE(_backend->waitForPort("127.0.0.1", _port, 30s))
        << testsupport::TempDir::read(_dir / "backend.log");
    control("POST", "/control/config", R"({"download_applet_on_accept": false})");
}

std::string DaemonFixture::url() const {
    return "http://127.0.0.1:" + std::to_string(_port);
}

std::string DaemonFixture::control(const std::string& method, const std::string& path,
                                   const std::string& body) {
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

void DaemonFixture::send(const std::string& message) {
    control("POST", "/control/send", message);
}

rapidjson::Document DaemonFixture::events(const std::string& kind) {
    rapidjson::Document document;
    document.Parse(control("GET", "/control/events?kind=" + kind).c_str());
    if (!document.IsArray()) {
        document.SetArray();
    }
    return document;
}

std::vector<rapidjson::Value> DaemonFixture::sent(const std::string& type,
                                                  rapidjson::Document& all) {
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

size_t DaemonFixture::count(const std::string& kind) {
    return events(kind).Size();
}

size_t DaemonFixture::heartbeats() {
    rapidjson::Document all;
    return sent("Heartbeat", all).size();
}

void DaemonFixture::zip(const std::string& name, const std::vector<std::string>& entries) {
    std::vector<std::string> arguments = {
        "-c",
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for i in range(2, len(sys.argv), 2): z.writestr(sys.argv[i], sys.argv[i + 1])\n",
        (_dir / "files" / name).string()};
    arguments.insert(arguments.end(), entries.begin(), entries.end());
    ASSERT_TRUE(standin::Process::run("/usr/bin/python3", arguments).succeeded());
}

void DaemonFixture::startDaemon(std::vector<std::string> extra) {
    std::vector<std::string> arguments = {"-Service",
                                          "-WorkFolder",
                                          _install.string(),
                                          "-WebsiteUrl",
                                          _websiteUrl,
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
    arguments.insert(arguments.begin(), _daemon.string());
    // In a process group of its own, so that what it starts ends with it.
    _daemonProcess = std::make_unique<testsupport::ServerProcess>(
        arguments, std::vector<std::string>{}, (_dir / "daemon.out").string());
    _pid = _daemonProcess->pid();
    ASSERT_GT(_pid, 0);
}

void DaemonFixture::startAccepted(std::vector<std::string> extra) {
    startDaemon(std::move(extra));
    ASSERT_TRUE(waitUntil([&] { return count("accepted") >= 1; })) << log();
}

std::string DaemonFixture::log() const {
    return testsupport::TempDir::read(_install / "appdata" /
                                      "OrvantaRemoteSupportUnattendedDaemon.srv.log");
}

int DaemonFixture::exitCode(std::chrono::seconds limit) {
    int status = 0;
    const bool ended = waitUntil([&] { return ::waitpid(_pid, &status, WNOHANG) == _pid; }, limit);
    if (!ended) {
        return -1;
    }
    _pid = -1;
    return standin::Process::exitCode(status);
}

bool DaemonFixture::daemonRunning() {
    int status = 0;
    if (_pid <= 0 || ::waitpid(_pid, &status, WNOHANG) == _pid) {
        _pid = -1;
        return false;
    }
    return true;
}

}  // namespace endtoend
