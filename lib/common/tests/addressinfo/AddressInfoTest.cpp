#include "common/addressinfo/AddressInfo.h"

#include <net/if.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using common::AddressInfo;
using platform::InterfaceAddress;
using platform::SystemSources;

namespace {

SystemSources WithInterfaces(const boost::filesystem::path& root,
                             std::vector<InterfaceAddress> interfaces) {
    SystemSources sources;
    sources.root = root;
    sources.uname = [](platform::Uname& out) {
        out.nodename = "fixture-host";
        out.machine = "x86_64";
        return true;
    };
    sources.interfaces = [interfaces](std::vector<InterfaceAddress>& out) {
        out = interfaces;
        return true;
    };
    return sources;
}

InterfaceAddress Link(std::vector<unsigned char> bytes, unsigned flags = IFF_UP) {
    return InterfaceAddress{"en", flags, AF_PACKET, std::move(bytes)};
}

InterfaceAddress Inet(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    return InterfaceAddress{"en", IFF_UP, AF_INET, {a, b, c, d}};
}

}  // namespace

TEST(AddressInfo, MacAddressesAreSixteenDigitsJoinedByCommaAndSpace) {
    testsupport::TempDir root;
    struct Case {
        const char* name;
        std::vector<InterfaceAddress> interfaces;
        std::string expected;
    } cases[] = {
        {"one", {Link({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})}, "001a2b3c4d5e0000"},
        {"two in order",
         {Link({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}), Link({0xAC, 0xDE, 0x48, 0x00, 0x11, 0x22})},
         "001a2b3c4d5e0000, acde480011220000"},
        {"all-zero and loopback skipped",
         {Link({1, 2, 3, 4, 5, 6}, IFF_UP | IFF_LOOPBACK), Link({}), Link({0, 0, 0, 0, 0, 0}),
          Link({0xf0, 0x18, 0x98, 0x01, 0x02, 0x03})},
         "f01898010203"
         "0000"},
        {"short address padded", {Link({0xaa, 0xbb})}, "aabb000000000000"},
        {"only other families", {Inet(10, 0, 0, 5)}, ""},
        {"none", {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AddressInfo(WithInterfaces(root.path(), c.interfaces)).getAllMacAddresses(),
                  c.expected)
            << c.name;
    }
}

TEST(AddressInfo, IpAddressesLeaveOut127AndOtherFamilies) {
    testsupport::TempDir root;
    const InterfaceAddress v6{"en", IFF_UP, AF_INET6, std::vector<unsigned char>(16, 0x20)};
    const InterfaceAddress noAddress{"ppp0", IFF_UP, AF_UNSPEC, {}};
    const InterfaceAddress brokenInet{"en", IFF_UP, AF_INET, {10, 0}};
    struct Case {
        const char* name;
        std::vector<InterfaceAddress> interfaces;
        std::string expected;
    } cases[] = {
        {"loopback left out", {Inet(127, 0, 0, 1), Inet(10, 0, 0, 5)}, "10.0.0.5"},
        {"interface order", {Inet(10, 0, 0, 5), Inet(192, 168, 1, 7)}, "10.0.0.5,192.168.1.7"},
        {"all of 127/8 left out", {Inet(127, 1, 2, 3), Inet(12, 7, 0, 1)}, "12.7.0.1"},
        {"IPv6 only", {v6}, ""},
        {"entries without address passed over",
         {noAddress, Link({1, 2, 3, 4, 5, 6}), brokenInet, Inet(172, 16, 0, 1)},
         "172.16.0.1"},
        {"none", {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AddressInfo(WithInterfaces(root.path(), c.interfaces)).getIpAddress(), c.expected)
            << c.name;
    }
}

TEST(AddressInfo, FailingInterfaceListGivesEmptyTexts) {
    testsupport::TempDir root;
    SystemSources sources = WithInterfaces(root.path(), {});
    sources.interfaces = [](std::vector<InterfaceAddress>&) { return false; };
    const AddressInfo info(sources);
    EXPECT_EQ(info.getAllMacAddresses(), "");
    EXPECT_EQ(info.getIpAddress(), "");
}

TEST(AddressInfo, HostNamePrefersThePrettyName) {
    testsupport::TempDir root;
    const AddressInfo info(WithInterfaces(root.path(), {}));
    EXPECT_EQ(info.getHostName(), "fixture-host");
    root.write("etc/machine-info",
               "CHASSIS=laptop\nPRETTY_HOSTNAME=\"R\xC3\xA9mi's MacBook Pro\"\n");
    EXPECT_EQ(info.getHostName(), "R\xC3\xA9mi's MacBook Pro");
    root.write("etc/machine-info", "PRETTY_HOSTNAME=\"  \"\n");
    EXPECT_EQ(info.getHostName(), "fixture-host");

    SystemSources noUname = WithInterfaces(root.path(), {});
    noUname.uname = [](platform::Uname&) { return false; };
    EXPECT_EQ(AddressInfo(noUname).getHostName(), "");
}

TEST(AddressInfo, SerialNumberComesFromThePlatformSerial) {
    testsupport::TempDir root;
    const AddressInfo info(WithInterfaces(root.path(), {}));
    EXPECT_EQ(info.getBiosSerialNumber(), "");
    root.write("etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    // Longer than 31 bytes and still whole.
    EXPECT_EQ(info.getBiosSerialNumber(), "3d1219c7c4c5404aaa1f6d2a48adfda4");
    root.write("sys/class/dmi/id/product_serial", "C02XK0ABJG5J\n");
    EXPECT_EQ(info.getBiosSerialNumber(), "C02XK0ABJG5J");
}

TEST(AddressInfo, RealSystemAnswers) {
    testsupport::ScopedEnv env("ORV_SYSTEM_ROOT", std::nullopt);
    const AddressInfo info;
    EXPECT_FALSE(info.getHostName().empty());
    const std::string ips = info.getIpAddress();
    EXPECT_EQ(ips.find("127."), std::string::npos) << ips;
    const std::string macs = info.getAllMacAddresses();
    // Every address is 16 digits ending in "0000", separated by ", ".
    for (std::size_t pos = 0; pos < macs.size(); pos += 18) {
        const std::string one = macs.substr(pos, 16);
        EXPECT_EQ(one.size(), 16u) << macs;
        EXPECT_EQ(one.find_first_not_of("0123456789abcdef"), std::string::npos) << macs;
        EXPECT_EQ(one.substr(12), "0000") << macs;
        if (pos + 16 < macs.size()) {
            EXPECT_EQ(macs.substr(pos + 16, 2), ", ") << macs;
        }
    }
}
