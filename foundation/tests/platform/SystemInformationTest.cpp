#include "foundation/platform/SystemInformation.h"

#include <net/if.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "foundation/platform/CPUFeatures.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using namespace platform;

namespace {

const char kCpuInfo[] =
    "processor\t: 0\n"
    "vendor_id\t: GenuineIntel\n"
    "model name\t: Intel(R) Core(TM) i7-8850H CPU @ 2.60GHz\n"
    "cpu MHz\t\t: 2593.906\n"
    "\n"
    "processor\t: 1\n"
    "model name\t: Other\n"
    "cpu MHz\t\t: 800.000\n";

const char kMemInfo[] =
    "MemTotal:       16318864 kB\n"
    "MemFree:         1234567 kB\n"
    "MemAvailable:    9999999 kB\n";

// Sources that read only fixtures: files below `root`, and the given uname, interfaces and
// user name.
SystemSources FixtureSources(const boost::filesystem::path& root) {
    SystemSources sources;
    sources.root = root;
    sources.uname = [](Uname& out) {
        out.nodename = "fixture-host";
        out.machine = "x86_64";
        return true;
    };
    sources.interfaces = [](std::vector<InterfaceAddress>&) { return false; };
    sources.effectiveUserName = [](std::string& out) {
        out = "r\xC3\xA9mi";
        return true;
    };
    return sources;
}

InterfaceAddress Link(const char* name, std::vector<unsigned char> bytes, unsigned flags = 0) {
    return InterfaceAddress{name, flags | IFF_UP, AF_PACKET, std::move(bytes)};
}

}  // namespace

TEST(SystemInformation, GettersReadTheirFixtureFiles) {
    testsupport::TempDir root;
    root.write("etc/os-release",
               "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
               "VERSION_ID=\"12\"\n");
    root.write("sys/class/dmi/id/product_name", "MacBookPro15,1\n");
    root.write("sys/class/dmi/id/bios_version", "1554.140.20.0.0 (iBridge: 18.16)\n");
    root.write("proc/cpuinfo", kCpuInfo);
    root.write("proc/meminfo", kMemInfo);
    const SystemInformation info(FixtureSources(root.path()));

    EXPECT_EQ(info.GetOSName(), L"Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(info.GetOSVersion(), L"12.0.0");
    EXPECT_EQ(info.GetSystemModel(), L"MacBookPro15,1");
    EXPECT_EQ(info.GetBIOSVersion(), L"1554.140.20.0.0 (iBridge: 18.16)");
    EXPECT_EQ(info.GetSystemManufacturer(), L"Apple");
    EXPECT_EQ(info.GetWindowsFolder(), L"");
    EXPECT_EQ(info.GetSystemFolder(), L"");
    EXPECT_EQ(info.GetCurrentUserName(), L"r\u00e9mi");
    EXPECT_EQ(info.GetTotalPhysicalMemory(), 16318864ull * 1024);
    EXPECT_EQ(info.GetFreePhysicalMemory(), 1234567ull * 1024);

    const ProcessorInfo cpu = info.GetProcessor();
    EXPECT_EQ(cpu.name, L"Intel(R) Core(TM) i7-8850H CPU @ 2.60GHz");
    EXPECT_EQ(cpu.architecture, L"x86_64");
    EXPECT_EQ(cpu.frequency, 2593906000ull);
    const CPUFeatures features;
    EXPECT_EQ(cpu.logicalProcessors, features.logicalProcessors);
    EXPECT_EQ(cpu.physicalCores, features.physicalCores);
}

TEST(SystemInformation, MissingOrBrokenSourcesGiveEmptyAnswers) {
    testsupport::TempDir root;
    SystemSources sources = FixtureSources(root.path());
    sources.uname = [](Uname&) { return false; };
    sources.effectiveUserName = [](std::string&) { return false; };
    const SystemInformation info(sources);

    EXPECT_EQ(info.GetOSName(), L"");
    EXPECT_EQ(info.GetOSVersion(), L"");
    EXPECT_EQ(info.GetSystemModel(), L"");
    EXPECT_EQ(info.GetBIOSVersion(), L"");
    EXPECT_EQ(info.GetCurrentUserName(), L"");
    EXPECT_EQ(info.GetTotalPhysicalMemory(), 0u);
    EXPECT_EQ(info.GetFreePhysicalMemory(), 0u);
    EXPECT_TRUE(info.GetMACAddresses().empty());
    const ProcessorInfo cpu = info.GetProcessor();
    EXPECT_EQ(cpu.name, L"");
    EXPECT_EQ(cpu.architecture, L"");
    EXPECT_EQ(cpu.frequency, 0u);

    // Files that are there but say nothing usable.
    root.write("etc/os-release", "NAME=x\n");
    root.write("sys/class/dmi/id/product_name", std::string("\n\0", 2));
    root.write("proc/cpuinfo", "processor\t: 0\ncpu MHz\t\t: fast\n");
    EXPECT_EQ(info.GetOSName(), L"");
    EXPECT_EQ(info.GetSystemModel(), L"");
    EXPECT_EQ(info.GetProcessor().frequency, 0u);
}

TEST(SystemInformation, TextsAreDecodedFromUtf8DroppingInvalidBytes) {
    testsupport::TempDir root;
    root.write("etc/os-release",
               "PRETTY_NAME=\"Caf\xC3\xA9 \xFF"
               "OS \xF0\x9F\x8D\x8E\"\n");
    root.write("sys/class/dmi/id/product_name", "A\xC3(B\n");
    const SystemInformation info(FixtureSources(root.path()));
    EXPECT_EQ(info.GetOSName(), L"Caf\u00e9 OS \U0001F34E");
    EXPECT_EQ(info.GetSystemModel(), L"A(B");
}

TEST(SystemInformation, MemoryFieldsAreKibibytesAndRejectNonsense) {
    struct Case {
        const char* meminfo;
        uint64_t total;
        uint64_t free;
    } cases[] = {
        {"MemTotal: 2 kB\nMemFree: 1 kB\n", 2048, 1024},
        {"MemTotal: 4096\nMemFree: 0 kB\n", 4096, 0},
        {"MemTotal: 18014398509481984 kB\n", 0, 0},        // overflows 64 bits in bytes
        {"MemTotal: 99999999999999999999999 kB\n", 0, 0},  // overflows as a number
        {"MemTotal: lots kB\nMemFree: 3 MB\n", 0, 0},
        {"MemAvailable: 5 kB\n", 0, 0},
    };
    for (const auto& c : cases) {
        testsupport::TempDir root;
        root.write("proc/meminfo", c.meminfo);
        const SystemInformation info(FixtureSources(root.path()));
        EXPECT_EQ(info.GetTotalPhysicalMemory(), c.total) << c.meminfo;
        EXPECT_EQ(info.GetFreePhysicalMemory(), c.free) << c.meminfo;
    }
}

TEST(SystemInformation, DefaultSourcesReadBelowTheSystemRoot) {
    testsupport::TempDir root;
    root.write("sys/class/dmi/id/product_name", "Macmini8,1\n");
    testsupport::ScopedEnv env("ORV_SYSTEM_ROOT", root.path().string());
    EXPECT_EQ(SystemInformation().GetSystemModel(), L"Macmini8,1");
}

TEST(SystemInformation, MacAddressesSkipLoopbackAndOtherFamiliesAndPadToSixBytes) {
    SystemSources sources = FixtureSources("/nonexistent");
    sources.interfaces = [](std::vector<InterfaceAddress>& out) {
        out = {
            Link("lo", {0, 0, 0, 0, 0, 0}, IFF_LOOPBACK),
            Link("eth0", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}),
            InterfaceAddress{"eth0", IFF_UP, AF_INET, {10, 0, 0, 5}},
            InterfaceAddress{"eth0", IFF_UP, AF_INET6, std::vector<unsigned char>(16, 0xfe)},
            InterfaceAddress{"noaddr", IFF_UP, AF_UNSPEC, {}},
            Link("tun0", {}),
            Link("short", {0xaa, 0xbb}),
            Link("ib0", std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8}),
        };
        return true;
    };
    const auto addresses = SystemInformation(sources).GetMACAddresses();
    using Bytes = std::array<unsigned char, 6>;
    const std::vector<Bytes> expected = {
        {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e},
        {0, 0, 0, 0, 0, 0},
        {0xaa, 0xbb, 0, 0, 0, 0},
        {1, 2, 3, 4, 5, 6},
    };
    ASSERT_EQ(addresses.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(addresses[i].address, expected[i]) << i;
        EXPECT_TRUE(addresses[i].description.empty());
    }
}

TEST(SystemInformation, RealInterfaceListNeverYieldsTheLoopback) {
    std::vector<InterfaceAddress> interfaces;
    ASSERT_TRUE(ReadInterfaceAddresses(interfaces));
    std::size_t links = 0;
    bool loopbackSeen = false;
    for (const auto& entry : interfaces) {
        if (entry.family == AF_PACKET) {
            if ((entry.flags & IFF_LOOPBACK) != 0) {
                loopbackSeen = true;
            } else {
                ++links;
            }
        }
    }
    EXPECT_TRUE(loopbackSeen);  // "lo" always exists, so the filter is exercised
    EXPECT_EQ(SystemInformation().GetMACAddresses().size(), links);
}

TEST(SystemInformation, ArchitectureNamesByProcessorType) {
    const std::pair<int, const wchar_t*> table[] = {
        {1, L"VAX"},
        {6, L"MC680x0"},
        {7, L"x86"},
        {10, L"MC98000"},
        {11, L"HPPA"},
        {12, L"ARM"},
        {13, L"MC88000"},
        {14, L"SPARC"},
        {15, L"I860"},
        {18, L"PowerPC"},
        {16777223, L"x86_64"},
        {16777228, L"ARM64"},
        {16777234, L"PowerPC_64"},
        {0, L""},
        {8, L""},
        {16777224, L""},
        {-1, L""},
    };
    for (const auto& [type, name] : table) {
        EXPECT_EQ(SystemInformation::ArchitectureName(type), name) << type;
    }
    const std::pair<const char*, int> machines[] = {
        {"x86_64", 16777223},  {"i686", 7},     {"i386", 7},
        {"aarch64", 16777228}, {"armv7l", 12},  {"ppc64le", 16777234},
        {"ppc", 18},           {"riscv64", -1}, {"", -1},
        {"i786", -1},
    };
    for (const auto& [machine, type] : machines) {
        EXPECT_EQ(SystemInformation::CpuTypeOfMachine(machine), type) << machine;
    }
}

TEST(SystemInformation, UserLocaleFromTheEnvironmentInTheDashedForm) {
    struct Case {
        std::optional<std::string> language, lcAll, lcMessages, lang;
        const wchar_t* expected;
    } cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, std::string("en_US.UTF-8"), L"en-US"},
        {std::string("de_CH:fr"), std::string("it_IT"), std::nullopt, std::string("en_US"),
         L"de-CH"},
        {std::string(""), std::string("C.UTF-8"), std::string("fr_FR@euro"), std::nullopt,
         L"fr-FR"},
        {std::nullopt, std::string("POSIX"), std::nullopt, std::string("C"), L""},
        // Values that name no language are passed over, not sent on as they are.
        {std::string(":/tmp/x"), std::string("en US"), std::string("../fr"),
         std::string("de_DE.UTF-8"), L"de-DE"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, L""},
        // 15 bytes fit whole, 16 do not fit at all
        {std::nullopt, std::nullopt, std::nullopt, std::string("zh_Hant_TW_abcd"),
         L"zh-Hant-TW-abcd"},
        {std::nullopt, std::nullopt, std::nullopt, std::string("zh_Hant_TW_abcde.UTF-8"), L""},
    };
    for (const auto& c : cases) {
        testsupport::ScopedEnv language("LANGUAGE", c.language);
        testsupport::ScopedEnv lcAll("LC_ALL", c.lcAll);
        testsupport::ScopedEnv lcMessages("LC_MESSAGES", c.lcMessages);
        testsupport::ScopedEnv lang("LANG", c.lang);
        EXPECT_EQ(SystemInformation().GetUserLocale(), c.expected) << c.lang.value_or("(unset)");
    }
}

TEST(SystemInformation, CurrentUserNameIsTheEffectiveUsersAccount) {
    const struct passwd* entry = getpwuid(geteuid());
    ASSERT_NE(entry, nullptr);
    std::wstring expected(entry->pw_name, entry->pw_name + strlen(entry->pw_name));
    EXPECT_EQ(SystemInformation().GetCurrentUserName(), expected);
}
