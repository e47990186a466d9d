#include "interprocess/transport/Transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/common/tests/support/LogCapture.h"
#include "lib/interprocess/tests/support/IpcTestSupport.h"

using namespace std::chrono_literals;
using interprocess::ITransport;
using interprocess::Transport;
using ::testing::MatchesRegex;

namespace {

// A connection that keeps what it is asked to send; the test completes the sends.
class FakeConnection : public interprocess::IConnection {
public:
    void connect(const std::string& participant, std::function<void(bool)> callback) override {
        connectedTo = participant;
        connectCallback = std::move(callback);
    }
    void disconnect() override { ++disconnects; }
    void listen() override { ++listens; }
    void send(const std::string& text, std::function<void(bool)> callback) override {
        sent.push_back(text);
        callbacks.push_back(std::move(callback));
    }
    bool synchronousSend(const std::string& text) override {
        sent.push_back(text);
        return true;
    }
    std::string getName() const override { return "Service"; }
    std::string getParticipantName() const override { return "UnattendedUi-501"; }

    std::vector<std::string> sent;
    std::vector<std::function<void(bool)>> callbacks;
    std::string connectedTo;
    std::function<void(bool)> connectCallback;
    int disconnects = 0;
    int listens = 0;
};

class RecordingDelegate : public interprocess::ITransportDelegate {
public:
    void onTransportDisconnected(const ITransport&) override { events.push_back("disconnected"); }
    void onTransportConnecting(const ITransport&) const override { events.push_back("connecting"); }
    void onTransportConnected(const ITransport&) override { events.push_back("connected"); }
    void onTransportDisconnecting(const ITransport&) const override {
        events.push_back("disconnecting");
    }
    void onTransportListening(const ITransport&) const override { events.push_back("listening"); }
    unsigned long onTransportConnectRequest(const ITransport&, const std::string& name) override {
        events.push_back("request " + name);
        return 9;
    }
    void onTransportDataReceived(const ITransport&, const std::string& payload) override {
        events.push_back("data " + payload);
    }
    void onTransportSynchronousDataReceived(const ITransport&,
                                            const std::string& payload) override {
        events.push_back("sync " + payload);
    }
    mutable std::vector<std::string> events;
};

class TransportTest : public ::testing::Test {
protected:
    TransportTest() {
        auto owned = std::make_unique<FakeConnection>();
        connection = owned.get();
        transport = std::make_unique<Transport>(
            std::move(owned), scheduler->getTaskQueue("Transport"),
            common::ILogger::create("Transport"), [this] { return time.now(); });
        transport->setDelegate(&delegate);
    }

    std::shared_ptr<testsupport::LogCapture> logs = testsupport::LogCapture::install();
    ipctest::FakeTime time;
    std::shared_ptr<ipctest::ManualScheduler> scheduler = time.makeScheduler();
    FakeConnection* connection = nullptr;
    RecordingDelegate delegate;
    std::unique_ptr<Transport> transport;
};

TEST_F(TransportTest, MostOnceWrapsThePayloadInAFreshEnvelopeAndReportsTheConnectionsResult) {
    std::vector<bool> results;
    transport->send(R"({"message":{"$":"QuitRequest"}})", ITransport::MostOnce,
                    [&](bool ok) { results.push_back(ok); });
    transport->send("second", ITransport::MostOnce, [&](bool ok) { results.push_back(ok); });
    ASSERT_EQ(connection->sent.size(), 2u);
    EXPECT_THAT(
        connection->sent[0],
        MatchesRegex(R"(\{"data":\{"id":"[0-9a-zA-Z]{10}","json":"\{\\"message\\":\{\\"\$\\":)"
                     R"(\\"QuitRequest\\"\}\}","\$":"Message"\}\})"));
    EXPECT_NE(connection->sent[0].substr(0, 24), connection->sent[1].substr(0, 24));
    connection->callbacks[0](true);
    connection->callbacks[1](false);
    EXPECT_EQ(results, (std::vector<bool>{true, false}));
    EXPECT_TRUE(logs->waitFor(common::ILogger::Debug, "send message on qos: 'MostOnce'"));
}

TEST_F(TransportTest, LeastOnceIsResentWithTheSameIdUntilItGivesUpAfterSixSeconds) {
    std::vector<bool> results;
    transport->send("p", ITransport::LeastOnce, [&](bool ok) { results.push_back(ok); });
    ASSERT_EQ(connection->sent.size(), 1u);
    connection->callbacks[0](true);  // the connection's result does not complete it
    EXPECT_TRUE(results.empty());
    ipctest::advance(*scheduler, time, 5900ms);
    EXPECT_TRUE(results.empty());
    const std::size_t copies = connection->sent.size();
    EXPECT_GE(copies, 6u);
    for (const auto& text : connection->sent) {
        EXPECT_EQ(text, connection->sent[0]);
    }
    ipctest::advance(*scheduler, time, 1100ms);
    EXPECT_EQ(results, std::vector<bool>{false});
    ipctest::advance(*scheduler, time, 3000ms);
    EXPECT_EQ(results.size(), 1u);
    EXPECT_EQ(connection->sent.size(), copies);
}

TEST_F(TransportTest, AckCompletesAPendingMessageOnce) {
    std::vector<bool> results;
    transport->send("p", ITransport::LeastOnce, [&](bool ok) { results.push_back(ok); });
    const std::string sent = connection->sent[0];
    const std::string id = sent.substr(sent.find("\"id\":\"") + 6, 10);
    const std::string ack = R"({"data":{"id":")" + id + R"(","$":"Ack"}})";
    transport->onConnectionDataReceived(*connection, R"({"data":{"id":"other","$":"Ack"}})");
    EXPECT_TRUE(results.empty());
    transport->onConnectionDataReceived(*connection, ack);
    transport->onConnectionSynchronousDataReceived(*connection, ack);
    EXPECT_EQ(results, std::vector<bool>{true});
    ipctest::advance(*scheduler, time, 8000ms);
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(connection->sent.size(), 1u);
    EXPECT_TRUE(delegate.events.empty());
}

TEST_F(TransportTest, UnofferedDeliveryModesCompleteWithFalseAndSendNothing) {
    std::vector<bool> results;
    transport->send("p", ITransport::ExactlyOnce, [&](bool ok) { results.push_back(ok); });
    transport->send("p", static_cast<ITransport::QOS>(3), [&](bool ok) { results.push_back(ok); });
    EXPECT_EQ(results, (std::vector<bool>{false, false}));
    EXPECT_TRUE(connection->sent.empty());
    EXPECT_TRUE(logs->waitFor(common::ILogger::Debug, "send message on qos: 'Unknown'"));
    EXPECT_EQ(logs->count(common::ILogger::Error, "not implemented"), 2u);
}

TEST_F(TransportTest, ReceivedEnvelopes) {
    const struct {
        const char* text;
        bool synchronous;
        const char* event;  // null: nothing reaches the delegate
    } cases[] = {
        {R"({"data":{"id":"a","json":"{\"m\":1}","$":"Message"}})", false, "data {\"m\":1}"},
        {R"({"data":{"id":"a","json":"hide","$":"Message"}})", true, "sync hide"},
        {R"({"data":{"id":"a","json":"x","$":"Other"}})", false, "data "},
        {R"({})", false, "data "},
        {R"({"data":{"id":"a","json":7,"$":"Message"}})", false, "data "},
        {"not json", false, nullptr},
        {R"([])", false, nullptr},
        {R"({"data":5})", false, nullptr},
    };
    for (const auto& c : cases) {
        delegate.events.clear();
        if (c.synchronous) {
            transport->onConnectionSynchronousDataReceived(*connection, c.text);
        } else {
            transport->onConnectionDataReceived(*connection, c.text);
        }
        if (c.event == nullptr) {
            EXPECT_TRUE(delegate.events.empty()) << c.text;
        } else {
            EXPECT_EQ(delegate.events, std::vector<std::string>{c.event}) << c.text;
        }
    }
}

TEST_F(TransportTest, ConnectionEventsAndCallsAreForwarded) {
    transport->onConnectionConnecting(*connection);
    transport->onConnectionConnected(*connection);
    transport->onConnectionDisconnecting(*connection);
    transport->onConnectionListening(*connection);
    transport->onConnectionDisconnected(*connection);
    EXPECT_EQ(transport->onConnectionConnectRequest(*connection, "UnattendedUi-7"), 9u);
    EXPECT_EQ(delegate.events,
              (std::vector<std::string>{"connecting", "connected", "disconnecting", "listening",
                                        "disconnected", "request UnattendedUi-7"}));
    transport->setDelegate(nullptr);
    EXPECT_EQ(transport->onConnectionConnectRequest(*connection, "x"), 0u);

    bool connected = false;
    transport->connect("Service", [&](bool ok) { connected = ok; });
    EXPECT_EQ(connection->connectedTo, "Service");
    connection->connectCallback(true);
    EXPECT_TRUE(connected);
    transport->listen();
    transport->disconnect();
    EXPECT_EQ(connection->listens, 1);
    EXPECT_EQ(connection->disconnects, 1);
    EXPECT_EQ(transport->getName(), "Service");
    EXPECT_EQ(transport->getParticipantName(), "UnattendedUi-501");
    EXPECT_TRUE(transport->synchronousSend("s"));
    EXPECT_THAT(connection->sent.back(), MatchesRegex(R"(.*"json":"s","\$":"Message"\}\})"));
}

TEST_F(TransportTest, DestroyingWithPendingMessagesCallsNoCallback) {
    int calls = 0;
    transport->send("p", ITransport::LeastOnce, [&](bool) { ++calls; });
    transport.reset();
    ipctest::advance(*scheduler, time, 8000ms);
    EXPECT_EQ(calls, 0);
}

}  // namespace
