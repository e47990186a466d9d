#include "common/connectioncontroller/ConnectionController.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeConnection.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/common/tests/support/RecordingLogger.h"

using common::ConnectionController;
using common::IConnectionDelegate;
using common::ILogger;
using connectiontest::ConnectionLog;
using connectiontest::FakeConnection;
using State = common::IConnectionController::State;
using namespace std::chrono_literals;

namespace {

class Recorder : public common::IConnectionControllerDelegate {
public:
    void onConnectionControllerConnected(std::string host, uint16_t port, std::string,
                                         std::string) override {
        connected.push_back(host + ":" + std::to_string(port));
    }
    void onConnectionControllerDisconnected(bool reconnecting) override {
        disconnected.push_back(reconnecting);
    }
    void onConnectionControllerMessageReceived(const std::vector<uint8_t>& message) override {
        messages.push_back(message);
    }
    void onConnectionControllerRequestProxyCredentials(const std::string& proxy) override {
        proxyRequests.push_back(proxy);
    }
    void clear() { *this = Recorder(); }

    std::vector<std::string> connected;
    std::vector<bool> disconnected;
    std::vector<std::vector<uint8_t>> messages;
    std::vector<std::string> proxyRequests;
};

const std::string kUrl = "wss://backend.test/socket";

class ConnectionControllerTest : public ::testing::Test {
protected:
    void make(bool twoConnections) {
        auto primaryConnection = std::make_unique<FakeConnection>(primaryLog);
        primary = primaryConnection.get();
        auto logger = std::make_unique<testsupport::RecordingLogger>("ConnectionController", book);
        if (twoConnections) {
            auto backupConnection = std::make_unique<FakeConnection>(backupLog);
            backup = backupConnection.get();
            controller = std::make_unique<ConnectionController>(
                scheduler->getTaskQueue("ConnectionController"), params,
                std::move(primaryConnection), std::move(backupConnection), std::move(logger));
        } else {
            controller = std::make_unique<ConnectionController>(
                scheduler->getTaskQueue("ConnectionController"), params,
                std::move(primaryConnection), std::move(logger));
        }
        controller->setDelegate(&recorder);
    }

    void TearDown() override {
        if (controller) {
            controller->setDelegate(nullptr);
            controller.reset();
        }
    }

    void run() { scheduler->runDue(); }

    // Drives the controller into `state` over the primary connection.
    void reach(State state) {
        if (state == State::Disconnected) {
            return;
        }
        controller->requestStart(kUrl);
        run();
        if (state == State::Connecting) {
            return;
        }
        primary->reportConnected();
        run();
        if (state == State::Disconnecting) {
            controller->requestStop();
        } else if (state == State::Restarting) {
            controller->requestRestart();
        }
        run();
        ASSERT_EQ(controller->getState(), state);
    }

    void fatalErrors(FakeConnection* connection, int count) {
        for (int i = 0; i < count; ++i) {
            connection->reportFatalError();
        }
        run();
    }

    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    testsupport::MemoryParams params;
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    std::shared_ptr<ConnectionLog> primaryLog = std::make_shared<ConnectionLog>();
    std::shared_ptr<ConnectionLog> backupLog = std::make_shared<ConnectionLog>();
    FakeConnection* primary = nullptr;
    FakeConnection* backup = nullptr;
    Recorder recorder;
    std::unique_ptr<ConnectionController> controller;
};

// --- the transition table ---------------------------------------------------------------------

enum class Stimulus {
    Start,
    Stop,
    Restart,
    Connected,
    DisconnectedReconnect,
    DisconnectedRequested,
    DisconnectedProxy,
    Message,
    Send,
    Fatal,
};

const char* name(Stimulus stimulus) {
    static const char* const names[] = {"Start",
                                        "Stop",
                                        "Restart",
                                        "Connected",
                                        "Disconnected(Reconnect)",
                                        "Disconnected(Requested)",
                                        "Disconnected(ProxyCredentialsRequired)",
                                        "Message",
                                        "Send",
                                        "Fatal"};
    return names[static_cast<int>(stimulus)];
}

enum class Told { Nothing, Reconnecting, Stopped };

// Rows name only what differs from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

struct Row {
    State from;
    Stimulus stimulus;
    State to;
    bool dropped = false;
    int connects = 0;
    int disconnects = 0;
    Told told = Told::Nothing;
    bool connectedTold = false;
    bool messageTold = false;
    std::optional<bool> sendResult;  // what the caller's completion gets; sent only in Connected
};

// Two-connection form. Every state meets every stimulus.
const std::vector<Row> kTable = {
    {State::Disconnected, Stimulus::Start, State::Connecting, false, 1},
    {State::Disconnected, Stimulus::Stop, State::Disconnected, false, 0, 0, Told::Stopped},
    {State::Disconnected, Stimulus::Restart, State::Disconnected, true},
    {State::Disconnected, Stimulus::Connected, State::Disconnected, true},
    {State::Disconnected, Stimulus::DisconnectedReconnect, State::Disconnected, true},
    {State::Disconnected, Stimulus::Message, State::Disconnected, true},
    {State::Disconnected, Stimulus::Send, State::Disconnected, false, 0, 0, Told::Nothing, false,
     false, false},
    {State::Disconnected, Stimulus::Fatal, State::Disconnected},

    {State::Connecting, Stimulus::Start, State::Connecting, true},
    {State::Connecting, Stimulus::Stop, State::Disconnecting, false, 0, 1},
    {State::Connecting, Stimulus::Restart, State::Connecting, false, 1},
    {State::Connecting, Stimulus::Connected, State::Connected, false, 0, 0, Told::Nothing, true},
    {State::Connecting, Stimulus::DisconnectedReconnect, State::Connecting, false, 0, 0,
     Told::Reconnecting},
    {State::Connecting, Stimulus::DisconnectedRequested, State::Disconnected, false, 0, 0,
     Told::Stopped},
    {State::Connecting, Stimulus::DisconnectedProxy, State::Connecting},
    {State::Connecting, Stimulus::Message, State::Connecting, true},
    {State::Connecting, Stimulus::Send, State::Connecting, true, 0, 0, Told::Nothing, false, false,
     false},
    {State::Connecting, Stimulus::Fatal, State::Connecting},

    {State::Connected, Stimulus::Start, State::Connected, true},
    {State::Connected, Stimulus::Stop, State::Disconnecting, false, 0, 1},
    {State::Connected, Stimulus::Restart, State::Restarting, false, 0, 1},
    {State::Connected, Stimulus::Connected, State::Connected, true},
    {State::Connected, Stimulus::DisconnectedReconnect, State::Connecting, false, 0, 0,
     Told::Reconnecting},
    {State::Connected, Stimulus::DisconnectedRequested, State::Disconnected, false, 0, 0,
     Told::Stopped},
    {State::Connected, Stimulus::DisconnectedProxy, State::Connected},
    {State::Connected, Stimulus::Message, State::Connected, false, 0, 0, Told::Nothing, false,
     true},
    {State::Connected, Stimulus::Send, State::Connected, false, 0, 0, Told::Nothing, false, false,
     true},
    {State::Connected, Stimulus::Fatal, State::Connected},

    {State::Disconnecting, Stimulus::Start, State::Disconnecting, true},
    {State::Disconnecting, Stimulus::Stop, State::Disconnecting, true},
    {State::Disconnecting, Stimulus::Restart, State::Disconnecting, true},
    {State::Disconnecting, Stimulus::Connected, State::Disconnecting, true},
    // A stop was asked for: whatever reason the connection reports, it ends here.
    {State::Disconnecting, Stimulus::DisconnectedReconnect, State::Disconnected, false, 0, 0,
     Told::Stopped},
    {State::Disconnecting, Stimulus::DisconnectedRequested, State::Disconnected, false, 0, 0,
     Told::Stopped},
    {State::Disconnecting, Stimulus::DisconnectedProxy, State::Disconnected, false, 0, 0,
     Told::Stopped},
    {State::Disconnecting, Stimulus::Message, State::Disconnecting, false, 0, 0, Told::Nothing,
     false, true},
    {State::Disconnecting, Stimulus::Send, State::Disconnecting, true, 0, 0, Told::Nothing, false,
     false, false},
    {State::Disconnecting, Stimulus::Fatal, State::Disconnecting},

    {State::Restarting, Stimulus::Start, State::Restarting, true},
    // A stop during a restart is carried out: the close under way ends it.
    {State::Restarting, Stimulus::Stop, State::Disconnecting},
    {State::Restarting, Stimulus::Restart, State::Restarting, true},
    {State::Restarting, Stimulus::Connected, State::Restarting, true},
    {State::Restarting, Stimulus::DisconnectedReconnect, State::Connecting, false, 1},
    {State::Restarting, Stimulus::DisconnectedRequested, State::Connecting, false, 1},
    {State::Restarting, Stimulus::DisconnectedProxy, State::Connecting, false, 1},
    {State::Restarting, Stimulus::Message, State::Restarting, false, 0, 0, Told::Nothing, false,
     true},
    {State::Restarting, Stimulus::Send, State::Restarting, true, 0, 0, Told::Nothing, false, false,
     false},
    {State::Restarting, Stimulus::Fatal, State::Restarting},
};

class TransitionTableTest : public ConnectionControllerTest {
protected:
    void check(const Row& row) {
        SCOPED_TRACE(std::string(common::IConnectionController::toString(row.from)) + " + " +
                     name(row.stimulus));
        *primaryLog = ConnectionLog();
        *backupLog = ConnectionLog();
        make(twoConnections);
        reach(row.from);
        recorder.clear();
        book->clear();
        const auto connectsBefore = primaryLog->connects.size();
        const auto disconnectsBefore = primaryLog->disconnects;

        std::optional<bool> sendResult;
        const std::vector<uint8_t> bytes{1, 2, 3};
        switch (row.stimulus) {
            case Stimulus::Start:
                controller->requestStart("wss://other.test/");
                break;
            case Stimulus::Stop:
                controller->requestStop();
                break;
            case Stimulus::Restart:
                controller->requestRestart();
                break;
            case Stimulus::Connected:
                primary->reportConnected("proxy.test", 3128);
                break;
            case Stimulus::DisconnectedReconnect:
                primary->reportDisconnected(IConnectionDelegate::Reconnect);
                break;
            case Stimulus::DisconnectedRequested:
                primary->reportDisconnected(IConnectionDelegate::Requested);
                break;
            case Stimulus::DisconnectedProxy:
                primary->reportDisconnected(IConnectionDelegate::ProxyCredentialsRequired);
                break;
            case Stimulus::Message:
                primary->reportMessage(bytes);
                break;
            case Stimulus::Send:
                controller->requestSendMessage(bytes, [&](bool ok) {
                    EXPECT_FALSE(sendResult.has_value()) << "completion called twice";
                    sendResult = ok;
                });
                break;
            case Stimulus::Fatal:
                primary->reportFatalError();
                break;
        }
        run();
        if (row.stimulus == Stimulus::Send && !primaryLog->sendCallbacks.empty()) {
            EXPECT_EQ(primaryLog->sent.back(), bytes);
            primaryLog->sendCallbacks.back()(true);
        }

        EXPECT_EQ(controller->getState(), row.to);
        EXPECT_EQ(book->contains(ILogger::Warning, "drop event"), row.dropped);
        EXPECT_EQ(primaryLog->connects.size() - connectsBefore, static_cast<size_t>(row.connects));
        EXPECT_EQ(primaryLog->disconnects - disconnectsBefore, row.disconnects);
        switch (row.told) {
            case Told::Nothing:
                EXPECT_TRUE(recorder.disconnected.empty());
                break;
            case Told::Reconnecting:
                EXPECT_EQ(recorder.disconnected, std::vector<bool>{true});
                break;
            case Told::Stopped:
                EXPECT_EQ(recorder.disconnected, std::vector<bool>{false});
                break;
        }
        EXPECT_EQ(recorder.connected.size(), row.connectedTold ? 1u : 0u);
        if (row.connectedTold) {
            EXPECT_EQ(recorder.connected.front(), "proxy.test:3128");
        }
        EXPECT_EQ(recorder.messages.size(), row.messageTold ? 1u : 0u);
        if (row.stimulus == Stimulus::Send) {
            EXPECT_EQ(sendResult, row.sendResult);
        }
        EXPECT_TRUE(primaryLog->connects.empty() || primaryLog->connects.front() == kUrl ||
                    row.from == State::Disconnected);
        EXPECT_TRUE(backupLog->connects.empty());

        controller->setDelegate(nullptr);
        controller.reset();
    }

    bool twoConnections = true;
};

TEST_F(TransitionTableTest, TwoConnectionForm) {
    for (const Row& row : kTable) {
        check(row);
    }
}

TEST_F(TransitionTableTest, OneConnectionFormDropsRestartWhileConnectingAndFatalErrors) {
    twoConnections = false;
    for (Row row : kTable) {
        if (row.stimulus == Stimulus::Fatal ||
            (row.from == State::Connecting && row.stimulus == Stimulus::Restart)) {
            row.to = row.from;
            row.dropped = true;
            row.connects = 0;
        }
        check(row);
    }
    EXPECT_EQ(book->count(ILogger::Warning, "drop event 'Unknown' in 'Disconnected'"), 0u);
}

TEST_F(TransitionTableTest, OneConnectionFormLogsFatalErrorAsUnknownEvent) {
    twoConnections = false;
    make(false);
    reach(State::Connecting);
    fatalErrors(primary, 6);
    EXPECT_EQ(book->count(ILogger::Warning, "drop event 'Unknown' in 'Connecting'"), 6u);
    EXPECT_FALSE(params.hasValue("UseLegacyNetworking"));
}

// --- logging of the machine -------------------------------------------------------------------

TEST_F(ConnectionControllerTest, SubFacilityFollowsTheState) {
    make(true);
    EXPECT_EQ(book->lastFacility(), "ConnectionController:Disconnected");
    reach(State::Connected);
    EXPECT_EQ(book->lastFacility(), "ConnectionController:Connected");
    EXPECT_TRUE(book->contains(ILogger::Trace, "state change from 'Connecting' to 'Connected'"));
    EXPECT_TRUE(book->contains(ILogger::Trace, "will do event 'Start' in 'Disconnected'"));
    EXPECT_TRUE(book->contains(ILogger::Info, "start, url: 'wss://backend.test/socket'"));
}

// --- reconnect --------------------------------------------------------------------------------

TEST_F(ConnectionControllerTest, UnrequestedDisconnectReconnectsAfterFiveSeconds) {
    make(true);
    reach(State::Connected);
    primary->reportDisconnected();
    run();
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{true});
    EXPECT_EQ(controller->getState(), State::Connecting);
    EXPECT_TRUE(book->contains(ILogger::Info, "Reconnecting."));
    ASSERT_EQ(primaryLog->connects.size(), 1u);

    scheduler->advance(4990ms);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
    scheduler->advance(20ms);
    ASSERT_EQ(primaryLog->connects.size(), 2u);
    EXPECT_EQ(primaryLog->connects.back(), kUrl);

    // Each failed attempt is followed by the next one 5000 ms later, without limit.
    for (int attempt = 3; attempt <= 5; ++attempt) {
        primary->reportDisconnected();
        scheduler->advance(5010ms);
        EXPECT_EQ(primaryLog->connects.size(), static_cast<size_t>(attempt));
    }
    primary->reportConnected();
    run();
    EXPECT_EQ(controller->getState(), State::Connected);
}

TEST_F(ConnectionControllerTest, StopCancelsThePendingReconnect) {
    make(true);
    reach(State::Connected);
    primary->reportDisconnected();
    run();
    controller->requestStop();
    run();
    // No attempt is running, so there is nothing to wait for.
    EXPECT_EQ(controller->getState(), State::Disconnected);
    EXPECT_EQ(recorder.disconnected, (std::vector<bool>{true, false}));
    scheduler->advance(60s);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
    EXPECT_EQ(primaryLog->reason(), IConnectionDelegate::Requested);
}

TEST_F(ConnectionControllerTest, RestartWhileWaitingConnectsOnceAtOnce) {
    make(true);
    reach(State::Connected);
    primary->reportDisconnected();
    run();
    controller->requestRestart();
    run();
    EXPECT_EQ(primaryLog->connects.size(), 2u);
    scheduler->advance(6s);
    EXPECT_EQ(primaryLog->connects.size(), 2u);
}

TEST_F(ConnectionControllerTest, ConnectionThatComesUpCancelsTheReconnect) {
    make(true);
    reach(State::Connected);
    primary->reportDisconnected();
    run();
    // A late success of the attempt that was given up.
    primary->reportConnected();
    run();
    EXPECT_EQ(controller->getState(), State::Connected);
    scheduler->advance(6s);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
}

TEST_F(ConnectionControllerTest, DestructionCancelsThePendingReconnectAndDoesNotWaitForIt) {
    make(true);
    reach(State::Connected);
    primary->reportDisconnected();
    run();
    const auto before = scheduler->now();
    controller->setDelegate(nullptr);
    controller.reset();
    EXPECT_LT(scheduler->now() - before, std::chrono::milliseconds(1000));
    EXPECT_EQ(primaryLog->connects.size(), 1u);
    EXPECT_TRUE(primaryLog->destroyed);
    EXPECT_TRUE(backupLog->destroyed);
    // The active connection is closed before it goes; the parked one is not.
    EXPECT_EQ(primaryLog->disconnects, 1);
    EXPECT_EQ(backupLog->disconnects, 0);
}

TEST_F(ConnectionControllerTest, DestructionRunsPendingRequestsThenClosesTheConnection) {
    make(true);
    controller->requestStart(kUrl);
    controller->setDelegate(nullptr);
    controller.reset();
    EXPECT_EQ(primaryLog->connects, std::vector<std::string>{kUrl});
    EXPECT_EQ(primaryLog->disconnects, 1);
}

// --- attempts and closes that are never reported ----------------------------------------------

TEST_F(ConnectionControllerTest, AttemptWithoutAnyReportIsGivenUpAndRetried) {
    make(true);
    controller->requestStart("http://backend.test/");
    run();
    // The socket refuses the URL with an error alone; no disconnect follows.
    primary->reportFatalError();
    scheduler->advance(ConnectionController::kAttemptDeadline - 10ms);
    EXPECT_EQ(controller->getState(), State::Connecting);
    EXPECT_TRUE(recorder.disconnected.empty());
    scheduler->advance(20ms);
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{true});
    EXPECT_EQ(primaryLog->disconnects, 1);

    // A late report of the attempt that was given up changes nothing.
    primary->reportDisconnected();
    run();
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{true});
    EXPECT_EQ(controller->getState(), State::Connecting);

    scheduler->advance(ConnectionController::kReconnectDelay);
    EXPECT_EQ(primaryLog->connects.size(), 2u);
}

TEST_F(ConnectionControllerTest, CloseWithoutReportEndsTheStopInTime) {
    make(true);
    reach(State::Connected);
    controller->requestStop();
    run();
    scheduler->advance(ConnectionController::kCloseDeadline + 10ms);
    EXPECT_EQ(controller->getState(), State::Disconnected);
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{false});
    scheduler->advance(10s);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
}

TEST_F(ConnectionControllerTest, StopDuringRestartIsCarriedOut) {
    make(true);
    reach(State::Restarting);
    controller->requestStop();
    run();
    primary->reportDisconnected();
    run();
    EXPECT_EQ(controller->getState(), State::Disconnected);
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{false});
    scheduler->advance(10s);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
}

// --- sending ----------------------------------------------------------------------------------

TEST_F(ConnectionControllerTest, SendWhileConnectedGetsTheConnectionsResult) {
    make(true);
    reach(State::Connected);
    std::vector<bool> results;
    controller->requestSendMessage({1}, [&](bool ok) { results.push_back(ok); });
    controller->requestSendMessage({2}, [&](bool ok) { results.push_back(ok); });
    controller->requestSendMessage({3}, nullptr);
    run();
    ASSERT_EQ(primaryLog->sendCallbacks.size(), 3u);
    primaryLog->sendCallbacks[0](true);
    primaryLog->sendCallbacks[1](false);
    primaryLog->sendCallbacks[2](true);
    EXPECT_EQ(results, (std::vector<bool>{true, false}));
}

TEST_F(ConnectionControllerTest, SendWhoseCallbackTheConnectionDropsCompletesWithFalse) {
    make(true);
    reach(State::Connected);
    std::optional<bool> result;
    controller->requestSendMessage({1}, [&](bool ok) { result = ok; });
    run();
    primaryLog->sendCallbacks.clear();
    EXPECT_EQ(result, false);
}

// --- proxy credentials ------------------------------------------------------------------------

TEST_F(ConnectionControllerTest, ProxyCredentialsWhileWaitingLeadToAConnect) {
    make(true);
    reach(State::Connecting);
    primary->reportProxyCredentialsRequired("proxy.test:3128");
    EXPECT_EQ(recorder.proxyRequests, std::vector<std::string>{"proxy.test:3128"});
    EXPECT_EQ(primaryLog->reason(), IConnectionDelegate::ProxyCredentialsRequired);
    primary->reportDisconnected();
    run();
    EXPECT_EQ(controller->getState(), State::Connecting);
    EXPECT_TRUE(recorder.disconnected.empty());
    // Waiting for the user takes as long as it takes.
    scheduler->advance(2 * ConnectionController::kAttemptDeadline);
    EXPECT_EQ(primaryLog->connects.size(), 1u);

    controller->setProxyUserPass(L"user", L"secret");
    run();
    ASSERT_EQ(primaryLog->connects.size(), 2u);
    EXPECT_EQ(primaryLog->credentials.back(),
              std::make_pair(std::wstring(L"user"), std::wstring(L"secret")));
    EXPECT_EQ(primaryLog->reason(), IConnectionDelegate::Reconnect);
    primary->reportConnected("proxy.test", 3128);
    run();
    EXPECT_EQ(recorder.connected, std::vector<std::string>{"proxy.test:3128"});
}

TEST_F(ConnectionControllerTest, ProxyCredentialsWhenNotWaitingOnlyReachTheConnection) {
    make(true);
    reach(State::Connected);
    controller->setProxyUserPass(L"user", L"secret");
    run();
    EXPECT_EQ(primaryLog->credentials.size(), 1u);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
}

TEST_F(ConnectionControllerTest, StopWhileWaitingForProxyCredentialsEndsAtOnce) {
    make(true);
    reach(State::Connecting);
    primary->reportProxyCredentialsRequired("proxy.test:3128");
    primary->reportDisconnected();
    controller->requestStop();
    run();
    EXPECT_EQ(controller->getState(), State::Disconnected);
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{false});
    controller->setProxyUserPass(L"user", L"secret");
    run();
    EXPECT_EQ(primaryLog->connects.size(), 1u);
}

// --- fall-back --------------------------------------------------------------------------------

TEST_F(ConnectionControllerTest, FifthFatalErrorFallsBackWithHeadersAndCredentials) {
    make(true);
    controller->addToConnectionHeader("Authorization", "old");
    controller->clearConnectionHeader();
    controller->addToConnectionHeader("Authorization", "token-1");
    controller->addToConnectionHeader("X-Other", "o");
    controller->addToConnectionHeader("Authorization", "token-2");
    controller->setProxyUserPass(L"user", L"secret");
    reach(State::Connecting);

    fatalErrors(primary, 4);
    EXPECT_EQ(controller->getState(), State::Connecting);
    EXPECT_TRUE(backupLog->connects.empty());

    fatalErrors(primary, 1);
    EXPECT_EQ(
        book->count(ILogger::Error, "Qt connection failed! Falling back to backup connection..."),
        1u);
    EXPECT_EQ(params.getValue("UseLegacyNetworking", ""), "1");
    EXPECT_EQ(primaryLog->disconnects, 1);
    EXPECT_EQ(backupLog->connects, std::vector<std::string>{kUrl});
    EXPECT_EQ(controller->getState(), State::Connecting);
    EXPECT_EQ(backupLog->headers, (std::vector<std::pair<std::string, std::string>>{
                                      {"Authorization", "token-2"}, {"X-Other", "o"}}));
    EXPECT_EQ(backupLog->credentials.size(), 1u);
    EXPECT_TRUE(recorder.disconnected.empty());

    // The parked connection reaches nobody any more; the backup connection drives the machine.
    primary->reportConnected();
    run();
    EXPECT_EQ(controller->getState(), State::Connecting);
    backup->reportConnected();
    run();
    EXPECT_EQ(controller->getState(), State::Connected);

    // Later settings go to the connection now active.
    controller->addToConnectionHeader("Authorization", "token-3");
    EXPECT_EQ(backupLog->headers.back().second, "token-3");
}

TEST_F(ConnectionControllerTest, SuccessfulConnectionResetsTheFatalErrorCount) {
    make(true);
    reach(State::Connecting);
    fatalErrors(primary, 4);
    primary->reportConnected();
    run();
    fatalErrors(primary, 4);
    EXPECT_TRUE(backupLog->connects.empty());
    EXPECT_FALSE(params.hasValue("UseLegacyNetworking"));
    fatalErrors(primary, 1);
    EXPECT_EQ(backupLog->connects.size(), 1u);
}

TEST_F(ConnectionControllerTest, FallBacksAlternateAndFlipTheParameterEachTime) {
    make(true);
    reach(State::Connecting);
    fatalErrors(primary, 5);
    fatalErrors(backup, 5);
    EXPECT_EQ(params.getValue("UseLegacyNetworking", ""), "0");
    EXPECT_EQ(primaryLog->connects.size(), 2u);
    fatalErrors(primary, 5);
    EXPECT_EQ(params.getValue("UseLegacyNetworking", ""), "1");
    const auto errors = book->messages(ILogger::Error);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0], "Qt connection failed! Falling back to backup connection...");
    EXPECT_EQ(errors[1], "Foundation connection failed! Falling back to backup connection...");
    EXPECT_EQ(errors[2], "Qt connection failed! Falling back to backup connection...");
    EXPECT_EQ(backupLog->connects.size(), 2u);
}

TEST_F(ConnectionControllerTest, FallBackReadsTheParameterNotTheActiveConnection) {
    params.setValue("UseLegacyNetworking", "1");
    make(true);
    reach(State::Connecting);
    fatalErrors(primary, 5);
    EXPECT_EQ(params.getValue("UseLegacyNetworking", ""), "0");
}

TEST_F(ConnectionControllerTest, FallBackCancelsThePendingReconnect) {
    make(true);
    reach(State::Connecting);
    primary->reportDisconnected();
    run();
    fatalErrors(primary, 5);
    scheduler->advance(10s);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
    EXPECT_EQ(backupLog->connects.size(), 1u);
}

TEST_F(ConnectionControllerTest, FatalErrorAfterStopDoesNotStartAConnection) {
    make(true);
    reach(State::Connected);
    fatalErrors(primary, 4);
    controller->requestStop();
    run();
    ASSERT_EQ(controller->getState(), State::Disconnecting);
    fatalErrors(primary, 1);
    // The stop under way is over: its report would reach nobody.
    EXPECT_EQ(controller->getState(), State::Disconnected);
    EXPECT_EQ(recorder.disconnected, std::vector<bool>{false});
    scheduler->advance(10s);
    EXPECT_TRUE(backupLog->connects.empty());
    EXPECT_EQ(params.getValue("UseLegacyNetworking", ""), "1");

    // Fatal errors while stopped switch back, still without a connect.
    fatalErrors(backup, 5);
    scheduler->advance(10s);
    EXPECT_EQ(primaryLog->connects.size(), 1u);
    EXPECT_EQ(controller->getState(), State::Disconnected);
}

TEST_F(ConnectionControllerTest, StopQueuedBehindAFallBackWins) {
    make(true);
    reach(State::Connected);
    fatalErrors(primary, 4);
    primary->reportFatalError();
    controller->requestStop();
    run();
    scheduler->advance(10s);
    EXPECT_TRUE(backupLog->connects.empty());
    EXPECT_EQ(controller->getState(), State::Disconnected);
}

}  // namespace
