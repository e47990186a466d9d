#pragma once

#include <cstdint>
#include <string>

#include "foundation/persistence/MemberVariable.h"
#include "unattended/version/DaemonVersion.h"

namespace platform {
class SystemInformation;
}
namespace common {
class AddressInfo;
}

namespace corvalis {
namespace unattended {

// What the daemon tells the backend about the machine, on every connect and after a rename.
// Every member is a JSON string, written in this order; wide values are written as UTF-8.
struct DeviceUpdateMsg {
    std::string Type = "DeviceUpdate";
    std::string Platform;
    std::wstring OSName;
    std::wstring OSVersion;
    std::string HostName;
    std::string Version;
    std::string DeviceName;
    std::string IPAddress;
    std::string MacAddress;
    std::string TlsInfo;
    std::wstring SystemModel;
    std::wstring SystemManufacturer;
    std::wstring UserName;
    std::wstring Processor;
    std::wstring BiosVersion;
    std::wstring WindowsFolder;
    std::wstring SystemFolder;
    std::wstring UserLocale;
    std::string TimeZone;
    std::string TotalPhysicalMemory;
    std::string AvailablePhysicalMemory;
    std::string BiosSerialNumber;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type) &
            persistence::member_variable("Platform", Platform) &
            persistence::member_variable("OSName", OSName) &
            persistence::member_variable("OSVersion", OSVersion) &
            persistence::member_variable("HostName", HostName) &
            persistence::member_variable("Version", Version) &
            persistence::member_variable("DeviceName", DeviceName) &
            persistence::member_variable("IPAddress", IPAddress) &
            persistence::member_variable("MacAddress", MacAddress) &
            persistence::member_variable("TlsInfo", TlsInfo) &
            persistence::member_variable("SystemModel", SystemModel) &
            persistence::member_variable("SystemManufacturer", SystemManufacturer) &
            persistence::member_variable("UserName", UserName) &
            persistence::member_variable("Processor", Processor) &
            persistence::member_variable("BiosVersion", BiosVersion) &
            persistence::member_variable("WindowsFolder", WindowsFolder) &
            persistence::member_variable("SystemFolder", SystemFolder) &
            persistence::member_variable("UserLocale", UserLocale) &
            persistence::member_variable("TimeZone", TimeZone) &
            persistence::member_variable("TotalPhysicalMemory", TotalPhysicalMemory) &
            persistence::member_variable("AvailablePhysicalMemory", AvailablePhysicalMemory) &
            persistence::member_variable("BiosSerialNumber", BiosSerialNumber);
    }
};

// A byte count for people: "1024 B", "1.001 KB", "2.5 GB" (steps of 1024, three decimals at
// most, trailing zeros dropped).
std::string formatBytes(uint64_t bytes);

// The device description from the machine facts queried afresh. `deviceName` and `timeZone`
// come from the caller (the parameters and the time-zone helper).
DeviceUpdateMsg makeDeviceUpdate(const platform::SystemInformation& system,
                                 const common::AddressInfo& address, const std::string& deviceName,
                                 const std::string& timeZone);

}  // namespace unattended
}  // namespace corvalis
