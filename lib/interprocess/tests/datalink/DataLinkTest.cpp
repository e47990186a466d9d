#include "interprocess/datalink/DataLink.h"

#include <gtest/gtest.h>

#include <boost/interprocess/ipc/message_queue.hpp>

#include <string>
#include <vector>

#include "interprocess/datalink/IpcFrame.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/interprocess/tests/support/IpcTestSupport.h"

namespace bip = boost::interprocess;

namespace {

std::vector<signed char> bytes(const std::string& text) {
    return std::vector<signed char>(text.begin(), text.end());
}

std::string u64(std::uint64_t value) {
    std::string out;
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
    return out;
}

class DataLinkTest : public ::testing::Test {
protected:
    std::unique_ptr<interprocess::IDataLink> makeLink(const std::string& participant) {
        cleaner.add(prefix + "_" + participant);
        return interprocess::IDataLink::create(prefix, participant);
    }

    // Puts raw bytes into a participant's queue, as a foreign writer could.
    void putRaw(const std::string& participant, const std::string& raw) {
        bip::message_queue queue(bip::open_only, (prefix + "_" + participant).c_str());
        ASSERT_TRUE(queue.try_send(raw.data(), raw.size(), 0));
    }

    std::shared_ptr<testsupport::LogCapture> logs = testsupport::LogCapture::install();
    std::string prefix = ipctest::uniquePrefix();
    ipctest::QueueCleaner cleaner;
};

TEST_F(DataLinkTest, QueueNamesJoinPrefixAndParticipant) {
    auto link = makeLink("Service");
    EXPECT_EQ(link->getName(), "Service");
    EXPECT_EQ(link->getName("Service"), prefix + "_Service");
    EXPECT_EQ(link->getName("jsonsink"), prefix + "_jsonsink");
}

TEST_F(DataLinkTest, FrameBytesAreTheDocumentedLayout) {
    auto sink = makeLink("jsonsink");
    ASSERT_TRUE(sink->init(100, 16384));
    auto service = makeLink("Service");
    ASSERT_TRUE(service->send("jsonsink", 0, bytes("{}"), false));

    const std::string expected =
        u64(7) + "Service" + u64(8) + "jsonsink" + u64(0) + std::string(1, '\0') + u64(2) + "{}";
    ASSERT_EQ(expected.size(), 50u);

    bip::message_queue queue(bip::open_only, (prefix + "_jsonsink").c_str());
    std::vector<char> buffer(16384);
    bip::message_queue::size_type received = 0;
    unsigned int priority = 7;
    ASSERT_TRUE(queue.try_receive(buffer.data(), buffer.size(), received, priority));
    EXPECT_EQ(std::string(buffer.data(), received), expected);
    EXPECT_EQ(priority, 0u);

    interprocess::IpcFrame frame;
    frame.source = "Service";
    frame.destination = "jsonsink";
    frame.channel = 0;
    frame.payload = bytes("{}");
    const auto encoded = frame.encode();
    EXPECT_EQ(std::string(encoded.begin(), encoded.end()), expected);
}

TEST_F(DataLinkTest, SendAndReceiveCarryEveryField) {
    auto a = makeLink("alpha");
    auto b = makeLink("beta");
    ASSERT_TRUE(b->init(100, 16384));
    // The sender needs no queue of its own.
    ASSERT_TRUE(a->send("beta", 0x123456789aUL, bytes(std::string("x\0y", 3)), true));

    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    ASSERT_TRUE(b->receive(payload, source, channel, synchronous));
    EXPECT_EQ(source, "alpha");
    EXPECT_EQ(channel, 0x123456789aUL);
    EXPECT_TRUE(synchronous);
    EXPECT_EQ(payload, bytes(std::string("x\0y", 3)));
    EXPECT_FALSE(b->receive(payload, source, channel, synchronous));
}

TEST_F(DataLinkTest, SendToAMissingQueueFailsWithTheQueueName) {
    auto a = makeLink("alpha");
    EXPECT_FALSE(a->send("nobody", 1, bytes("{}"), false));
    EXPECT_TRUE(logs->waitFor(common::ILogger::Error, "! Filename: " + prefix + "_nobody"));
    EXPECT_EQ(logs->count(common::ILogger::Error, "unable to send message, error: '"), 1u);
}

TEST_F(DataLinkTest, TheHundredAndFirstFrameToAnUnreadQueueFails) {
    auto sink = makeLink("sink");
    ASSERT_TRUE(sink->init(100, 16384));
    auto a = makeLink("alpha");
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(a->send("sink", 0, bytes("m"), false)) << i;
    }
    EXPECT_FALSE(a->send("sink", 0, bytes("m"), false));
    EXPECT_EQ(logs->count(common::ILogger::Error,
                          "Something went wrong, try send failed. Filename: " + prefix + "_sink"),
              1u);
}

TEST_F(DataLinkTest, PayloadAboveTheSendersOwnMaximumIsWarnedAboutButSent) {
    auto small = makeLink("small");
    ASSERT_TRUE(small->init(10, 64));
    auto big = makeLink("big");
    ASSERT_TRUE(big->init(10, 16384));
    EXPECT_TRUE(small->send("big", 0, bytes(std::string(100, 'p')), false));
    // Too large for the addressee's queue: refused by the queue library.
    EXPECT_FALSE(big->send("small", 0, bytes(std::string(100, 'p')), false));
    EXPECT_EQ(
        logs->count(common::ILogger::Warning, "message size bigger (100) then max message size"),
        1u);
}

TEST_F(DataLinkTest, FrameForAnotherParticipantIsTakenAndDropped) {
    auto b = makeLink("beta");
    ASSERT_TRUE(b->init(10, 16384));
    interprocess::IpcFrame frame;
    frame.source = "alpha";
    frame.destination = "gamma";
    frame.payload = bytes("{}");
    const auto raw = frame.encode();
    putRaw("beta", std::string(raw.begin(), raw.end()));

    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    EXPECT_FALSE(b->receive(payload, source, channel, synchronous));
    EXPECT_FALSE(b->receive(payload, source, channel, synchronous));
    EXPECT_EQ(logs->count(common::ILogger::Warning,
                          "message addressee ('gamma') different then destination ('beta')"),
              1u);
}

TEST_F(DataLinkTest, MalformedFramesAreDroppedWithAWarningAndTheNextFrameStillArrives) {
    auto b = makeLink("beta");
    ASSERT_TRUE(b->init(20, 16384));
    const std::string good =
        u64(1) + "a" + u64(4) + "beta" + u64(3) + std::string(1, '\1') + u64(2) + "ok";
    const std::vector<std::string> bad = {
        "",
        u64(1),
        u64(0xffffffffffffffffULL) + "a",
        u64(1) + "a" + u64(0xfffffffffffffff8ULL) + "beta",
        u64(1) + "a" + u64(4) + "beta" + u64(3),
        u64(1) + "a" + u64(4) + "beta" + u64(3) + std::string(1, '\1') + u64(3) + "ok",
        u64(1) + "a" + u64(4) + "beta" + u64(3) + std::string(1, '\1') +
            u64(0x8000000000000000ULL) + "ok",
        good + "trailing",
    };
    for (const auto& raw : bad) {
        putRaw("beta", raw);
    }
    putRaw("beta", good);

    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(b->receive(payload, source, channel, synchronous)) << i;
    }
    ASSERT_TRUE(b->receive(payload, source, channel, synchronous));
    EXPECT_EQ(source, "a");
    EXPECT_EQ(channel, 3u);
    EXPECT_TRUE(synchronous);
    EXPECT_EQ(payload, bytes("ok"));
    EXPECT_EQ(logs->count(common::ILogger::Warning, "dropping malformed frame: "), bad.size());
}

TEST_F(DataLinkTest, ReceiveWithoutAQueueAnswersFalse) {
    // A name the shared-memory layer refuses: init fails, nothing is received.
    auto broken = interprocess::IDataLink::create(prefix, "bad/name");
    EXPECT_FALSE(broken->init(10, 16384));
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    EXPECT_FALSE(broken->receive(payload, source, channel, synchronous));
    EXPECT_EQ(logs->count(common::ILogger::Error, "unable to create ipc message queue: '"), 1u);
}

TEST_F(DataLinkTest, InitDiscardsALeftoverQueueAndStopRemovesIt) {
    const std::string name = prefix + "_crashed";
    cleaner.add(name);
    {
        bip::message_queue leftover(bip::create_only, name.c_str(), 3, 16);
        ASSERT_TRUE(leftover.try_send("old", 3, 0));
    }
    auto link = makeLink("crashed");
    ASSERT_TRUE(link->init(100, 16384));
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    EXPECT_FALSE(link->receive(payload, source, channel, synchronous));
    {
        bip::message_queue fresh(bip::open_only, name.c_str());
        EXPECT_EQ(fresh.get_max_msg(), 100u);
        EXPECT_EQ(fresh.get_max_msg_size(), 16384u);
    }
    EXPECT_TRUE(link->stop());
    EXPECT_TRUE(link->isStopped());
    EXPECT_FALSE(link->stop());
    EXPECT_THROW(bip::message_queue(bip::open_only, name.c_str()), bip::interprocess_exception);
    // A stopped link receives nothing but can still send.
    auto other = makeLink("other");
    ASSERT_TRUE(other->init(10, 16384));
    EXPECT_TRUE(link->send("other", 0, bytes("{}"), false));
    EXPECT_FALSE(link->receive(payload, source, channel, synchronous));
}

}  // namespace
