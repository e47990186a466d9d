#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/platform/SystemSources.h"

namespace platform {

// One link-layer address.
struct MACAddressInfo {
    std::array<unsigned char, 6> address{};
    std::string description;  // left empty by SystemInformation::GetMACAddresses
};

struct ProcessorInfo {
    std::wstring name;
    std::wstring architecture;
    uint64_t frequency = 0;  // hertz; 0 when it cannot be read
    int physicalCores = 0;
    int logicalProcessors = 0;
};

// The facts about the machine that go into the device description and the start-up log lines.
// It keeps no state besides its sources: every getter queries the system afresh, and a query
// that fails gives an empty text, an empty list or 0.
class SystemInformation {
public:
    SystemInformation();
    explicit SystemInformation(SystemSources sources);

    // Link-layer addresses of the interfaces that are not loopbacks, in interface order.
    std::vector<MACAddressInfo> GetMACAddresses() const;
    // Product name and version of the operating system (PRETTY_NAME of /etc/os-release).
    std::wstring GetOSName() const;
    // Major, minor and maintenance version joined by "." (GetOperatingSystemVersion).
    std::wstring GetOSVersion() const;
    // Hardware model (/sys/class/dmi/id/product_name).
    std::wstring GetSystemModel() const;
    std::wstring GetSystemManufacturer() const;
    ProcessorInfo GetProcessor() const;
    // Firmware version (/sys/class/dmi/id/bios_version).
    std::wstring GetBIOSVersion() const;
    std::wstring GetWindowsFolder() const;
    std::wstring GetSystemFolder() const;
    // Account name of the effective user.
    std::wstring GetCurrentUserName() const;
    // Identifier of the user's locale in the "en-US" form, at most 15 bytes.
    std::wstring GetUserLocale() const;
    // Installed and free memory in bytes (/proc/meminfo MemTotal and MemFree).
    uint64_t GetTotalPhysicalMemory() const;
    uint64_t GetFreePhysicalMemory() const;

    // Architecture name of a processor type number ("x86_64" for 16777223); empty for an
    // unlisted number.
    static std::wstring ArchitectureName(int cpuType);
    // Processor type number of a uname machine name ("x86_64" gives 16777223); -1 when unknown.
    static int CpuTypeOfMachine(const std::string& machine);
    // Locale identifier in the "en-US" form: the user's first preferred language
    // (standin::Locale, from LANGUAGE, LC_ALL, LC_MESSAGES and LANG); empty when none is named
    // or the identifier is longer than 15 bytes.
    static std::string LocaleIdentifierFromEnvironment();

private:
    std::string ReadSystemFile(const std::string& absolute) const;
    uint64_t ReadMemoryField(const std::string& key) const;

    SystemSources _sources;
};

}  // namespace platform
