// The backup connection under the connection controller against real peers on loopback: the
// backend stand-in (python3-websockets), a TLS server nobody trusts, and squid as the proxy.

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/connectioncontroller/ConnectionController.h"
#include "common/connectioncontroller/connection/Connection.h"
#include "common/safestore/ISafeStore.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/INetworkFactory.h"
#include "lib/common/tests/connectioncontroller/FakeConnection.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/common/tests/support/RecordingConnectionDelegate.h"
#include "lib/common/tests/support/RecordingLogger.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

namespace connectiontest {
namespace {

using common::ConnectionController;
using common::ILogger;
using State = common::IConnectionController::State;
using namespace std::chrono_literals;

const boost::filesystem::path kTests =
    boost::filesystem::path(__FILE__).parent_path().parent_path();

class Recorder : public common::IConnectionControllerDelegate {
public:
    void onConnectionControllerConnected(std::string host, uint16_t port, std::string user,
                                         std::string password) override {
        connected.push_back(host + ":" + std::to_string(port) + " " + user + " " + password);
    }
    void onConnectionControllerDisconnected(bool reconnecting) override {
        disconnected.push_back(reconnecting);
    }
    void onConnectionControllerMessageReceived(const std::vector<uint8_t>& message) override {
        messages.emplace_back(message.begin(), message.end());
    }
    void onConnectionControllerRequestProxyCredentials(const std::string& proxy) override {
        proxies.push_back(proxy);
    }

    std::vector<std::string> connected;
    std::vector<bool> disconnected;
    std::vector<std::string> messages;
    std::vector<std::string> proxies;
};

class ConnectionPeerTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (controller) {
            controller->setDelegate(nullptr);
        }
        controller.reset();
        // Let the sockets finish closing, so that no handler is left holding the service.
        waitFor([] { return false; }, 1s);
    }

    void startServer(std::vector<std::string> extra = {}) {
        server.reset();
        std::vector<std::string> argv = {
            "/usr/bin/python3",
            (kTests / "connectioncontroller/backend_websocket_server.py").string(),
            std::to_string(port)};
        argv.insert(argv.end(), extra.begin(), extra.end());
        server = std::make_unique<testsupport::ServerProcess>(argv, std::vector<std::string>{},
                                                              (logs / "server.log").string());
        ASSERT_TRUE(server->waitForPort("127.0.0.1", port)) << "the WebSocket server did not start";
    }

    std::unique_ptr<common::Connection> makeConnection() {
        return std::make_unique<common::Connection>(
            environment, *scheduler, *safeStore,
            std::make_unique<testsupport::RecordingLogger>("WebscoketConnection", connectionBook));
    }

    std::unique_ptr<ILogger> controllerLogger() {
        return std::make_unique<testsupport::RecordingLogger>("ConnectionController", book);
    }

    std::string url(const std::string& path, const char* scheme = "ws") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + path;
    }

    // Runs the main thread as the daemon does: due tasks, then the event loop.
    bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            scheduler->runDue();
            environment->PollEventLoop();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(2ms);
        }
        return done();
    }

    bool hasMessage(const std::string& text) const {
        return std::count(recorder.messages.begin(), recorder.messages.end(), text) > 0;
    }

    testsupport::TempDir root;
    testsupport::TempDir logs;
    testsupport::ScopedEnv systemRoot{"ORV_SYSTEM_ROOT", root.path().string()};
    unsigned short port = testsupport::freePort();
    std::unique_ptr<testsupport::ServerProcess> server;
    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    std::shared_ptr<extension::EventLoopEnvironment> environment =
        std::make_shared<extension::EventLoopEnvironment>();
    testsupport::MemoryParams params;
    std::unique_ptr<common::ISafeStore> safeStore =
        common::ISafeStore::create(params, {9, 8, 7}, {1, 2, 3});
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    std::shared_ptr<testsupport::LogBook> connectionBook = std::make_shared<testsupport::LogBook>();
    Recorder recorder;
    std::unique_ptr<ConnectionController> controller;
};

TEST_F(ConnectionPeerTest, RunsTheSessionAndReconnectsWhenTheServerCloses) {
    startServer();
    controller = std::make_unique<ConnectionController>(
        scheduler->getTaskQueue("Controller"), params, makeConnection(), controllerLogger());
    controller->setDelegate(&recorder);
    controller->addToConnectionHeader("Authorization", "token-1");
    controller->requestStart(url("/ws"));
    ASSERT_TRUE(
        waitFor([&] { return recorder.connected.size() == 1 && hasMessage("hello token-1"); }));
    EXPECT_EQ(recorder.connected[0], ":0  ");
    EXPECT_EQ(controller->getState(), State::Connected);

    std::vector<bool> results;
    controller->requestSendMessage({'o', 'n', 'e'}, [&](bool ok) { results.push_back(ok); });
    controller->requestSendMessage({'t', 'w', 'o'}, [&](bool ok) { results.push_back(ok); });
    ASSERT_TRUE(waitFor([&] { return hasMessage("echo:one") && hasMessage("echo:two"); }));
    ASSERT_TRUE(waitFor([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<bool>{true, true}));

    // The server closes with 1000: a disconnect, and a new connection 5000 ms later.
    controller->requestSendMessage({'c', 'l', 'o', 's', 'e'}, nullptr);
    ASSERT_TRUE(waitFor([&] { return !recorder.disconnected.empty(); }));
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{true});
    scheduler->advance(ConnectionController::kReconnectDelay);
    ASSERT_TRUE(waitFor([&] { return recorder.connected.size() == 2; }));
    ASSERT_TRUE(waitFor([&] {
        return std::count(recorder.messages.begin(), recorder.messages.end(), "hello token-1") == 2;
    }));

    // A requested stop is reported once, as final.
    controller->requestStop();
    ASSERT_TRUE(waitFor([&] { return recorder.disconnected.size() == 2; }));
    EXPECT_EQ(recorder.disconnected.back(), false);
    waitFor([] { return false; }, 1s);
    EXPECT_EQ(recorder.disconnected.size(), 2u);
    EXPECT_EQ(controller->getState(), State::Disconnected);
}

TEST_F(ConnectionPeerTest, RefusedUpgradeIsADisconnectAndNoConnection) {
    startServer();
    controller = std::make_unique<ConnectionController>(
        scheduler->getTaskQueue("Controller"), params, makeConnection(), controllerLogger());
    controller->setDelegate(&recorder);
    controller->requestStart(url("/refuse"));
    ASSERT_TRUE(waitFor([&] { return recorder.disconnected.size() == 1; }));
    EXPECT_TRUE(recorder.connected.empty());
    EXPECT_EQ(controller->getState(), State::Connecting);
}

TEST_F(ConnectionPeerTest, FallsBackFromTheQtPathToThisConnection) {
    startServer();
    auto log = std::make_shared<ConnectionLog>();
    auto primary = std::make_unique<FakeConnection>(log);
    FakeConnection* qt = primary.get();
    controller = std::make_unique<ConnectionController>(scheduler->getTaskQueue("Controller"),
                                                        params, std::move(primary),
                                                        makeConnection(), controllerLogger());
    controller->setDelegate(&recorder);
    controller->addToConnectionHeader("Authorization", "device-token");
    controller->requestStart(url("/ws"));
    waitFor([&] { return !log->connects.empty(); });
    for (int i = 0; i < 5; ++i) {
        qt->reportFatalError();
    }
    ASSERT_TRUE(waitFor([&] { return hasMessage("hello device-token"); }));
    EXPECT_EQ(params.getValue("UseLegacyNetworking", ""), "1");
    EXPECT_EQ(controller->getState(), State::Connected);
    controller->requestSendMessage({'h', 'i'}, nullptr);
    ASSERT_TRUE(waitFor([&] { return hasMessage("echo:hi"); }));
}

TEST_F(ConnectionPeerTest, TlsFailuresAreFatalSoThisPathFallsBackToo) {
    // A TLS WebSocket server with a certificate nobody trusts.
    const auto cert = (logs / "cert.pem").string();
    const auto key = (logs / "key.pem").string();
    {
        testsupport::ServerProcess openssl(
            {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
             cert, "-days", "2", "-subj", "/CN=127.0.0.1"},
            {}, (logs / "openssl.log").string());
        for (int i = 0; i < 1000 && openssl.running(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
    }
    ASSERT_TRUE(boost::filesystem::exists(cert));
    const auto script = kTests.parent_path().parent_path().parent_path() /
                        "foundation/tests/network/peers/websocket_server.py";
    server = std::make_unique<testsupport::ServerProcess>(
        std::vector<std::string>{"/usr/bin/python3", script.string(), std::to_string(port), cert,
                                 key},
        std::vector<std::string>{}, (logs / "server.log").string());
    ASSERT_TRUE(server->waitForPort("127.0.0.1", port));

    // The Qt path fails first; this connection takes over and fails the TLS handshake.
    auto log = std::make_shared<ConnectionLog>();
    auto primary = std::make_unique<FakeConnection>(log);
    FakeConnection* qt = primary.get();
    controller = std::make_unique<ConnectionController>(scheduler->getTaskQueue("Controller"),
                                                        params, std::move(primary),
                                                        makeConnection(), controllerLogger());
    controller->setDelegate(&recorder);
    controller->requestStart(url("/ws", "wss"));
    waitFor([&] { return !log->connects.empty(); });
    for (int i = 0; i < 5; ++i) {
        qt->reportFatalError();
    }
    ASSERT_TRUE(waitFor([&] { return params.getValue("UseLegacyNetworking", "") == "1"; }));
    for (int attempt = 0; attempt < 5 && log->connects.size() < 2; ++attempt) {
        ASSERT_TRUE(waitFor([&] {
            return connectionBook->count(ILogger::Error,
                                         "Fatal connection error occured: SecureHandshakeFailed") ==
                   static_cast<std::size_t>(attempt + 1);
        })) << attempt;
        waitFor([&] {
            return recorder.disconnected.size() == static_cast<std::size_t>(attempt + 1) ||
                   log->connects.size() == 2;
        });
        scheduler->advance(ConnectionController::kReconnectDelay);
    }
    // After five fatal TLS failures the Qt path is back, and the parameter flipped again.
    ASSERT_TRUE(waitFor([&] { return log->connects.size() == 2; }));
    EXPECT_EQ(log->connects.back(), url("/ws", "wss"));
    EXPECT_EQ(params.getValue("UseLegacyNetworking", ""), "0");
    EXPECT_TRUE(recorder.connected.empty());
}

TEST_F(ConnectionPeerTest, ProxyAsksForCredentialsAndConnectsWithTheStoredOnes) {
    startServer();
    // squid with Basic authentication for alice.
    const auto dir = boost::filesystem::path(logs.path()) / "squid";
    boost::filesystem::create_directories(dir);
    for (auto path = dir; !path.empty() && path != path.root_path(); path = path.parent_path()) {
        boost::filesystem::permissions(path, boost::filesystem::add_perms |
                                                 boost::filesystem::others_read |
                                                 boost::filesystem::others_exe);
    }
    boost::filesystem::permissions(dir, boost::filesystem::all_all);
    {
        testsupport::ServerProcess htpasswd(
            {"htpasswd", "-b", "-c", (dir / "basic.passwd").string(), "alice", "wonder land"});
        for (int i = 0; i < 500 && htpasswd.running(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
    }
    boost::filesystem::permissions(
        dir / "basic.passwd", boost::filesystem::owner_read | boost::filesystem::owner_write |
                                  boost::filesystem::group_read | boost::filesystem::others_read);
    const unsigned short proxyPort = testsupport::freePort();
    {
        std::ofstream conf((dir / "squid.conf").string());
        conf
            << "http_port 127.0.0.1:" << proxyPort << "\npid_filename "
            << (dir / "squid.pid").string() << "\ncache_log " << (dir / "cache.log").string()
            << "\naccess_log stdio:" << (dir / "access.log").string() << "\ncoredump_dir "
            << dir.string()
            << "\ncache deny all\nvisible_hostname localhost\nshutdown_lifetime 1 seconds\n"
               "dns_nameservers 127.0.0.1\nauth_param basic program /usr/lib/squid/basic_ncsa_auth "
            << (dir / "basic.passwd").string()
            << "\nauth_param basic children 2\nauth_param basic realm test proxy\n"
               "acl users proxy_auth REQUIRED\nhttp_access allow users\nhttp_access deny all\n";
    }
    testsupport::ServerProcess squid({"squid", "-N", "-f", (dir / "squid.conf").string()}, {},
                                     (dir / "stderr.log").string());
    ASSERT_TRUE(squid.waitForPort("127.0.0.1", proxyPort, 30s));
    network::URL proxy;
    proxy.host = "127.0.0.1";
    proxy.port = proxyPort;
    environment->GetNetworkFactory()->GetNetworkConnectivity()->SetProxy(proxy);

    auto connection = makeConnection();
    testsupport::RecordingConnectionDelegate delegate;
    connection->setDelegate(&delegate);
    connection->addToConnectionHeader("Authorization", "via-proxy");
    connection->connect(url("/ws"));
    const std::string proxyText = "proxy 127.0.0.1 : " + std::to_string(proxyPort);
    ASSERT_TRUE(waitFor([&] { return !delegate.events.empty(); }));
    EXPECT_EQ(delegate.events, std::vector<std::string>{proxyText});

    connection->setProxyUserPass(L"alice", L"wonder land");
    connection->connect(url("/ws"));
    ASSERT_TRUE(waitFor([&] { return delegate.events.size() >= 3; }));
    EXPECT_EQ(delegate.events[1],
              "connected 127.0.0.1:" + std::to_string(proxyPort) + " alice wonder land");
    EXPECT_EQ(delegate.events[2], "message hello via-proxy");
    connection->setDelegate(nullptr);
}

}  // namespace
}  // namespace connectiontest
