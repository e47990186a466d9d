#include "foundation/platform/SystemSources.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/systemroot/SystemRoot.h"

namespace platform {

SystemSources SystemSources::System() {
    SystemSources sources;
    sources.uname = &ReadUname;
    sources.interfaces = &ReadInterfaceAddresses;
    sources.effectiveUserName = &ReadEffectiveUserName;
    return sources;
}

boost::filesystem::path SystemSources::rootFolder() const {
    return root.empty() ? standin::SystemRoot::path() : root;
}

boost::filesystem::path SystemSources::resolve(const std::string& absolute) const {
    std::string relative = absolute;
    relative.erase(0, relative.find_first_not_of('/'));
    return relative.empty() ? rootFolder() : rootFolder() / relative;
}

bool ReadUname(Uname& out) {
    struct utsname names {};
    if (::uname(&names) != 0) {
        return false;
    }
    out.nodename = names.nodename;
    out.machine = names.machine;
    return true;
}

bool ReadInterfaceAddresses(std::vector<InterfaceAddress>& out) {
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return false;
    }
    out.clear();
    for (const struct ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        InterfaceAddress item;
        item.name = entry->ifa_name != nullptr ? entry->ifa_name : "";
        item.flags = entry->ifa_flags;
        item.family = AF_UNSPEC;
        if (entry->ifa_addr != nullptr) {
            item.family = entry->ifa_addr->sa_family;
            if (item.family == AF_PACKET) {
                const auto* link = reinterpret_cast<const struct sockaddr_ll*>(entry->ifa_addr);
                const size_t length = std::min<size_t>(link->sll_halen, sizeof(link->sll_addr));
                item.address.assign(link->sll_addr, link->sll_addr + length);
            } else if (item.family == AF_INET) {
                const auto* in = reinterpret_cast<const struct sockaddr_in*>(entry->ifa_addr);
                const auto* bytes = reinterpret_cast<const unsigned char*>(&in->sin_addr);
                item.address.assign(bytes, bytes + sizeof(in->sin_addr));
            } else if (item.family == AF_INET6) {
                const auto* in6 = reinterpret_cast<const struct sockaddr_in6*>(entry->ifa_addr);
                const auto* bytes = reinterpret_cast<const unsigned char*>(&in6->sin6_addr);
                item.address.assign(bytes, bytes + sizeof(in6->sin6_addr));
            }
        }
        out.push_back(std::move(item));
    }
    freeifaddrs(list);
    return true;
}

bool ReadEffectiveUserName(std::string& out) {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 1024);
    struct passwd entry {};
    struct passwd* found = nullptr;
    for (;;) {
        const int result = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (result == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (result != 0 || found == nullptr || found->pw_name == nullptr) {
            return false;
        }
        out = found->pw_name;
        return true;
    }
}

}  // namespace platform
