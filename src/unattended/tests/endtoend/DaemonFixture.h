#pragma once

// The built daemon run in a throw-away system root against the local test backend, on the
// default or (parameter true) the legacy network path.

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/types.h>

#include <boost/filesystem/path.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

namespace endtoend {

// The value of a top-level member of a state file (numbers and strings alike), or "".
std::string stateValue(const boost::filesystem::path& file, const std::string& key);

// Polls `done` every 100 ms until it holds or `limit` passes.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::seconds limit = std::chrono::seconds(60));

class DaemonFixture : public testing::TestWithParam<bool> {
protected:
    DaemonFixture();
    ~DaemonFixture() override;

    void SetUp() override;

    // Starts the backend with these arguments added to the usual ones.
    void startBackend(const std::vector<std::string>& extra);

    std::string url() const;

    // One request to the backend's control interface; the answer body.
    std::string control(const std::string& method, const std::string& path,
                        const std::string& body = std::string());
    void send(const std::string& message);

    // The recorded events of one kind, in order.
    rapidjson::Document events(const std::string& kind);
    // The messages of one Type the daemon sent.
    std::vector<rapidjson::Value> sent(const std::string& type, rapidjson::Document& all);
    size_t count(const std::string& kind);
    size_t heartbeats();

    // Writes a zip archive into the backend's files folder, one entry per (name, content).
    void zip(const std::string& name, const std::vector<std::string>& entries);

    void startDaemon(std::vector<std::string> extra = {});
    // Starts the daemon and waits until the backend accepted it.
    void startAccepted(std::vector<std::string> extra = {});

    std::string log() const;
    // The daemon's exit code once it ended on its own within the limit, else -1.
    int exitCode(std::chrono::seconds limit = std::chrono::seconds(60));
    bool daemonRunning();

    testsupport::TempDir _dir;
    testsupport::ScopedEnv _root;
    testsupport::ScopedEnv _path;
    testsupport::ScopedEnv _standinLog;
    boost::filesystem::path _install = _dir / "install";
    boost::filesystem::path _daemon = _install / "OrvantaRemoteSupportUnattendedDaemon";
    unsigned short _port = testsupport::freePort();
    std::unique_ptr<testsupport::ServerProcess> _backend;
    std::unique_ptr<testsupport::ServerProcess> _daemonProcess;
    // The daemon's process while the test has not reaped it, else -1.
    pid_t _pid = -1;
    std::string _noUpdate = "1";
    // Where the daemon finds the backend's WebSocket; the plain endpoint unless a test says
    // otherwise before starting the daemon.
    std::string _websiteUrl;
    // The backend is started by SetUp unless a test fixture clears this in its constructor.
    bool _startBackendInSetUp = true;
};

}  // namespace endtoend
