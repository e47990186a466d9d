#include "interprocess/connection/Connection.h"

#include <gtest/gtest.h>

#include <boost/variant/get.hpp>

#include <map>
#include <string>
#include <vector>

#include "interprocess/asynchronousdatalink/AsynchronousDataLink.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/interprocess/tests/support/IpcTestSupport.h"

using namespace std::chrono_literals;
using interprocess::Connection;
using interprocess::IConnection;

namespace {

// Records every delegate call as one line; answers connect requests with `grant`.
class RecordingDelegate : public interprocess::IConnectionDelegate {
public:
    void onConnectionDisconnected(const IConnection&) override { events.push_back("disconnected"); }
    void onConnectionConnecting(const IConnection&) const override {
        events.push_back("connecting");
    }
    void onConnectionConnected(const IConnection&) override { events.push_back("connected"); }
    void onConnectionDisconnecting(const IConnection&) const override {
        events.push_back("disconnecting");
    }
    void onConnectionListening(const IConnection&) const override { events.push_back("listening"); }
    unsigned long onConnectionConnectRequest(const IConnection&,
                                             const std::string& participant) override {
        events.push_back("request " + participant);
        if (onRequest) {
            return onRequest(participant);
        }
        return grant;
    }
    void onConnectionDataReceived(const IConnection&, const std::string& text) override {
        events.push_back("data " + text);
    }
    void onConnectionSynchronousDataReceived(const IConnection&, const std::string& text) override {
        events.push_back("sync " + text);
    }

    mutable std::vector<std::string> events;
    unsigned long grant = 0;
    std::function<unsigned long(const std::string&)> onRequest;
};

class ConnectionTest : public ::testing::Test {
protected:
    std::shared_ptr<interprocess::IAsynchronousDataLink> makeLink(const std::string& participant) {
        cleaner.add(prefix + "_" + participant);
        auto link = std::make_shared<interprocess::AsynchronousDataLink>(
            interprocess::IDataLink::create(prefix, participant),
            scheduler->getTaskQueue("AsynchronousDataLink"));
        EXPECT_TRUE(link->init());
        return link;
    }

    std::unique_ptr<Connection> makeConnection(
        std::shared_ptr<interprocess::IAsynchronousDataLink> link, bool connected = false,
        const std::string& peer = std::string(), unsigned long channel = 0) {
        return std::make_unique<Connection>(std::move(link), *scheduler, connected, peer, channel,
                                            [this] { return time.now(); });
    }

    void advance(std::chrono::milliseconds duration) {
        ipctest::advance(*scheduler, time, duration);
    }

    std::shared_ptr<testsupport::LogCapture> logs = testsupport::LogCapture::install();
    std::string prefix = ipctest::uniquePrefix();
    ipctest::QueueCleaner cleaner;
    ipctest::FakeTime time;
    std::shared_ptr<ipctest::ManualScheduler> scheduler = time.makeScheduler();
};

// Two endpoints in one process: alpha requests, beta listens and makes a connected
// connection for each accepted requester (as the IPC controller does).
class HandshakeTest : public ConnectionTest {
protected:
    void SetUp() override {
        alphaLink = makeLink("alpha");
        betaLink = makeLink("beta");
        requester = makeConnection(alphaLink);
        requester->setDelegate(&requesterEvents);
        listener = makeConnection(betaLink);
        listener->setDelegate(&listenerEvents);
        listenerEvents.onRequest = [this](const std::string& participant) {
            accepted = makeConnection(betaLink, true, participant, 3);
            accepted->setDelegate(&acceptedEvents);
            return 3UL;
        };
        listener->listen();
        advance(10ms);
    }

    void TearDown() override {
        requester.reset();
        accepted.reset();
        listener.reset();
    }

    void connect() {
        requester->connect("beta", [this](bool ok) { results.push_back(ok); });
        advance(500ms);
        ASSERT_EQ(results, std::vector<bool>{true});
    }

    std::shared_ptr<interprocess::IAsynchronousDataLink> alphaLink;
    std::shared_ptr<interprocess::IAsynchronousDataLink> betaLink;
    RecordingDelegate requesterEvents;
    RecordingDelegate listenerEvents;
    RecordingDelegate acceptedEvents;
    std::unique_ptr<Connection> requester;
    std::unique_ptr<Connection> listener;
    std::unique_ptr<Connection> accepted;
    std::vector<bool> results;
};

TEST_F(HandshakeTest, HandshakeDataAndOrderlyClose) {
    connect();
    EXPECT_EQ(requesterEvents.events, (std::vector<std::string>{"connecting", "connected"}));
    EXPECT_EQ(listenerEvents.events, (std::vector<std::string>{"listening", "request alpha"}));
    EXPECT_EQ(acceptedEvents.events, (std::vector<std::string>{"connected"}));
    EXPECT_EQ(requester->getParticipantName(), "beta");
    EXPECT_EQ(accepted->getParticipantName(), "alpha");
    EXPECT_TRUE(logs->waitFor(common::ILogger::Info, "connection accepted on channel: 3"));

    std::vector<bool> sent;
    requester->send("{\"x\":1}", [&](bool ok) { sent.push_back(ok); });
    accepted->send("back", [&](bool ok) { sent.push_back(ok); });
    advance(300ms);
    EXPECT_EQ(sent, (std::vector<bool>{true, true}));
    EXPECT_EQ(acceptedEvents.events.back(), "data {\"x\":1}");
    EXPECT_EQ(requesterEvents.events.back(), "data back");
    // The listener on channel 0 saw none of the channel-3 traffic.
    EXPECT_EQ(listenerEvents.events.size(), 2u);

    requester->disconnect();
    advance(600ms);
    EXPECT_EQ(requesterEvents.events.back(), "disconnected");
    EXPECT_EQ(acceptedEvents.events.back(), "disconnected");
    EXPECT_NE(
        std::find(requesterEvents.events.begin(), requesterEvents.events.end(), "disconnecting"),
        requesterEvents.events.end());
    EXPECT_TRUE(logs->waitFor(common::ILogger::Info, "shutdown received"));
    // Back in Init: sends fail at once.
    requester->send("late", [&](bool ok) { sent.push_back(ok); });
    advance(10ms);
    EXPECT_EQ(sent.back(), false);
    EXPECT_FALSE(requester->synchronousSend("late"));

    const auto records = logs->all();
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const auto& r) {
        return r._facility == "Connection:alpha:3" && r._message == "connected";
    }));
}

TEST_F(HandshakeTest, RefusedRequestReportsFalseAndTheListenerKeepsListening) {
    listenerEvents.onRequest = nullptr;
    listenerEvents.grant = 0;
    requester->connect("beta", [this](bool ok) { results.push_back(ok); });
    advance(500ms);
    EXPECT_EQ(results, std::vector<bool>{false});
    EXPECT_EQ(requesterEvents.events, (std::vector<std::string>{"connecting", "disconnected"}));
    // A second request reaches the listener, still listening.
    requester->connect("beta", [this](bool ok) { results.push_back(ok); });
    advance(500ms);
    EXPECT_EQ(results, (std::vector<bool>{false, false}));
    EXPECT_EQ(logs->count(common::ILogger::Error, "connection request rejected"), 2u);
}

TEST_F(HandshakeTest, PeerDisconnectIsAnsweredWithShutdownAndBothSidesEndInInit) {
    connect();
    accepted->disconnect();
    advance(600ms);
    EXPECT_EQ(requesterEvents.events.back(), "disconnected");
    EXPECT_EQ(acceptedEvents.events.back(), "disconnected");
    EXPECT_EQ(requester->getParticipantName(), "");
}

TEST_F(ConnectionTest, UnansweredConnectTimesOutOnThe31stTick) {
    auto link = makeLink("alpha");
    auto silent = makeLink("silent");
    auto connection = makeConnection(link);
    RecordingDelegate events;
    connection->setDelegate(&events);
    std::vector<bool> results;
    connection->connect("silent", [&](bool ok) { results.push_back(ok); });
    advance(3000ms);
    EXPECT_TRUE(results.empty());
    advance(300ms);
    EXPECT_EQ(results, std::vector<bool>{false});
    EXPECT_EQ(events.events, (std::vector<std::string>{"connecting", "disconnected"}));
    EXPECT_EQ(logs->count(common::ILogger::Error, "timeout"), 1u);
}

TEST_F(ConnectionTest, ConnectToAMissingParticipantReportsFalse) {
    auto connection = makeConnection(makeLink("alpha"));
    RecordingDelegate events;
    connection->setDelegate(&events);
    std::vector<bool> results;
    connection->connect("nobody", [&](bool ok) { results.push_back(ok); });
    advance(50ms);
    EXPECT_EQ(results, std::vector<bool>{false});
    EXPECT_EQ(events.events, std::vector<std::string>{"disconnected"});
    EXPECT_EQ(logs->count(common::ILogger::Error, "unable to connect to 'nobody'"), 1u);
}

// The peer is a bare data link that never answers: pings go unanswered.
TEST_F(ConnectionTest, SilentPeerIsDroppedWithPingTimeout) {
    cleaner.add(prefix + "_beta");
    auto peer = interprocess::IDataLink::create(prefix, "beta");
    ASSERT_TRUE(peer->init(100, 16384));
    auto connection = makeConnection(makeLink("alpha"), true, "beta", 5);
    RecordingDelegate events;
    connection->setDelegate(&events);

    advance(1200ms);
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    ASSERT_TRUE(peer->receive(payload, source, channel, synchronous));
    EXPECT_EQ(channel, 5u);
    EXPECT_NE(std::string(payload.begin(), payload.end()).find("\"$\":\"Ping\""),
              std::string::npos);
    advance(4500ms);
    EXPECT_EQ(events.events, std::vector<std::string>{"connected"});
    advance(3000ms);
    EXPECT_EQ(events.events, (std::vector<std::string>{"connected", "disconnected"}));
    EXPECT_EQ(logs->count(common::ILogger::Error, "ping timeout"), 1u);
}

TEST_F(ConnectionTest, LatePongIsWarnedAboutAndCountsAsAnswer) {
    cleaner.add(prefix + "_beta");
    auto peer = interprocess::IDataLink::create(prefix, "beta");
    ASSERT_TRUE(peer->init(100, 16384));
    auto connection = makeConnection(makeLink("alpha"), true, "beta", 5);
    advance(1200ms);
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    ASSERT_TRUE(peer->receive(payload, source, channel, synchronous));
    interprocess::protocol::Root root;
    ASSERT_TRUE(persistence::json_deserialize(std::string(payload.begin(), payload.end()), root));
    const auto id = boost::get<interprocess::protocol::Ping>(root.command).id;
    EXPECT_EQ(id.size(), 10u);
    advance(3000ms);
    const std::string pong = R"({"command":{"id":")" + id + R"(","$":"Pong"}})";
    ASSERT_TRUE(peer->send("alpha", 5, std::vector<signed char>(pong.begin(), pong.end()), false));
    advance(200ms);
    // Answered: the next check sends a fresh ping instead of timing out.
    advance(6000ms);
    EXPECT_EQ(logs->count(common::ILogger::Warning,
                          "Time between Ping and Pong is greater then 1 second. 3"),
              1u);
    EXPECT_EQ(logs->count(common::ILogger::Error, "ping timeout"), 0u);
}

TEST_F(ConnectionTest, SynchronousDataIsDeliveredEvenInInit) {
    cleaner.add(prefix + "_beta");
    auto peer = interprocess::IDataLink::create(prefix, "beta");
    auto connection = makeConnection(makeLink("alpha"));
    RecordingDelegate events;
    connection->setDelegate(&events);
    const std::string data = R"({"command":{"json":"payload","$":"Data"}})";
    ASSERT_TRUE(peer->send("alpha", 0, std::vector<signed char>(data.begin(), data.end()), true));
    ASSERT_TRUE(peer->send("alpha", 0, std::vector<signed char>(data.begin(), data.end()), false));
    advance(300ms);
    EXPECT_EQ(events.events, std::vector<std::string>{"sync payload"});
}

TEST_F(ConnectionTest, CompletionAfterTheConnectionIsGoneIsNotCalled) {
    cleaner.add(prefix + "_beta");
    auto peer = interprocess::IDataLink::create(prefix, "beta");
    ASSERT_TRUE(peer->init(100, 16384));
    auto link = makeLink("alpha");
    auto connection = makeConnection(link, true, "beta", 2);
    ipctest::runDue(*scheduler);
    int calls = 0;
    connection->send("x", [&](bool) { ++calls; });
    // Run only the actor's task: the link's send task is now queued with the completion.
    const std::size_t before = scheduler->getTasksSize();
    scheduler->tick();
    ASSERT_EQ(scheduler->getTasksSize(), before);  // the send task took the event's place
    connection.reset();
    advance(50ms);
    EXPECT_EQ(calls, 0);
}

}  // namespace
