#include "TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <sstream>
#include <thread>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "platform/process/Process.h"
#include "qtplatform/Keys.h"
#include "testsupport/TestCertificates.h"

namespace qttest {

namespace {
std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}
}  // namespace

void LineStore::add(const std::string& level, const std::string& text) {
    std::lock_guard<std::mutex> lock(_mutex);
    _lines.push_back({level, text});
}

std::vector<SinkLine> LineStore::lines() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _lines;
}

bool LineStore::contains(const std::string& level, const std::string& text) const {
    std::lock_guard<std::mutex> lock(_mutex);
    for (const auto& line : _lines) {
        if ((level.empty() || line.level == level) && line.text.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::size_t LineStore::count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(_mutex);
    std::size_t n = 0;
    for (const auto& line : _lines) {
        if (line.text.find(text) != std::string::npos) {
            ++n;
        }
    }
    return n;
}

std::string LineStore::dump() const {
    std::lock_guard<std::mutex> lock(_mutex);
    std::string text;
    for (const auto& line : _lines) {
        text += line.level + ": " + line.text + "\n";
    }
    return text;
}

void LineStore::clear() {
    std::lock_guard<std::mutex> lock(_mutex);
    _lines.clear();
}

void RecordingCollector::addRecord(common::metrics::Record&& record) {
    std::lock_guard<std::mutex> lock(_mutex);
    _records.push_back(std::move(record));
}

void RecordingCollector::flush() {
    _flushing();
}

boost::signals2::connection RecordingCollector::connectFlushingSignal(
    std::function<void()>&& function) {
    return _flushing.connect(std::move(function));
}

std::vector<common::metrics::Record> RecordingCollector::records() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _records;
}

Live* Live::get(const LiveOptions& options) {
    static Live* live = nullptr;
    if (live == nullptr) {
        // Kept to the process's end: the platform belongs to the whole test program.
        static Live instance(options);
        live = &instance;
    }
    if (live->_options.proxy != options.proxy ||
        live->_options.storedProxyCredentials != options.storedProxyCredentials) {
        return nullptr;
    }
    return live;
}

Live::Live(const LiveOptions& options)
    : _options(options),
      _scheduler(common::TaskScheduler::create(std::chrono::milliseconds(1),
                                               common::ILogger::create("TaskScheduler"))),
      _lines(std::make_shared<LineStore>()),
      _collector(std::make_shared<RecordingCollector>()) {
    // Qt reads the proxy variables again for every request: they stay for the process's life.
    const std::optional<std::string> proxy =
        options.proxy.empty() ? std::nullopt : std::optional<std::string>(options.proxy);
    _environment.push_back(
        std::make_unique<testsupport::ScopedEnv>("ORV_SYSTEM_ROOT", _root.path().string()));
    _environment.push_back(std::make_unique<testsupport::ScopedEnv>("no_proxy", std::nullopt));
    _environment.push_back(std::make_unique<testsupport::ScopedEnv>("https_proxy", proxy));
    _environment.push_back(std::make_unique<testsupport::ScopedEnv>("http_proxy", proxy));
    if (options.storedProxyCredentials) {
        _storage.saveCredentials(Keys::ProxyCredentials,
                                 wide(options.storedProxyCredentials->first),
                                 wide(options.storedProxyCredentials->second));
    }
    _platform = std::make_unique<QtPlatform>(_scheduler.get(), &_storage, "qtplatform_tests");
    _platform->setQtLoggingSink(std::make_unique<RecordingSink>(_lines));
    _platform->setMetricsCollector(_collector);
}

bool Live::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    _scheduler->runTasksUntil(
        [&] { return !done() && std::chrono::steady_clock::now() < deadline; });
    return done();
}

void Live::runFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    _scheduler->runTasksUntil([&] { return std::chrono::steady_clock::now() < deadline; });
}

PythonPeer::PythonPeer(const std::string& script, std::vector<std::string> arguments)
    : _port(testsupport::freePort()) {
    std::vector<std::string> argv{"/usr/bin/python3",
                                  std::string(ORV_QTPLATFORM_PEERS) + "/" + script,
                                  std::to_string(_port)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    _process = std::make_unique<testsupport::ServerProcess>(argv);
    _ready = _process->waitForPort("127.0.0.1", _port);
}

std::string PythonPeer::url(const std::string& scheme, const std::string& path) const {
    return scheme + "://127.0.0.1:" + std::to_string(_port) + path;
}

int runProgram(const std::vector<std::string>& argv) {
    const std::vector<std::string> arguments(argv.begin() + 1, argv.end());
    return standin::Process::run(argv.front(), arguments).exitCode();
}

TestCertificates::TestCertificates() {
    using testsupport::MakeIdentity;
    const auto authority =
        MakeIdentity({"Qt Platform Test CA", {}, {}, -3600, 2 * 86400, true}, nullptr);
    const auto leaf =
        MakeIdentity({"127.0.0.1", {"localhost"}, {"127.0.0.1"}, -3600, 2 * 86400}, &authority);
    const auto self = MakeIdentity({"127.0.0.1", {}, {"127.0.0.1"}, -3600, 2 * 86400}, nullptr);
    _dir.write("ca.pem", authority.CertificatePEM());
    _dir.write("leaf.pem", leaf.CertificatePEM());
    _dir.write("leaf.key", leaf.KeyPEM());
    _dir.write("self.pem", self.CertificatePEM());
    _dir.write("self.key", self.KeyPEM());
    _ok = true;
}

TlsPeer::TlsPeer(const std::string& cert, const std::string& key) : _port(testsupport::freePort()) {
    _process = std::make_unique<testsupport::ServerProcess>(std::vector<std::string>{
        "openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(_port), "-cert", cert,
        "-key", key, "-www", "-quiet"});
    _ready = _process->waitForPort("127.0.0.1", _port);
}

SquidPeer::SquidPeer(const std::string& user, const std::string& password)
    : _port(testsupport::freePort()) {
    namespace fs = boost::filesystem;
    const fs::path dir = _dir.path();
    // squid's helpers run as user "proxy": the folder must be open to it.
    ::chmod(dir.c_str(), 0777);
    const fs::path passwords = dir / "passwd";
    runProgram({"htpasswd", "-bc", passwords.string(), user, password});
    ::chmod(passwords.c_str(), 0644);
    // Qt never sends loopback addresses through a proxy, so the tests name their loopback
    // peers with a name that only squid knows.
    const fs::path hosts = _dir.write("hosts", std::string("127.0.0.1 ") + kProxiedHost + "\n");
    ::chmod(hosts.c_str(), 0644);
    const fs::path logs = dir / "logs";
    fs::create_directories(logs);
    ::chmod(logs.c_str(), 0777);
    std::ostringstream conf;
    conf << "http_port 127.0.0.1:" << _port << "\n"
         << "visible_hostname qtplatform-test\n"
         << "pid_filename " << (dir / "squid.pid").string() << "\n"
         << "access_log stdio:" << (logs / "access.log").string() << "\n"
         << "cache_log " << (logs / "cache.log").string() << "\n"
         << "cache_store_log none\n"
         << "coredump_dir " << logs.string() << "\n"
         << "cache deny all\n"
         << "shutdown_lifetime 0 seconds\n"
         << "dns_nameservers 127.0.0.1\n"
         << "hosts_file " << hosts.string() << "\n"
         << "auth_param basic program /usr/lib/squid/basic_ncsa_auth " << passwords.string() << "\n"
         << "auth_param basic children 2\n"
         << "auth_param basic realm qtplatform-test\n"
         << "acl authenticated proxy_auth REQUIRED\n"
         << "http_access allow authenticated\n"
         << "http_access deny all\n";
    const fs::path confFile = _dir.write("squid.conf", conf.str());
    ::chmod(confFile.c_str(), 0644);
    _process = std::make_unique<testsupport::ServerProcess>(
        std::vector<std::string>{"squid", "-N", "-f", confFile.string()},
        std::vector<std::string>{}, (logs / "squid.out").string());
    _ready = _process->waitForPort("127.0.0.1", _port);
}

SquidPeer::~SquidPeer() {
    _process.reset();
}

std::string SquidPeer::accessLog() const {
    return testsupport::TempDir::read(_dir / "logs" / "access.log");
}

std::size_t SquidPeer::countInLog(const std::string& text) const {
    std::istringstream log(accessLog());
    std::string line;
    std::size_t n = 0;
    while (std::getline(log, line)) {
        if (line.find(text) != std::string::npos) {
            ++n;
        }
    }
    return n;
}

}  // namespace qttest

// OpenSSL 3 keeps per-thread error and random state of the Qt thread, and its configuration,
// until the library unloads, after the leak check has run.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libcrypto.so\nleak:libssl.so\n";
}
