#include "unattended/sessioncontroller/DeviceUpdateMsg.h"

#include <cmath>
#include <cstdio>

#include "common/addressinfo/AddressInfo.h"
#include "foundation/platform/SystemInformation.h"

namespace corvalis {
namespace unattended {

std::string formatBytes(uint64_t bytes) {
    static const char* const kUnits[] = {" B", " KB", " MB", " GB", " TB", " PB"};
    if (bytes <= 1024) {
        return std::to_string(bytes) + kUnits[0];
    }
    int unit = 1;
    uint64_t amount = bytes;
    // The unit changes once the count in the current one would pass 1024.999.
    while (amount > 1049599 && unit < 5) {
        amount /= 1024;
        ++unit;
    }
    const double value = std::round(static_cast<double>(amount) / 1024.0 * 1000.0) / 1000.0;
    char text[64];
    std::snprintf(text, sizeof(text), "%.6f", value);
    std::string result(text);
    while (!result.empty() && result.back() == '0') {
        result.pop_back();
    }
    if (!result.empty() && result.back() == '.') {
        result.pop_back();
    }
    return result + kUnits[unit];
}

DeviceUpdateMsg makeDeviceUpdate(const platform::SystemInformation& system,
                                 const common::AddressInfo& address, const std::string& deviceName,
                                 const std::string& timeZone) {
    DeviceUpdateMsg message;
    message.Platform = "Mac";
    message.OSName = system.GetOSName();
    message.OSVersion = system.GetOSVersion();
    message.HostName = address.getHostName();
    message.Version = kDaemonVersion;
    message.DeviceName = deviceName;
    message.IPAddress = address.getIpAddress();
    message.MacAddress = address.getAllMacAddresses();
    message.SystemModel = system.GetSystemModel();
    message.SystemManufacturer = system.GetSystemManufacturer();
    message.UserName = system.GetCurrentUserName();
    message.Processor = system.GetProcessor().name;
    message.BiosVersion = system.GetBIOSVersion();
    message.WindowsFolder = system.GetWindowsFolder();
    message.SystemFolder = system.GetSystemFolder();
    message.UserLocale = system.GetUserLocale();
    message.TimeZone = timeZone;
    message.TotalPhysicalMemory = formatBytes(system.GetTotalPhysicalMemory());
    message.AvailablePhysicalMemory = formatBytes(system.GetFreePhysicalMemory());
    message.BiosSerialNumber = address.getBiosSerialNumber();
    return message;
}

}  // namespace unattended
}  // namespace corvalis
