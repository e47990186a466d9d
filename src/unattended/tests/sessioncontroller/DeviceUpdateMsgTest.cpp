#include "unattended/sessioncontroller/DeviceUpdateMsg.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/persistence/JsonSerialization.h"

using corvalis::unattended::DeviceUpdateMsg;
using corvalis::unattended::formatBytes;

TEST(DeviceUpdate, FormatBytes) {
    const uint64_t kKiB = 1024, kMiB = kKiB * kKiB, kGiB = kMiB * kKiB;
    const struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1024, "1024 B"},
        {1025, "1.001 KB"},
        {1049599, "1024.999 KB"},
        {1049600, "1.001 MB"},
        {2560 * kMiB, "2.5 GB"},
        {16 * kGiB, "16 GB"},
        {kGiB * kGiB, "1024 PB"},
        {UINT64_MAX, "16383.999 PB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatBytes(c.bytes), c.text) << c.bytes;
    }
}

TEST(DeviceUpdate, TwentyTwoStringMembersInOrderEmptyOnesIncluded) {
    DeviceUpdateMsg message;
    message.Platform = "Mac";
    message.OSName = L"Debian GNU/Linux \u00e9";
    std::string text;
    ASSERT_TRUE(persistence::json_serialize(message, text));
    EXPECT_EQ(text,
              "{\"Type\":\"DeviceUpdate\",\"Platform\":\"Mac\",\"OSName\":\"Debian GNU/Linux "
              "\xc3\xa9\",\"OSVersion\":\"\",\"HostName\":\"\",\"Version\":\"\",\"DeviceName\":"
              "\"\",\"IPAddress\":\"\",\"MacAddress\":\"\",\"TlsInfo\":\"\",\"SystemModel\":\"\","
              "\"SystemManufacturer\":\"\",\"UserName\":\"\",\"Processor\":\"\",\"BiosVersion\":"
              "\"\",\"WindowsFolder\":\"\",\"SystemFolder\":\"\",\"UserLocale\":\"\",\"TimeZone\":"
              "\"\",\"TotalPhysicalMemory\":\"\",\"AvailablePhysicalMemory\":\"\","
              "\"BiosSerialNumber\":\"\"}");
}
