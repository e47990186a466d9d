#include "platform/users/LocalUsers.h"

#include <gtest/gtest.h>
#include <pwd.h>

#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using standin::LocalUser;
using standin::LocalUsers;

namespace {

const char* const kPasswd =
    "root:x:0:0:root:/root:/bin/bash\n"
    "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
    "system:x:999:999::/var/lib/system:/bin/sh\n"
    "alice:x:1000:1000:Alice:/home/alice:/bin/bash\n"
    "locked:x:1001:1001::/home/locked:/usr/sbin/nologin\n"
    "service:x:1002:1002::/home/service:/bin/false\n"
    "this line is not an entry\n"
    "bob:x:1003:1003::/home/bob:\n"
    "alice:x:1004:1004::/home/alice2:/bin/sh\n"
    "nobody:x:65534:65534:nobody:/nonexistent:/bin/sh\n"
    "carol:x:60000:60000::/home/carol:/usr/bin/zsh\n";

std::vector<std::string> namesOf(const std::vector<LocalUser>& users) {
    std::vector<std::string> names;
    for (const auto& user : users) {
        names.push_back(user.name);
    }
    return names;
}

class LocalUsersTest : public ::testing::Test {
protected:
    LocalUsersTest() : _root("ORV_SYSTEM_ROOT", temp.path().string()) {
        temp.write("etc/passwd", kPasswd);
    }
    testsupport::TempDir temp;

private:
    testsupport::ScopedEnv _root;
};

}  // namespace

TEST_F(LocalUsersTest, LoginUsersInTheUidRangeInDatabaseOrder) {
    // No login.defs: 1000..60000.
    EXPECT_EQ(LocalUsers::uidMin(), 1000u);
    EXPECT_EQ(LocalUsers::uidMax(), 60000u);
    const auto users = LocalUsers::list();
    EXPECT_EQ(namesOf(users), (std::vector<std::string>{"alice", "bob", "carol"}));
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users[0].uid, 1000u);
    EXPECT_EQ(users[0].home, "/home/alice");
    EXPECT_EQ(LocalUsers::names(), namesOf(users));
}

TEST_F(LocalUsersTest, UidRangeComesFromLoginDefs) {
    temp.write("etc/login.defs",
               "# comment UID_MIN 1\n"
               "UID_MIN\t\t\t 999\n"
               "UID_MAX 1003\n"
               "GID_MIN 5\n");
    EXPECT_EQ(LocalUsers::uidMin(), 999u);
    EXPECT_EQ(LocalUsers::uidMax(), 1003u);
    EXPECT_EQ(LocalUsers::names(), (std::vector<std::string>{"system", "alice", "bob"}));

    // Values that are not numbers leave the defaults.
    temp.write("etc/login.defs", "UID_MIN -5\nUID_MAX lots\n");
    EXPECT_EQ(LocalUsers::uidMin(), 1000u);
    EXPECT_EQ(LocalUsers::uidMax(), 60000u);
}

TEST_F(LocalUsersTest, UnreadablePasswdFileGivesNoUsers) {
    EXPECT_TRUE(LocalUsers::fromPasswdFile(temp / "missing").empty());
}

TEST(LocalUsersRealDatabase, EveryListedUserIsALoginUserOfTheDatabase) {
    testsupport::ScopedEnv root("ORV_SYSTEM_ROOT", std::nullopt);
    for (const auto& user : LocalUsers::list()) {
        SCOPED_TRACE(user.name);
        const passwd* entry = getpwnam(user.name.c_str());
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->pw_uid, user.uid);
        EXPECT_TRUE(LocalUsers::isLoginUser(user, LocalUsers::uidMin(), LocalUsers::uidMax()));
    }
}
