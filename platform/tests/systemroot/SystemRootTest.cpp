#include "platform/systemroot/SystemRoot.h"

#include <gtest/gtest.h>

#include "testsupport/ScopedEnv.h"

using standin::SystemRoot;
using testsupport::ScopedEnv;

TEST(SystemRoot, DefaultsToSlashWhenUnsetOrEmpty) {
    for (const auto& value : {std::optional<std::string>{}, std::optional<std::string>{""}}) {
        ScopedEnv env("ORV_SYSTEM_ROOT", value);
        EXPECT_EQ(SystemRoot::path(), "/");
        EXPECT_EQ(SystemRoot::resolve("/Library/LaunchDaemons"), "/Library/LaunchDaemons");
    }
}

TEST(SystemRoot, ResolvesSystemLocationsBelowTheConfiguredRoot) {
    ScopedEnv env("ORV_SYSTEM_ROOT", std::string("/tmp/root"));
    EXPECT_EQ(SystemRoot::resolve("/Library/Keychains"), "/tmp/root/Library/Keychains");
    EXPECT_EQ(SystemRoot::resolve("//var/run/console-user"), "/tmp/root/var/run/console-user");
    EXPECT_EQ(SystemRoot::resolve("/"), "/tmp/root");
}
