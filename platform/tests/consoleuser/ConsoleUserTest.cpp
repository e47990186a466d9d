#include "platform/consoleuser/ConsoleUser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <boost/filesystem/operations.hpp>
#include <boost/optional/optional_io.hpp>

#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using standin::ConsoleUser;

namespace {

class ConsoleUserTest : public ::testing::Test {
protected:
    testsupport::TempDir root;
    testsupport::ScopedEnv env{"ORV_SYSTEM_ROOT", root.path().string()};
};

}  // namespace

TEST(ConsoleUserParse, AcceptsOnlyADecimalUid) {
    struct Case {
        const char* text;
        boost::optional<uid_t> uid;
    };
    const Case cases[] = {
        {"501", uid_t(501)},         {"  0\n", uid_t(0)},
        {"1000\r\n", uid_t(1000)},   {"4294967294", uid_t(4294967294u)},
        {"4294967295", boost::none},  // (uid_t)-1 names no user
        {"4294967296", boost::none}, {"99999999999999999999999", boost::none},
        {"", boost::none},           {"  \n", boost::none},
        {"-1", boost::none},         {"+5", boost::none},
        {"50 1", boost::none},       {"0x10", boost::none},
        {"alice", boost::none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConsoleUser::parseUid(c.text), c.uid) << "'" << c.text << "'";
    }
}

TEST_F(ConsoleUserTest, NoneWithoutAnySource) {
    EXPECT_EQ(ConsoleUser::uid(), boost::none);
}

TEST_F(ConsoleUserTest, ConsoleUserFileWinsOverTheSeat) {
    root.write("var/run/console-user", "502\n");
    root.write("run/systemd/seats/seat0", "ACTIVE=3\nACTIVE_UID=1000\n");
    EXPECT_EQ(ConsoleUser::uid(), uid_t(502));
}

TEST_F(ConsoleUserTest, ActiveSeat0UserWhenTheFileIsMissingOrUnusable) {
    root.write("run/systemd/seats/seat0",
               "# This is private data. Do not parse.\nIS_SEAT0=1\nACTIVE=3\nACTIVE_UID=1000\n"
               "SESSIONS=3 c1\n");
    EXPECT_EQ(ConsoleUser::uid(), uid_t(1000));

    root.write("var/run/console-user", "nobody\n");
    EXPECT_EQ(ConsoleUser::uid(), uid_t(1000));
}

TEST_F(ConsoleUserTest, ActiveSessionOwnerWhenTheSeatNamesNoUid) {
    root.write("run/systemd/seats/seat0", "IS_SEAT0=1\nACTIVE=c2\n");
    root.write("run/systemd/sessions/c2", "UID=1001\nUSER=bob\nACTIVE=1\n");
    EXPECT_EQ(ConsoleUser::uid(), uid_t(1001));

    // A session name that would leave the sessions folder is not followed.
    root.write("run/systemd/seats/seat0", "ACTIVE=../sessions/c2\n");
    EXPECT_EQ(ConsoleUser::uid(), boost::none);

    root.write("run/systemd/seats/seat0", "IS_SEAT0=1\n");
    EXPECT_EQ(ConsoleUser::uid(), boost::none);
}

TEST_F(ConsoleUserTest, AFifoInPlaceOfTheFileIsNotReadAndDoesNotBlock) {
    boost::filesystem::create_directories(root / "var/run");
    ASSERT_EQ(::mkfifo((root / "var/run/console-user").c_str(), 0600), 0);
    root.write("run/systemd/seats/seat0", "ACTIVE_UID=1000\n");
    EXPECT_EQ(ConsoleUser::uid(), uid_t(1000));
}
