// The Qt WebSocket connection under the connection controller, against a real WebSocket server
// (python3-websockets) on loopback that greets, echoes, closes, refuses the upgrade and is
// restarted.

#include <gtest/gtest.h>

#include <boost/filesystem/path.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/connectioncontroller/ConnectionController.h"
#include "common/connectioncontroller/WebSocketConnection.h"
#include "common/credentialstorage/ICredentialStorage.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/common/tests/support/NoCredentials.h"
#include "lib/common/tests/support/RecordingLogger.h"
#include "qtplatform/QtPlatform.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

using common::ConnectionController;
using common::ILogger;
using State = common::IConnectionController::State;
using namespace std::chrono_literals;

namespace {

class Recorder : public common::IConnectionControllerDelegate {
public:
    void onConnectionControllerConnected(std::string, uint16_t, std::string, std::string) override {
        ++connected;
    }
    void onConnectionControllerDisconnected(bool reconnecting) override {
        disconnected.push_back(reconnecting);
    }
    void onConnectionControllerMessageReceived(const std::vector<uint8_t>& message) override {
        messages.emplace_back(message.begin(), message.end());
    }
    void onConnectionControllerRequestProxyCredentials(const std::string&) override {}

    int connected = 0;
    std::vector<bool> disconnected;
    std::vector<std::string> messages;
};

const boost::filesystem::path kServerScript =
    boost::filesystem::path(__FILE__).parent_path() / "backend_websocket_server.py";

class BackendPeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        startServer();
        platform = std::make_unique<QtPlatform>(scheduler.get(), &credentials, "ConnectionTest");
        auto connection = std::make_unique<common::WebSocketConnection>(
            nullptr, *scheduler, *platform,
            std::make_unique<testsupport::RecordingLogger>("WebSocketConnection", connectionBook));
        controller = std::make_unique<ConnectionController>(
            scheduler->getTaskQueue("ConnectionController"), params, std::move(connection),
            std::make_unique<testsupport::RecordingLogger>("ConnectionController", book));
        controller->setDelegate(&recorder);
    }

    void TearDown() override {
        controller->setDelegate(nullptr);
        controller.reset();
        platform.reset();
    }

    void startServer() {
        server.reset();
        server = std::make_unique<testsupport::ServerProcess>(
            std::vector<std::string>{"/usr/bin/python3", kServerScript.string(),
                                     std::to_string(port)},
            std::vector<std::string>{}, (logs / "server.log").string());
        ASSERT_TRUE(server->waitForPort("127.0.0.1", port)) << "the WebSocket server did not start";
    }

    std::string url(const std::string& path) const {
        return "ws://127.0.0.1:" + std::to_string(port) + path;
    }

    // Runs the main thread's tasks until `done` holds or 20 s have passed.
    bool waitFor(const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < limit) {
            scheduler->runDue();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return done();
    }

    bool hasMessage(const std::string& text) const {
        return std::find(recorder.messages.begin(), recorder.messages.end(), text) !=
               recorder.messages.end();
    }

    testsupport::TempDir root;
    testsupport::TempDir logs;
    testsupport::ScopedEnv systemRoot{"ORV_SYSTEM_ROOT", root.path().string()};
    testsupport::ScopedEnv noProxy{"https_proxy", std::nullopt};
    testsupport::ScopedEnv noHttpProxy{"http_proxy", std::nullopt};
    unsigned short port = testsupport::freePort();
    std::unique_ptr<testsupport::ServerProcess> server;
    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    testsupport::NoCredentials credentials;
    testsupport::MemoryParams params;
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    std::shared_ptr<testsupport::LogBook> connectionBook = std::make_shared<testsupport::LogBook>();
    Recorder recorder;
    std::unique_ptr<QtPlatform> platform;
    std::unique_ptr<ConnectionController> controller;
};

TEST_F(BackendPeerTest, ConnectsExchangesMessagesAndReconnectsWhenTheServerCloses) {
    controller->addToConnectionHeader("Authorization", "token-1");
    controller->requestStart(url("/ws"));
    ASSERT_TRUE(waitFor([&] { return recorder.connected == 1 && hasMessage("hello token-1"); }));
    EXPECT_EQ(controller->getState(), State::Connected);

    std::vector<bool> results;
    controller->requestSendMessage({'p', 'i', 'n', 'g'}, [&](bool ok) { results.push_back(ok); });
    controller->requestSendMessage({'t', 'w', 'o'}, [&](bool ok) { results.push_back(ok); });
    ASSERT_TRUE(waitFor([&] { return hasMessage("echo:ping") && hasMessage("echo:two"); }));
    ASSERT_TRUE(waitFor([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<bool>{true, true}));

    // The server closes: an unrequested disconnect, and a new connection 5000 ms later.
    controller->requestSendMessage({'c', 'l', 'o', 's', 'e'}, nullptr);
    ASSERT_TRUE(waitFor([&] { return !recorder.disconnected.empty(); }));
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{true});
    EXPECT_EQ(controller->getState(), State::Connecting);
    scheduler->advance(ConnectionController::kReconnectDelay);
    ASSERT_TRUE(waitFor([&] { return recorder.connected == 2; }));
    EXPECT_EQ(std::count(recorder.messages.begin(), recorder.messages.end(), "hello token-1"), 2);

    // A requested stop is final.
    controller->requestStop();
    ASSERT_TRUE(waitFor([&] { return recorder.disconnected.size() == 2; }));
    EXPECT_EQ(recorder.disconnected.back(), false);
    EXPECT_EQ(controller->getState(), State::Disconnected);
    scheduler->advance(2 * ConnectionController::kReconnectDelay);
    std::this_thread::sleep_for(200ms);
    scheduler->runDue();
    EXPECT_EQ(recorder.connected, 2);

    // A message sent now completes with false.
    std::vector<bool> late;
    controller->requestSendMessage({'x'}, [&](bool ok) { late.push_back(ok); });
    ASSERT_TRUE(waitFor([&] { return !late.empty(); }));
    EXPECT_EQ(late, std::vector<bool>{false});
}

TEST_F(BackendPeerTest, RefusedUpgradeEndsTheAttemptAndIsRetried) {
    controller->requestStart(url("/refuse"));
    ASSERT_TRUE(waitFor([&] { return recorder.disconnected.size() == 1; }));
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{true});
    EXPECT_EQ(recorder.connected, 0);
    EXPECT_EQ(controller->getState(), State::Connecting);
    scheduler->advance(ConnectionController::kReconnectDelay);
    ASSERT_TRUE(waitFor([&] { return recorder.disconnected.size() == 2; }));
    EXPECT_EQ(recorder.connected, 0);
}

TEST_F(BackendPeerTest, ReconnectsOnceTheServerIsBack) {
    controller->requestStart(url("/ws"));
    ASSERT_TRUE(waitFor([&] { return recorder.connected == 1; }));

    server->stop();
    ASSERT_TRUE(waitFor([&] { return recorder.disconnected.size() == 1; }));
    // While the server is down every attempt fails and is followed by the next one.
    scheduler->advance(ConnectionController::kReconnectDelay);
    ASSERT_TRUE(waitFor([&] { return recorder.disconnected.size() == 2; }));
    EXPECT_EQ(recorder.connected, 1);

    startServer();
    scheduler->advance(ConnectionController::kReconnectDelay);
    ASSERT_TRUE(waitFor([&] { return recorder.connected == 2; }));
    EXPECT_EQ(controller->getState(), State::Connected);
}

TEST_F(BackendPeerTest, UrlTheSocketRefusesIsGivenUpAfterTheDeadline) {
    controller->requestStart("http://127.0.0.1:" + std::to_string(port) + "/ws");
    // The socket reports a fatal error and no disconnect.
    ASSERT_TRUE(waitFor([&] {
        return connectionBook->contains(ILogger::Error,
                                        "Fatal connection error occured: "
                                        "UnsupportedSocketOperationError");
    }));
    scheduler->runDue();
    EXPECT_EQ(controller->getState(), State::Connecting);
    EXPECT_TRUE(recorder.disconnected.empty());
    scheduler->advance(ConnectionController::kAttemptDeadline);
    ASSERT_TRUE(waitFor([&] { return !recorder.disconnected.empty(); }));
    EXPECT_EQ(recorder.disconnected.front(), true);
}

}  // namespace
