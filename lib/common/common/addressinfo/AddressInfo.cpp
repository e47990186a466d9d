#include "common/addressinfo/AddressInfo.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "foundation/conversion/HexString.h"
#include "foundation/platform/SystemInformation.h"
#include "foundation/platform/TextSources.h"
#include "platform/hardware/PlatformSerial.h"

namespace common {

AddressInfo::AddressInfo() : AddressInfo(platform::SystemSources::System()) {}

AddressInfo::AddressInfo(platform::SystemSources sources)
    : _sources(std::move(sources)), _logger(ILogger::create("AddressInfo")) {}

AddressInfo::~AddressInfo() = default;

std::string AddressInfo::getAllMacAddresses() const {
    static const std::string allZero(16, '0');
    std::string result;
    for (const auto& info : platform::SystemInformation(_sources).GetMACAddresses()) {
        unsigned char bytes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        std::memcpy(bytes, info.address.data(), info.address.size());
        const std::string hex = conversion::StringToHex(bytes, sizeof(bytes), false);
        if (hex == allZero) {
            continue;
        }
        if (!result.empty()) {
            result += ", ";
        }
        result += hex;
    }
    return result;
}

std::string AddressInfo::getHostName() const {
    if (const auto machineInfo =
            platform::ReadTextFile(_sources.resolve("/etc/machine-info"), 64 * 1024)) {
        const std::string pretty = platform::TrimText(
            platform::ReadAssignment(*machineInfo, "PRETTY_HOSTNAME").value_or(std::string()));
        if (!pretty.empty()) {
            return pretty;
        }
    }
    platform::Uname names;
    if (_sources.uname && _sources.uname(names)) {
        return names.nodename;
    }
    return std::string();
}

std::string AddressInfo::getIpAddress() const {
    std::vector<platform::InterfaceAddress> interfaces;
    if (!_sources.interfaces || !_sources.interfaces(interfaces)) {
        return std::string();
    }
    std::string result;
    for (const auto& entry : interfaces) {
        if (entry.family != AF_INET || entry.address.size() != sizeof(struct in_addr)) {
            continue;
        }
        struct in_addr address {};
        std::memcpy(&address, entry.address.data(), sizeof(address));
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address, text, sizeof(text)) == nullptr ||
            std::strncmp(text, "127", 3) == 0) {
            continue;
        }
        if (!result.empty()) {
            result += ",";
        }
        result += text;
    }
    return result;
}

std::string AddressInfo::getBiosSerialNumber() const {
    return standin::PlatformSerial::read(_sources.rootFolder());
}

}  // namespace common
