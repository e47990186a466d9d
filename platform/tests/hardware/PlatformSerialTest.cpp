#include "platform/hardware/PlatformSerial.h"

#include <boost/filesystem/operations.hpp>

#include <gtest/gtest.h>

#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using standin::PlatformSerial;

TEST(PlatformSerial, ProductSerialFirstThenMachineId) {
    const std::string machineId = "3d1219c7c4c5404aaa1f6d2a48adfda4";
    struct Case {
        const char* name;
        std::optional<std::string> productSerial;  // no value: the file is missing
        std::optional<std::string> machineIdFile;
        std::string expected;
    } cases[] = {
        {"serial present", std::string("C02XK0ABJG5J\n"), machineId + "\n", "C02XK0ABJG5J"},
        {"serial with blanks", std::string("  VMware-56 4d\t\n"), machineId, "VMware-56 4d"},
        {"serial empty", std::string(""), machineId + "\n", machineId},
        {"serial blank", std::string(" \n"), machineId + "\n", machineId},
        {"serial missing", std::nullopt, machineId + "\n", machineId},
        {"placeholder", std::string("Not Specified\n"), machineId, machineId},
        {"placeholder case", std::string("to be filled by O.E.M.\n"), machineId, machineId},
        {"placeholder zero", std::string("0\n"), machineId, machineId},
        {"serial without machine id", std::string("ABC123\n"), std::nullopt, "ABC123"},
        {"nothing at all", std::nullopt, std::nullopt, ""},
        {"placeholder, machine id empty", std::string("None\n"), std::string("\n"), ""},
    };
    for (const auto& c : cases) {
        testsupport::TempDir root;
        if (c.productSerial) {
            root.write("sys/class/dmi/id/product_serial", *c.productSerial);
        }
        if (c.machineIdFile) {
            root.write("etc/machine-id", *c.machineIdFile);
        }
        EXPECT_EQ(PlatformSerial::read(root.path()), c.expected) << c.name;
    }
}

TEST(PlatformSerial, UnreadableProductSerialFallsBackToMachineId) {
    testsupport::TempDir root;
    // A folder in place of the file cannot be read as a serial.
    boost::filesystem::create_directories(root / "sys/class/dmi/id/product_serial");
    root.write("etc/machine-id", "abcdef\n");
    EXPECT_EQ(PlatformSerial::read(root.path()), "abcdef");
}

TEST(PlatformSerial, ReadsBelowTheSystemRoot) {
    testsupport::TempDir root;
    root.write("sys/class/dmi/id/product_serial", "SERIAL-1\n");
    testsupport::ScopedEnv env("ORV_SYSTEM_ROOT", root.path().string());
    EXPECT_EQ(PlatformSerial::read(), "SERIAL-1");
}

TEST(PlatformSerial, OnlyWholePlaceholdersCount) {
    EXPECT_TRUE(PlatformSerial::isPlaceholder("Default string"));
    EXPECT_TRUE(PlatformSerial::isPlaceholder("SYSTEM SERIAL NUMBER"));
    EXPECT_FALSE(PlatformSerial::isPlaceholder("0123"));
    EXPECT_FALSE(PlatformSerial::isPlaceholder("Not Specified 2"));
    EXPECT_FALSE(PlatformSerial::isPlaceholder(""));
}
