#pragma once

// Shared pieces of the Qt platform tests: a recording Qt logging sink, a recording metrics
// collector, the one live platform of a test process, and the peer servers.

#include <boost/signals2/signal.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/credentialstorage/CredentialStorage.h"
#include "common/logsinks/IQtLoggingSink.h"
#include "common/metrics/IMetricsCollector.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "qtplatform/QtPlatform.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

namespace qttest {

// Lines that reached the sink, with their severity.
struct SinkLine {
    std::string level;
    std::string text;
};

class LineStore {
public:
    void add(const std::string& level, const std::string& text);
    std::vector<SinkLine> lines() const;
    bool contains(const std::string& level, const std::string& text) const;
    std::size_t count(const std::string& text) const;
    void clear();
    // Every line, one per row, for a failure message.
    std::string dump() const;

private:
    mutable std::mutex _mutex;
    std::vector<SinkLine> _lines;
};

class RecordingSink : public IQtLoggingSink {
public:
    explicit RecordingSink(std::shared_ptr<LineStore> store) : _store(std::move(store)) {}
    void debug(const std::string& message) override { _store->add("debug", message); }
    void warning(const std::string& message) override { _store->add("warning", message); }
    void error(const std::string& message) override { _store->add("error", message); }
    void fatal(const std::string& message) override { _store->add("fatal", message); }
    void info(const std::string& message) override { _store->add("info", message); }

private:
    std::shared_ptr<LineStore> _store;
};

class RecordingCollector : public common::metrics::IMetricsCollector {
public:
    void addRecord(common::metrics::Record&& record) override;
    void flush() override;
    boost::signals2::connection connectFlushingSignal(std::function<void()>&& function) override;
    std::vector<common::metrics::Record> records() const;

private:
    mutable std::mutex _mutex;
    std::vector<common::metrics::Record> _records;
    boost::signals2::signal<void()> _flushing;
};

// How the live platform of a test process is set up.
struct LiveOptions {
    // The value of https_proxy and http_proxy while the platform is made (none when empty).
    std::string proxy;
    // Credentials stored under the proxy label before the platform is made.
    std::optional<std::pair<std::string, std::string>> storedProxyCredentials;
};

// The one platform of a test process, made on first use and kept to the process's end.
class Live {
public:
    // The live platform, or null when this process already made one with other options (the
    // caller then skips: under ctest every test has a process of its own).
    static Live* get(const LiveOptions& options = LiveOptions());

    common::ITaskScheduler& scheduler() { return *_scheduler; }
    QtPlatform& platform() { return *_platform; }
    LineStore& lines() { return *_lines; }
    std::shared_ptr<RecordingCollector> collector() { return _collector; }

    // Runs the scheduler's tasks until `done` holds or `limit` passes; answers `done()`.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Runs the scheduler's tasks for `duration`.
    void runFor(std::chrono::milliseconds duration);

private:
    Live(const LiveOptions& options);

    LiveOptions _options;
    testsupport::TempDir _root;
    std::vector<std::unique_ptr<testsupport::ScopedEnv>> _environment;
    std::shared_ptr<common::ITaskScheduler> _scheduler;
    common::credentialstorage::CredentialStorage _storage;
    std::shared_ptr<LineStore> _lines;
    std::shared_ptr<RecordingCollector> _collector;
    std::unique_ptr<QtPlatform> _platform;
};

// A peer script of qtplatform/tests/peers run with /usr/bin/python3 on a free port.
class PythonPeer {
public:
    explicit PythonPeer(const std::string& script, std::vector<std::string> arguments = {});
    unsigned short port() const { return _port; }
    std::string url(const std::string& scheme, const std::string& path) const;
    bool ready() const { return _ready; }

private:
    unsigned short _port;
    std::unique_ptr<testsupport::ServerProcess> _process;
    bool _ready = false;
};

// Certificates made with the openssl command: a test authority, a leaf it signed for
// 127.0.0.1, and a self-signed leaf.
class TestCertificates {
public:
    TestCertificates();
    const testsupport::TempDir& dir() const { return _dir; }
    std::string caFile() const { return (_dir / "ca.pem").string(); }
    std::string leafCert() const { return (_dir / "leaf.pem").string(); }
    std::string leafKey() const { return (_dir / "leaf.key").string(); }
    std::string selfSignedCert() const { return (_dir / "self.pem").string(); }
    std::string selfSignedKey() const { return (_dir / "self.key").string(); }
    bool ok() const { return _ok; }

private:
    testsupport::TempDir _dir;
    bool _ok = false;
};

// `openssl s_server -www` with the given certificate on a free port. Qt's requests do not
// complete against it once the handshake succeeds, so it serves the failing handshakes only;
// peers/tls_server.py serves the successful ones.
class TlsPeer {
public:
    TlsPeer(const std::string& cert, const std::string& key);
    unsigned short port() const { return _port; }
    bool ready() const { return _ready; }

private:
    unsigned short _port;
    std::unique_ptr<testsupport::ServerProcess> _process;
    bool _ready = false;
};

// The name under which squid reaches 127.0.0.1 (from its own hosts file).
inline constexpr char kProxiedHost[] = "qtplatform.test";

// squid on a free loopback port requiring Basic proxy authentication of `user`/`password`.
class SquidPeer {
public:
    SquidPeer(const std::string& user, const std::string& password);
    ~SquidPeer();
    unsigned short port() const { return _port; }
    bool ready() const { return _ready; }
    std::string accessLog() const;
    // Lines of the access log that hold `text`.
    std::size_t countInLog(const std::string& text) const;

private:
    testsupport::TempDir _dir;
    unsigned short _port;
    std::unique_ptr<testsupport::ServerProcess> _process;
    bool _ready = false;
};

// Runs a program with an argument vector and waits; answers its exit code (-1 on failure).
int runProgram(const std::vector<std::string>& argv);

}  // namespace qttest
