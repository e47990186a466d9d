#pragma once

#include <boost/filesystem/path.hpp>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// The parts of uname(2) that the platform information reads.
struct Uname {
    std::string nodename;
    std::string machine;
};

// One entry of the interface address list (getifaddrs(3)).
struct InterfaceAddress {
    std::string name;
    unsigned int flags = 0;  // IFF_* of the interface
    int family = 0;          // AF_PACKET, AF_INET, AF_INET6, ...; AF_UNSPEC when it has no address
    // AF_PACKET: the link-layer address bytes (as many as the interface has, maybe none);
    // AF_INET: the 4 address bytes in network order; AF_INET6: the 16 address bytes.
    std::vector<unsigned char> address;
};

// Where the platform information comes from. The defaults read the running system; tests
// replace any of them with fixtures.
struct SystemSources {
    // The folder that stands for "/" when the text sources are read (/etc/os-release,
    // /proc/cpuinfo, /proc/meminfo, /sys/class/dmi/id/...). Empty: the system root
    // (standin::SystemRoot), looked up at each query.
    boost::filesystem::path root;
    // uname(2); false when it fails.
    std::function<bool(Uname&)> uname;
    // The interface address list in the order of getifaddrs(3); false when it fails.
    std::function<bool(std::vector<InterfaceAddress>&)> interfaces;
    // The account name of the effective user; false when there is no entry.
    std::function<bool(std::string&)> effectiveUserName;

    // Sources of the running system.
    static SystemSources System();

    // `root`, or the system root when it is empty.
    boost::filesystem::path rootFolder() const;
    // The system location `absolute` (written as on the real system, "/etc/os-release") below
    // rootFolder().
    boost::filesystem::path resolve(const std::string& absolute) const;
};

// The system's own implementations behind SystemSources::System().
bool ReadUname(Uname& out);
bool ReadInterfaceAddresses(std::vector<InterfaceAddress>& out);
bool ReadEffectiveUserName(std::string& out);

}  // namespace platform
