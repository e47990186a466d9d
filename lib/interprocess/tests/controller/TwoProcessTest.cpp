// The daemon's side runs here on a clock the test moves; the other side is the ipcpeer program
// in its own process, over real message queues.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "interprocess/controller/IpcController.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/interprocess/tests/support/ControllerRecorder.h"
#include "lib/interprocess/tests/support/IpcTestSupport.h"
#include "lib/interprocess/tests/support/PeerProcess.h"

using namespace std::chrono_literals;
using helper::ApplicationType;
using interprocess::IpcController;

namespace {

using Recorder = ipctest::ControllerRecorder;

class TwoProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        cleaner.add(prefix + "_Service");
        service = std::make_unique<IpcController>("Service", prefix, *scheduler,
                                                  common::ILogger::create("IpcController"),
                                                  [this] { return time.now(); });
        service->subscribe(&events);
        ASSERT_TRUE(service->start());
    }

    void TearDown() override {
        if (service) {
            service->unsubscribe(&events);
        }
    }

    std::unique_ptr<ipctest::PeerProcess> startPeer(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{ORV_IPCPEER_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        cleaner.add(prefix + "_" + arguments[2]);
        auto peer = std::make_unique<ipctest::PeerProcess>(argv);
        EXPECT_EQ(peer->readLine(), "ready");
        return peer;
    }

    // Runs this side's main loop (10 ms of the test's clock per step, a little real time for
    // the peer) until `done`, collecting the peer's lines; bounded.
    bool pumpUntil(const std::function<bool()>& done, ipctest::PeerProcess* peer = nullptr,
                   int steps = 3000) {
        for (int i = 0; i < steps; ++i) {
            if (done()) {
                return true;
            }
            time.advance(10ms);
            ipctest::runDue(*scheduler);
            if (peer != nullptr) {
                const std::string line = peer->readLine(4ms);
                if (line != "<timeout>" && line != "<eof>") {
                    peerLines.push_back(line);
                }
            } else {
                std::this_thread::sleep_for(4ms);
            }
        }
        return done();
    }

    bool peerSaid(const std::string& line) const {
        return std::find(peerLines.begin(), peerLines.end(), line) != peerLines.end();
    }

    std::shared_ptr<testsupport::LogCapture> logs = testsupport::LogCapture::install();
    std::string prefix = ipctest::uniquePrefix();
    ipctest::QueueCleaner cleaner;
    ipctest::FakeTime time;
    std::shared_ptr<ipctest::ManualScheduler> scheduler = time.makeScheduler();
    Recorder events;
    std::unique_ptr<IpcController> service;
    std::vector<std::string> peerLines;
};

TEST_F(TwoProcessTest, HandshakeDataBothWaysAndSynchronousSends) {
    auto peer = startPeer({"endpoint", prefix, "UnattendedUi-501", "connect"});
    ASSERT_TRUE(pumpUntil([&] { return peerSaid("connect 1") && peerSaid("connected Service"); },
                          peer.get()));
    ASSERT_TRUE(pumpUntil([&] { return events.has("connected UnattendedUi-501"); }, peer.get()));

    service->send(ApplicationType::UnattendedUi, R"({"message":{"$":"ShowIcon"}})");
    peer->writeLine(R"(send 1 {"message":{"$":"AboutRequest"}})");
    ASSERT_TRUE(pumpUntil(
        [&] {
            return peerSaid(R"(message 1 {"message":{"$":"ShowIcon"}})") &&
                   events.has(R"(message 4 {"message":{"$":"AboutRequest"}})");
        },
        peer.get()));

    // This side blocks until the peer process has handled the text.
    EXPECT_TRUE(
        service->synchronousSend(ApplicationType::UnattendedUi, R"({"message":{"$":"HideIcon"}})"));
    ASSERT_TRUE(pumpUntil([&] { return peerSaid(R"(syncmessage 1 {"message":{"$":"HideIcon"}})"); },
                          peer.get()));

    // The peer blocks until this side has handled its text.
    peer->writeLine(R"(sync 1 {"s":1})");
    ASSERT_TRUE(pumpUntil([&] { return peerSaid("sync-result 1"); }, peer.get()));
    EXPECT_TRUE(events.has(R"(sync 4 {"s":1})"));

    // Keep-alive: several ping rounds pass without a time-out.
    const auto before = events.events.size();
    pumpUntil([] { return false; }, peer.get(), 800);
    EXPECT_EQ(events.events.size(), before);
    EXPECT_FALSE(events.has("disconnected UnattendedUi-501"));

    peer->writeLine("quit");
    EXPECT_TRUE(pumpUntil([&] { return peerSaid("bye"); }, peer.get()));
}

TEST_F(TwoProcessTest, KilledPeerIsDroppedByPingTimeout) {
    auto peer = startPeer({"endpoint", prefix, "UnattendedUi-501", "connect"});
    ASSERT_TRUE(pumpUntil([&] { return events.has("connected UnattendedUi-501"); }, peer.get()));
    peer->kill();
    ASSERT_TRUE(pumpUntil([&] { return events.has("disconnected UnattendedUi-501"); }));
    EXPECT_TRUE(logs->waitFor(common::ILogger::Error, "ping timeout"));
    // Gone for good: a synchronous send has no address any more.
    EXPECT_FALSE(service->synchronousSend(ApplicationType::UnattendedUi, "{}"));
}

TEST_F(TwoProcessTest, StopDeliversAQuitRequestSentJustBefore) {
    auto peer = startPeer({"endpoint", prefix, "UnattendedUi-501", "connect"});
    ASSERT_TRUE(pumpUntil([&] { return events.has("connected UnattendedUi-501"); }, peer.get()));
    service->send(ApplicationType::UnattendedUi, R"({"message":{"$":"QuitRequest"}})");
    service->unsubscribe(&events);
    EXPECT_TRUE(service->stop());
    ASSERT_TRUE(pumpUntil([&] { return peerSaid(R"(message 1 {"message":{"$":"QuitRequest"}})"); },
                          peer.get()));
}

// A raw peer speaks the connection protocol by hand: handshake, then an orderly close.
TEST_F(TwoProcessTest, RawPeerHandshakeAndClose) {
    auto peer = startPeer({"raw", prefix, "UnattendedUi-9"});
    peer->writeLine(
        R"(send Service 0 0 {"command":{"to":"Service","from":"UnattendedUi-9","$":"ConnectTo"}})");
    EXPECT_EQ(peer->readLine(), "sent 1");
    ASSERT_TRUE(pumpUntil([&] { return events.has("connected UnattendedUi-9"); }));
    peer->writeLine("recv 5000");
    EXPECT_EQ(peer->readLine(),
              R"(frame Service 0 0 {"command":{"channel":1,"$":"ConnectAccepted"}})");

    peer->writeLine(R"(send Service 1 0 {"command":{"$":"Disconnect"}})");
    EXPECT_EQ(peer->readLine(), "sent 1");
    ASSERT_TRUE(pumpUntil([&] { return events.has("disconnected UnattendedUi-9"); }));
    // The answer may follow a ping; skip those.
    std::string line;
    for (int i = 0; i < 5; ++i) {
        peer->writeLine("recv 5000");
        line = peer->readLine();
        if (line.find("\"Ping\"") == std::string::npos) {
            break;
        }
    }
    EXPECT_EQ(line, R"(frame Service 1 0 {"command":{"$":"Shutdown"}})");
    peer->writeLine("quit");
    peer->wait();
}

// The bytes of one frame as another process takes them from its queue.
TEST_F(TwoProcessTest, GoldenFrameBytesReachAnotherProcess) {
    auto sink = startPeer({"raw", prefix, "jsonsink"});
    auto link = interprocess::IDataLink::create(prefix, "Service-raw");
    ASSERT_TRUE(link->send("jsonsink", 0, std::vector<signed char>{'{', '}'}, false));
    sink->writeLine("rawrecv 5000");
    // S = 11 ("Service-raw"), D = 8 ("jsonsink"), channel 0, not synchronous, P = 2 ("{}").
    EXPECT_EQ(sink->readLine(),
              "raw 0b00000000000000536572766963652d72617708000000000000006a736f6e73696e6b00000000"
              "000000000002000000000000007b7d");
    sink->writeLine("quit");
    sink->wait();
}

}  // namespace
