#include "helper/ipc/IpcMessageQueue.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <boost/interprocess/ipc/message_queue.hpp>
#include <boost/interprocess/permissions.hpp>
#include <boost/interprocess/shared_memory_object.hpp>
#include <memory>
#include <string>

#include "common/util/Util.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/helper/tests/support/AgentQueue.h"

namespace bip = boost::interprocess;
using helper::IpcMessageQueue;
using helpertest::AgentQueue;

namespace {

std::string shmPath(const std::string& name) {
    return "/dev/shm/" + name;
}

}  // namespace

TEST(IpcMessageQueue, NameIsPrefixHelperIdAndDecimalUid) {
    EXPECT_EQ(IpcMessageQueue::generateIpcName("k3J9x0Qa7L", 501), "orvmq-k3J9x0Qa7L-501");
    EXPECT_EQ(IpcMessageQueue::generateIpcName("", 0), "orvmq--0");
    EXPECT_EQ(IpcMessageQueue::generateIpcName("helper", 4294967295ul), "orvmq-helper-4294967295");
}

TEST(IpcMessageQueue, SendsTheExactTextAtPriorityOneAndLogsIt) {
    auto log = testsupport::LogCapture::install();
    AgentQueue agent;
    const std::string text = R"({"message":{"application":4,"$":"RequestKillApplication"}} 100%s)";
    ASSERT_TRUE(IpcMessageQueue::send(agent.helperId, agent.uid, text));
    ASSERT_TRUE(IpcMessageQueue::send(agent.helperId, agent.uid, ""));

    std::string received;
    unsigned int priority = 0;
    ASSERT_TRUE(agent.receive(received, priority));
    EXPECT_EQ(received, text);
    EXPECT_EQ(priority, 1u);
    ASSERT_TRUE(agent.receive(received, priority));
    EXPECT_EQ(received, "");
    EXPECT_FALSE(agent.receive(received, priority));

    const auto records = log->all();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]._facility, "IpcMessageQueue::Send");
    EXPECT_EQ(records[0]._level, common::ILogger::Info);
    EXPECT_EQ(records[0]._message, "Send msg to " + agent.name);
    EXPECT_EQ(records[1]._message, text);  // the percent sign is logged unchanged
}

TEST(IpcMessageQueue, NoQueueAnswersFalseWithOnlyTheTwoInfoRecords) {
    auto log = testsupport::LogCapture::install();
    const std::string helperId = "t" + common::util::generateNanoId(9, "abcdefghij");
    EXPECT_FALSE(IpcMessageQueue::send(helperId, 502, "{}"));
    const auto records = log->all();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]._message, "Send msg to orvmq-" + helperId + "-502");
    EXPECT_EQ(records[1]._message, "{}");
}

TEST(IpcMessageQueue, FullQueueAndOversizedTextAnswerFalse) {
    AgentQueue agent;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(IpcMessageQueue::send(agent.helperId, agent.uid, std::to_string(i)));
    }
    EXPECT_FALSE(IpcMessageQueue::send(agent.helperId, agent.uid, "one too many"));

    std::string text;
    unsigned int priority = 0;
    ASSERT_TRUE(agent.receive(text, priority));
    EXPECT_EQ(text, "0");
    EXPECT_FALSE(IpcMessageQueue::send(agent.helperId, agent.uid, std::string(16385, 'x')));
    EXPECT_TRUE(IpcMessageQueue::send(agent.helperId, agent.uid, std::string(16384, 'x')));
}

TEST(IpcMessageQueue, SecretArgumentsAreMaskedInTheLogButSentInFull) {
    auto log = testsupport::LogCapture::install();
    AgentQueue agent;
    const std::string text =
        R"({"message":{"application":4,"arguments":["-MonitoringToken","t&k; n"],)"
        R"("$":"RequestLaunchApplication"}})";
    ASSERT_TRUE(IpcMessageQueue::send(agent.helperId, agent.uid, text));
    std::string received;
    unsigned int priority = 0;
    ASSERT_TRUE(agent.receive(received, priority));
    EXPECT_EQ(received, text);
    EXPECT_FALSE(log->anyContains("t&k; n"));
    EXPECT_TRUE(log->anyContains(R"("-MonitoringToken","***")"));
}

TEST(IpcMessageQueue, QueueOfAnotherOwnerIsNotWritten) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "changing the owner of the queue needs root";
    }
    AgentQueue agent;
    // Somebody else holds the name of user 1 of this helper id...
    ASSERT_EQ(::chown(shmPath(agent.name).c_str(), agent.uid + 1, 0), 0);
    EXPECT_FALSE(IpcMessageQueue::send(agent.helperId, agent.uid, "secret"));
    std::string text;
    unsigned int priority = 0;
    EXPECT_FALSE(agent.receive(text, priority));

    // ...while a queue that its own user created is written, also by root.
    AgentQueue other(helpertest::uniqueHelperId(), 4242);
    ASSERT_EQ(::chown(shmPath(other.name).c_str(), 4242, 0), 0);
    EXPECT_TRUE(IpcMessageQueue::send(other.helperId, 4242, "hello"));
    ASSERT_TRUE(other.receive(text, priority));
    EXPECT_EQ(text, "hello");
}

TEST(IpcMessageQueue, ForeignSharedMemoryUnderTheNameIsRefusedWithoutHanging) {
    const std::string helperId = "t" + common::util::generateNanoId(9, "abcdefghij");
    const std::string name = IpcMessageQueue::generateIpcName(helperId, ::getuid());
    const std::size_t size = static_cast<std::size_t>(
        bip::ipcdetail::mq_hdr_t<bip::offset_ptr<void>>::get_mem_size(16384, 100));
    struct Shape {
        std::size_t size;
        std::uint32_t firstWord;
    };
    // Empty, too small, of the right size but never initialised, or still initialising: the
    // queue library would spin for ever on the first and the last two.
    const Shape shapes[] = {{0, 0}, {64, 2}, {size, 0}, {size, 1}, {size + 4096, 2}};
    for (const auto& shape : shapes) {
        const int fd = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(shape.size)), 0);
        if (shape.size >= sizeof(std::uint32_t)) {
            ASSERT_EQ(::pwrite(fd, &shape.firstWord, sizeof shape.firstWord, 0),
                      static_cast<ssize_t>(sizeof shape.firstWord));
        }
        ::close(fd);
        EXPECT_FALSE(IpcMessageQueue::isUsableQueue(name, ::getuid())) << shape.size;
        EXPECT_FALSE(IpcMessageQueue::send(helperId, ::getuid(), "x")) << shape.size;
        ::shm_unlink(("/" + name).c_str());
    }

    // A real queue of that name has exactly the expected shape.
    AgentQueue agent;
    EXPECT_TRUE(IpcMessageQueue::isUsableQueue(agent.name, agent.uid));
    struct stat status {};
    ASSERT_EQ(::stat(shmPath(agent.name).c_str(), &status), 0);
    EXPECT_EQ(static_cast<std::size_t>(status.st_size), size);
}

TEST(IpcMessageQueue, HelperIdsThatWouldLeaveTheQueueFolderAreRefused) {
    for (const std::string& helperId :
         {std::string("../x"), std::string("a/b"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(IpcMessageQueue::send(helperId, ::getuid(), "x"));
    }
}
