#include "interprocess/asynchronousdatalink/AsynchronousDataLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "lib/common/tests/support/LogCapture.h"
#include "lib/interprocess/tests/support/IpcTestSupport.h"

using namespace std::chrono_literals;
using interprocess::AsynchronousDataLink;

namespace {

std::vector<signed char> bytes(const std::string& text) {
    return std::vector<signed char>(text.begin(), text.end());
}

struct Received {
    std::string source;
    unsigned long channel;
    std::string text;
    bool synchronous;
    bool operator==(const Received& o) const {
        return std::tie(source, channel, text, synchronous) ==
               std::tie(o.source, o.channel, o.text, o.synchronous);
    }
};

std::ostream& operator<<(std::ostream& out, const Received& r) {
    return out << r.source << "/" << r.channel << "/" << r.text << "/" << r.synchronous;
}

class Recorder : public interprocess::IAsynchronousDataLinkClient {
public:
    void onAsynchronousDataLinkMessageReceived(std::string source, unsigned long channel,
                                               std::string text) override {
        received.push_back({source, channel, text, false});
    }
    void onAsynchronousDataLinkSynchronousMessageReceived(std::string source, unsigned long channel,
                                                          std::string text) override {
        received.push_back({source, channel, text, true});
    }
    std::vector<Received> received;
};

class AsynchronousDataLinkTest : public ::testing::Test {
protected:
    std::shared_ptr<AsynchronousDataLink> makeLink(const std::string& participant) {
        cleaner.add(prefix + "_" + participant);
        AsynchronousDataLink::WaitClock clock{[this] { return waitNow; },
                                              [this](const std::chrono::milliseconds& d) {
                                                  waitNow += d;
                                                  ++sleeps;
                                              }};
        return std::make_shared<AsynchronousDataLink>(
            interprocess::IDataLink::create(prefix, participant),
            scheduler->getTaskQueue("AsynchronousDataLink"), clock);
    }

    std::unique_ptr<interprocess::IDataLink> rawLink(const std::string& participant) {
        cleaner.add(prefix + "_" + participant);
        auto link = interprocess::IDataLink::create(prefix, participant);
        EXPECT_TRUE(link->init(100, 16384));
        return link;
    }

    std::shared_ptr<testsupport::LogCapture> logs = testsupport::LogCapture::install();
    std::string prefix = ipctest::uniquePrefix();
    ipctest::QueueCleaner cleaner;
    ipctest::FakeTime time;
    std::shared_ptr<ipctest::ManualScheduler> scheduler = time.makeScheduler();
    AsynchronousDataLink::TimePoint waitNow{};
    long sleeps = 0;
};

TEST_F(AsynchronousDataLinkTest, FramesReachClientsOnePerPollAndSynchronousOnesAreEchoed) {
    auto link = makeLink("alpha");
    Recorder recorder;
    link->subscribe(&recorder);
    ASSERT_TRUE(link->init());
    auto peer = rawLink("beta");
    ASSERT_TRUE(peer->send("alpha", 1, bytes("one"), false));
    ASSERT_TRUE(peer->send("alpha", 2, bytes("two"), true));
    ASSERT_TRUE(peer->send("alpha", 3, bytes("three"), false));

    ipctest::runDue(*scheduler);
    EXPECT_TRUE(recorder.received.empty());
    ipctest::advance(*scheduler, time, 100ms);
    EXPECT_EQ(recorder.received, (std::vector<Received>{{"beta", 1, "one", false}}));
    ipctest::advance(*scheduler, time, 100ms);
    ASSERT_EQ(recorder.received.size(), 2u);
    EXPECT_EQ(recorder.received[1], (Received{"beta", 2, "two", true}));

    // The echo: same channel and payload, synchronous, from alpha.
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    ASSERT_TRUE(peer->receive(payload, source, channel, synchronous));
    EXPECT_EQ(source, "alpha");
    EXPECT_EQ(channel, 2u);
    EXPECT_TRUE(synchronous);
    EXPECT_EQ(payload, bytes("two"));

    ipctest::advance(*scheduler, time, 100ms);
    EXPECT_EQ(recorder.received.size(), 3u);
    link->unsubscribe(&recorder);
}

TEST_F(AsynchronousDataLinkTest, SendWorksBeforeInitAndNotAfterStop) {
    auto link = makeLink("alpha");
    auto peer = rawLink("beta");
    std::vector<bool> results;
    link->send("beta", 4, "{}", [&](bool ok) { results.push_back(ok); });
    link->send("nobody", 4, "{}", [&](bool ok) { results.push_back(ok); });
    ipctest::runDue(*scheduler);
    EXPECT_EQ(results, (std::vector<bool>{true, false}));

    // Queued before the stop: still carried out by it.
    link->send("beta", 5, "late", [&](bool ok) { results.push_back(ok); });
    EXPECT_TRUE(link->stop());
    EXPECT_FALSE(link->stop());
    EXPECT_EQ(results, (std::vector<bool>{true, false, true}));
    link->send("beta", 6, "refused", [&](bool ok) { results.push_back(ok); });
    ipctest::runDue(*scheduler);
    EXPECT_EQ(results.size(), 3u);
}

TEST_F(AsynchronousDataLinkTest, FailedInitIsReportedAndNothingPolls) {
    cleaner.add(prefix + "_bad/name");
    auto link =
        std::make_shared<AsynchronousDataLink>(interprocess::IDataLink::create(prefix, "bad/name"),
                                               scheduler->getTaskQueue("AsynchronousDataLink"));
    EXPECT_FALSE(link->init());
    EXPECT_EQ(scheduler->getTasksSize(), 0u);
    EXPECT_EQ(logs->count(common::ILogger::Error, "unable to initialize data link"), 1u);
}

TEST_F(AsynchronousDataLinkTest, SynchronousSendToAMissingParticipantFailsAtOnce) {
    auto link = makeLink("alpha");
    ASSERT_TRUE(link->init());
    EXPECT_FALSE(link->synchronousSend("nobody", 1, "{}"));
    EXPECT_EQ(sleeps, 0);
}

TEST_F(AsynchronousDataLinkTest, SynchronousSendWithoutEchoGivesUpAfterJustOver101Seconds) {
    auto link = makeLink("alpha");
    ASSERT_TRUE(link->init());
    auto peer = rawLink("beta");
    EXPECT_FALSE(link->synchronousSend("beta", 1, "{}"));
    // 10 ms sleeps until more than 100,999,999,999 ns have passed.
    EXPECT_EQ(sleeps, 10100);
}

// The peer, on a thread: sends an ordinary frame first, then echoes what it got.
TEST_F(AsynchronousDataLinkTest, SynchronousSendEndsOnItsOwnEchoAndKeepsOtherFramesForLater) {
    auto link = makeLink("alpha");
    Recorder recorder;
    link->subscribe(&recorder);
    ASSERT_TRUE(link->init());
    auto peer = rawLink("beta");

    // Real time for this wait: the peer runs on its own thread.
    auto realLink =
        std::make_shared<AsynchronousDataLink>(interprocess::IDataLink::create(prefix, "gamma"),
                                               scheduler->getTaskQueue("AsynchronousDataLink"));
    cleaner.add(prefix + "_gamma");
    realLink->subscribe(&recorder);
    ASSERT_TRUE(realLink->init());

    std::atomic<bool> done{false};
    std::thread peerThread([&] {
        std::vector<signed char> payload;
        std::string source;
        unsigned long channel = 0;
        bool synchronous = false;
        for (int i = 0; i < 2000 && !done; ++i) {
            if (peer->receive(payload, source, channel, synchronous)) {
                // Another synchronous frame on the same channel, an ordinary one, a foreign
                // echo on another channel, then the true echo.
                peer->send(source, channel, bytes("other"), true);
                peer->send(source, channel, bytes("plain"), false);
                peer->send(source, channel + 1, payload, true);
                peer->send(source, channel, payload, true);
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
    });
    const bool answered = realLink->synchronousSend("beta", 7, "question");
    done = true;
    peerThread.join();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(recorder.received.empty());

    // The three other frames are delivered in the next poll, in order; the synchronous one is
    // echoed.
    ipctest::advance(*scheduler, time, 100ms);
    EXPECT_EQ(recorder.received, (std::vector<Received>{{"beta", 7, "other", true},
                                                        {"beta", 7, "plain", false},
                                                        {"beta", 8, "question", true}}));
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    ASSERT_TRUE(peer->receive(payload, source, channel, synchronous));
    EXPECT_EQ(payload, bytes("other"));
    realLink->unsubscribe(&recorder);
    link->unsubscribe(&recorder);
}

TEST_F(AsynchronousDataLinkTest, LateEchoIsSwallowedNotEchoedAgain) {
    auto link = makeLink("alpha");
    Recorder recorder;
    link->subscribe(&recorder);
    ASSERT_TRUE(link->init());
    auto peer = rawLink("beta");
    EXPECT_FALSE(link->synchronousSend("beta", 3, "ask"));

    // The peer finally echoes.
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    ASSERT_TRUE(peer->receive(payload, source, channel, synchronous));
    ASSERT_TRUE(peer->send(source, channel, payload, true));
    ipctest::advance(*scheduler, time, 100ms);
    EXPECT_TRUE(recorder.received.empty());
    EXPECT_FALSE(peer->receive(payload, source, channel, synchronous));

    // A second, genuine synchronous frame with that payload is handled normally.
    ASSERT_TRUE(peer->send("alpha", 3, bytes("ask"), true));
    ipctest::advance(*scheduler, time, 100ms);
    EXPECT_EQ(recorder.received, (std::vector<Received>{{"beta", 3, "ask", true}}));
    EXPECT_TRUE(peer->receive(payload, source, channel, synchronous));
    link->unsubscribe(&recorder);
}

}  // namespace
