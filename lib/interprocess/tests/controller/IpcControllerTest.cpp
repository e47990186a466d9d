#include "interprocess/controller/IpcController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "interprocess/datalink/IDataLink.h"
#include "interprocess/transport/ITransport.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/interprocess/tests/support/ControllerRecorder.h"
#include "lib/interprocess/tests/support/IpcTestSupport.h"

using namespace std::chrono_literals;
using helper::ApplicationType;
using interprocess::IpcController;

namespace {

using Recorder = ipctest::ControllerRecorder;

// Several endpoints of one run (one queue prefix) in this process, on a clock the test moves.
class IpcControllerTest : public ::testing::Test {
protected:
    std::unique_ptr<IpcController> makeController(const std::string& participant) {
        cleaner.add(prefix + "_" + participant);
        return std::make_unique<IpcController>(participant, prefix, *scheduler,
                                               common::ILogger::create("IpcController"),
                                               [this] { return time.now(); });
    }

    std::unique_ptr<interprocess::IDataLink> rawLink(const std::string& participant) {
        cleaner.add(prefix + "_" + participant);
        auto link = interprocess::IDataLink::create(prefix, participant);
        EXPECT_TRUE(link->init(100, 16384));
        return link;
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

TEST_F(IpcControllerTest, PendingMessagesGoOutInOrderOnceTheirPeerConnected) {
    auto service = makeController("Service");
    Recorder serviceEvents;
    service->subscribe(&serviceEvents);
    ASSERT_TRUE(service->start());
    EXPECT_TRUE(service->send(ApplicationType::UnattendedUi, "{\"n\":1}"));
    EXPECT_TRUE(service->send(ApplicationType::UnattendedUi, "{\"n\":2}"));
    EXPECT_TRUE(logs->waitFor(common::ILogger::Debug,
                              "queue message to: 'UnattendedUi', json: '{\"n\":1}'"));

    auto ui = makeController("UnattendedUi-501");
    Recorder uiEvents;
    ui->subscribe(&uiEvents);
    ASSERT_TRUE(ui->start());
    std::vector<bool> connected;
    ui->connectToService([&](bool ok) { connected.push_back(ok); });
    advance(1000ms);

    EXPECT_EQ(connected, std::vector<bool>{true});
    EXPECT_EQ(serviceEvents.events, std::vector<std::string>{"connected UnattendedUi-501"});
    EXPECT_EQ(uiEvents.events, (std::vector<std::string>{"connected Service", "message 1 {\"n\":1}",
                                                         "message 1 {\"n\":2}"}));

    // Both ways, once connected.
    EXPECT_TRUE(ui->send(ApplicationType::Service, "{\"up\":1}"));
    EXPECT_TRUE(service->send(ApplicationType::UnattendedUi, "{\"n\":3}"));
    advance(1000ms);
    EXPECT_EQ(serviceEvents.events.back(), "message 4 {\"up\":1}");
    EXPECT_EQ(uiEvents.events.back(), "message 1 {\"n\":3}");

    // A second connectToService answers true without a new connection.
    ui->connectToService([&](bool ok) { connected.push_back(ok); });
    advance(500ms);
    EXPECT_EQ(connected, (std::vector<bool>{true, true}));
    ui->unsubscribe(&uiEvents);
    service->unsubscribe(&serviceEvents);
    EXPECT_EQ(logs->count(common::ILogger::Info, "connection request from: 'UnattendedUi-501'"),
              1u);
}

TEST_F(IpcControllerTest, PeersGetChannelsInOrderAndAReconnectReplacesTheOldTransport) {
    auto service = makeController("Service");
    Recorder serviceEvents;
    service->subscribe(&serviceEvents);
    ASSERT_TRUE(service->start());
    auto first = makeController("UnattendedUi-501");
    auto second = makeController("UnattendedUi-502");
    ASSERT_TRUE(first->start());
    ASSERT_TRUE(second->start());
    first->connectToService(nullptr);
    advance(500ms);
    second->connectToService(nullptr);
    advance(500ms);
    EXPECT_TRUE(logs->waitFor(common::ILogger::Info, "connection accepted on channel: 1"));
    EXPECT_TRUE(logs->waitFor(common::ILogger::Info, "connection accepted on channel: 2"));

    // The first UI agent comes back under the same address: a fresh channel, and messages to
    // the kind go to the first address in order, now the new connection.
    first.reset();
    first = makeController("UnattendedUi-501");
    Recorder firstEvents;
    first->subscribe(&firstEvents);
    ASSERT_TRUE(first->start());
    first->connectToService(nullptr);
    advance(500ms);
    EXPECT_TRUE(logs->waitFor(common::ILogger::Info, "connection accepted on channel: 3"));
    service->send(ApplicationType::UnattendedUi, "{\"to\":\"first\"}");
    advance(500ms);
    EXPECT_EQ(firstEvents.events.back(), "message 1 {\"to\":\"first\"}");
    EXPECT_EQ(std::count(serviceEvents.events.begin(), serviceEvents.events.end(),
                         "connected UnattendedUi-501"),
              2);
    first->unsubscribe(&firstEvents);
    service->unsubscribe(&serviceEvents);
}

TEST_F(IpcControllerTest, PeerWithoutAKnownKindReachesNoObserver) {
    auto service = makeController("Service");
    Recorder serviceEvents;
    service->subscribe(&serviceEvents);
    ASSERT_TRUE(service->start());
    auto helperLink = rawLink("Helper");
    const std::string connectTo = R"({"command":{"to":"Service","from":"Helper","$":"ConnectTo"}})";
    ASSERT_TRUE(helperLink->send(
        "Service", 0, std::vector<signed char>(connectTo.begin(), connectTo.end()), false));
    advance(300ms);
    const std::string data =
        R"({"command":{"json":"{\"data\":{\"id\":\"a\",\"json\":\"x\",\"$\":\"Message\"}}","$":"Data"}})";
    ASSERT_TRUE(
        helperLink->send("Service", 1, std::vector<signed char>(data.begin(), data.end()), false));
    ASSERT_TRUE(
        helperLink->send("Service", 1, std::vector<signed char>(data.begin(), data.end()), true));
    advance(500ms);
    EXPECT_EQ(serviceEvents.events, std::vector<std::string>{"connected Helper"});
    service->unsubscribe(&serviceEvents);
}

// A transport that is not (or no longer) the one kept under its address.
class StaleTransport : public interprocess::ITransport {
public:
    void connect(const std::string&, std::function<void(bool)>) override {}
    void disconnect() override {}
    void listen() override {}
    void send(const std::string&, const QOS&, std::function<void(bool)>) override {}
    bool synchronousSend(const std::string&) override { return false; }
    std::string getName() const override { return "Service"; }
    std::string getParticipantName() const override { return "UnattendedUi-501"; }
};

TEST_F(IpcControllerTest, DisconnectOfAnOlderTransportLeavesTheKeptOneAlone) {
    auto service = makeController("Service");
    Recorder serviceEvents;
    service->subscribe(&serviceEvents);
    ASSERT_TRUE(service->start());
    auto ui = makeController("UnattendedUi-501");
    Recorder uiEvents;
    ui->subscribe(&uiEvents);
    ASSERT_TRUE(ui->start());
    ui->connectToService(nullptr);
    advance(500ms);
    ASSERT_EQ(serviceEvents.events, std::vector<std::string>{"connected UnattendedUi-501"});

    StaleTransport stale;
    service->onTransportDisconnected(stale);
    advance(500ms);
    EXPECT_EQ(serviceEvents.events, std::vector<std::string>{"connected UnattendedUi-501"});
    EXPECT_TRUE(service->send(ApplicationType::UnattendedUi, "{\"still\":1}"));
    advance(500ms);
    EXPECT_EQ(uiEvents.events.back(), "message 1 {\"still\":1}");
    ui->unsubscribe(&uiEvents);
    service->unsubscribe(&serviceEvents);
}

TEST_F(IpcControllerTest, RefusedAndFailedSends) {
    auto service = makeController("Service");
    ASSERT_TRUE(service->start());
    EXPECT_FALSE(service->send(ApplicationType::UnattendedUi, ""));
    EXPECT_FALSE(service->synchronousSend(ApplicationType::UnattendedUi, "{}"));
    EXPECT_TRUE(service->stop());
    EXPECT_FALSE(service->stop());
    EXPECT_EQ(logs->count(common::ILogger::Warning,
                          "unable to find address for application: 'UnattendedUi'"),
              1u);
    EXPECT_FALSE(logs->anyContains("queue message to:"));
    EXPECT_EQ(logs->count(common::ILogger::Info, "stop"), 1u);
}

TEST_F(IpcControllerTest, StartFailsWhenTheQueueCannotBeMade) {
    auto broken = makeController("bad/name");
    EXPECT_FALSE(broken->start());
    EXPECT_EQ(logs->count(common::ILogger::Error, "unable to create data link"), 1u);
}

TEST_F(IpcControllerTest, StopDeliversWhatWasSentJustBefore) {
    auto service = makeController("Service");
    ASSERT_TRUE(service->start());
    auto ui = makeController("UnattendedUi-501");
    Recorder uiEvents;
    ui->subscribe(&uiEvents);
    ASSERT_TRUE(ui->start());
    ui->connectToService(nullptr);
    advance(500ms);
    service->send(ApplicationType::UnattendedUi, R"({"message":{"$":"QuitRequest"}})");
    EXPECT_TRUE(service->stop());
    advance(500ms);
    EXPECT_EQ(uiEvents.events.back(), R"(message 1 {"message":{"$":"QuitRequest"}})");
    ui->unsubscribe(&uiEvents);
}

}  // namespace
