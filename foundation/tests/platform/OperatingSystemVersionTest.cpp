#include "foundation/platform/OperatingSystemVersion.h"

#include <gtest/gtest.h>

#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using platform::GetOperatingSystemVersion;

TEST(OperatingSystemVersion, ThreeNumbersFromVersionId) {
    struct Case {
        const char* osRelease;
        const char* expected;
    } cases[] = {
        {"VERSION_ID=\"12\"\n", "12.0.0"},
        {"VERSION_ID=\"22.04\"\n", "22.4.0"},
        {"VERSION_ID=3.18.4\n", "3.18.4"},
        {"VERSION_ID=\"10.15.7.1\"\n", "10.15.7"},
        {"VERSION_ID=\"39.beta\"\n", "39.0.0"},
        {"VERSION_ID=\"rolling\"\n", ""},
        {"VERSION_ID=\"\"\n", ""},
        {"VERSION_ID=12345678901\n", ""},
        {"NAME=\"Debian GNU/Linux\"\n", ""},
    };
    for (const auto& c : cases) {
        testsupport::TempDir root;
        root.write("etc/os-release", c.osRelease);
        EXPECT_EQ(GetOperatingSystemVersion(root.path()), c.expected) << c.osRelease;
    }
}

TEST(OperatingSystemVersion, ReadsBelowTheSystemRootAndIsEmptyWithoutTheFile) {
    testsupport::TempDir root;
    testsupport::ScopedEnv env("ORV_SYSTEM_ROOT", root.path().string());
    EXPECT_EQ(GetOperatingSystemVersion(), "");
    root.write("etc/os-release", "VERSION_ID=\"11\"\n");
    EXPECT_EQ(GetOperatingSystemVersion(), "11.0.0");
}
