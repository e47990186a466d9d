#include <gtest/gtest.h>

#include <pthread.h>

#include <thread>

#include "LoggingTestFixture.h"
#include "foundation/logging/ThreadName.h"

namespace {

using testing_logging::LoggingTest;

std::string PlatformName() {
    char name[64] = {};
    pthread_getname_np(pthread_self(), name, sizeof(name));
    return name;
}

template <typename F>
void OnNewThread(F&& body) {
    std::thread thread(std::forward<F>(body));
    thread.join();
}

// Linux takes at most 15 bytes; the rest of the name is kept for GetThreadName.
TEST(ThreadNameTest, LongNamesAreKeptWholeAndShortenedForThePlatform) {
    const struct {
        std::string name;
        std::string platform;
    } cases[] = {
        {"AsyncService", "AsyncService"},
        {"exactly-15-byte", "exactly-15-byte"},
        {"AsyncServiceThread-0001", "AsyncServiceThr"},
        {"12345678901234\xC3\xA9xyz", "12345678901234"},  // é would straddle the limit
        {"a\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC",  // a + 5 x €
         "a\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80",  // 4 x 4 bytes
         "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OnNewThread([&c] {
            core::SetThreadName(c.name);
            EXPECT_EQ(core::GetThreadName(), c.name);
            EXPECT_EQ(PlatformName(), c.platform);
        });
    }
}

TEST(ThreadNameTest, UnnamedThreadHasAStableHandleText) {
    std::string first;
    OnNewThread([&first] {
        const std::string& name = core::GetThreadName();
        EXPECT_TRUE(testing_logging::IsHandleText(name)) << name;
        EXPECT_EQ(&core::GetThreadName(), &name);
        EXPECT_EQ(core::GetThreadName(), name);
        first = name;
    });
    std::string second;
    OnNewThread([&second] {
        second = core::GetThreadName();
        core::SetThreadName("named later");
        EXPECT_EQ(core::GetThreadName(), "named later");
    });
    EXPECT_FALSE(second.empty());
}

TEST_F(LoggingTest, NamingIsLoggedWithTheHandleAndFullName) {
    std::string handle;
    OnNewThread([&handle] {
        handle = core::GetThreadName();
        core::SetThreadName("AsyncServiceThread-io");
    });
    const auto records = m_Backend->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].severity, logging::Info);
    EXPECT_EQ(records[0].channel, "");
    EXPECT_EQ(records[0].objectIdentifier, 0);
    EXPECT_EQ(records[0].message, "Thread " + handle + " has the name 'AsyncServiceThread-io'");
    EXPECT_EQ(records[0].threadName, "AsyncServiceThread-io");

    const auto lines = ConsoleLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(testing_logging::IsHandleText(handle)) << handle;
    EXPECT_TRUE(testing_logging::IsTimedLine(
        lines[0], " - Info      -  - Thread " + handle + " has the name 'AsyncServiceThread-io'"))
        << lines[0];
}

}  // namespace
