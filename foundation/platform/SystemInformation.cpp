#include "foundation/platform/SystemInformation.h"

#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <limits>

#include "foundation/conversion/UnicodeConversion.h"
#include "foundation/platform/CPUFeatures.h"
#include "foundation/platform/OperatingSystemVersion.h"
#include "foundation/platform/TextSources.h"
#include "platform/locale/Locale.h"

namespace platform {

namespace {

constexpr int kCpuArch64 = 0x01000000;

// A decimal number of megahertz ("2593.906") in hertz; 0 when it is no such number or does
// not fit.
uint64_t MegahertzToHertz(const std::string& text) {
    uint64_t whole = 0;
    std::size_t pos = 0;
    std::size_t digits = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        if (++digits > 12) {
            return 0;
        }
        whole = whole * 10 + static_cast<uint64_t>(text[pos] - '0');
        ++pos;
    }
    if (digits == 0) {
        return 0;
    }
    uint64_t fraction = 0;
    uint64_t scale = 1000000;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            if (scale > 1) {
                scale /= 10;
                fraction += static_cast<uint64_t>(text[pos] - '0') * scale;
            }
            ++pos;
        }
    }
    if (pos != text.size()) {
        return 0;
    }
    return whole * 1000000 + fraction;
}

}  // namespace

SystemInformation::SystemInformation() : _sources(SystemSources::System()) {}

SystemInformation::SystemInformation(SystemSources sources) : _sources(std::move(sources)) {}

std::vector<MACAddressInfo> SystemInformation::GetMACAddresses() const {
    std::vector<MACAddressInfo> result;
    std::vector<InterfaceAddress> interfaces;
    if (!_sources.interfaces || !_sources.interfaces(interfaces)) {
        return result;
    }
    for (const auto& entry : interfaces) {
        if (entry.family != AF_PACKET || (entry.flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        MACAddressInfo info;
        std::copy_n(entry.address.begin(), std::min(entry.address.size(), info.address.size()),
                    info.address.begin());
        result.push_back(info);
    }
    return result;
}

std::wstring SystemInformation::GetOSName() const {
    const auto content = ReadTextFile(_sources.resolve("/etc/os-release"));
    if (!content) {
        return std::wstring();
    }
    return conversion::Utf8ToUtf32(ReadAssignment(*content, "PRETTY_NAME").value_or(std::string()));
}

std::wstring SystemInformation::GetOSVersion() const {
    return conversion::Utf8ToUtf32(GetOperatingSystemVersion(_sources.rootFolder()));
}

std::wstring SystemInformation::GetSystemModel() const {
    return conversion::Utf8ToUtf32(ReadSystemFile("/sys/class/dmi/id/product_name"));
}

std::wstring SystemInformation::GetSystemManufacturer() const {
    return L"Apple";
}

ProcessorInfo SystemInformation::GetProcessor() const {
    ProcessorInfo info;
    if (const auto cpuinfo = ReadTextFile(_sources.resolve("/proc/cpuinfo"))) {
        info.name =
            conversion::Utf8ToUtf32(ReadColonField(*cpuinfo, "model name").value_or(std::string()));
        info.frequency = MegahertzToHertz(ReadColonField(*cpuinfo, "cpu MHz").value_or(""));
    }
    Uname names;
    if (_sources.uname && _sources.uname(names)) {
        info.architecture = ArchitectureName(CpuTypeOfMachine(names.machine));
    }
    const CPUFeatures features;
    info.physicalCores = features.physicalCores;
    info.logicalProcessors = features.logicalProcessors;
    return info;
}

std::wstring SystemInformation::GetBIOSVersion() const {
    return conversion::Utf8ToUtf32(ReadSystemFile("/sys/class/dmi/id/bios_version"));
}

std::wstring SystemInformation::GetWindowsFolder() const {
    return std::wstring();
}

std::wstring SystemInformation::GetSystemFolder() const {
    return std::wstring();
}

std::wstring SystemInformation::GetCurrentUserName() const {
    std::string name;
    if (!_sources.effectiveUserName || !_sources.effectiveUserName(name)) {
        return std::wstring();
    }
    return conversion::Utf8ToUtf32(name);
}

std::wstring SystemInformation::GetUserLocale() const {
    return conversion::Utf8ToUtf32(LocaleIdentifierFromEnvironment());
}

uint64_t SystemInformation::GetTotalPhysicalMemory() const {
    return ReadMemoryField("MemTotal");
}

uint64_t SystemInformation::GetFreePhysicalMemory() const {
    return ReadMemoryField("MemFree");
}

std::wstring SystemInformation::ArchitectureName(int cpuType) {
    switch (cpuType) {
        case 1:
            return L"VAX";
        case 6:
            return L"MC680x0";
        case 7:
            return L"x86";
        case 10:
            return L"MC98000";
        case 11:
            return L"HPPA";
        case 12:
            return L"ARM";
        case 13:
            return L"MC88000";
        case 14:
            return L"SPARC";
        case 15:
            return L"I860";
        case 18:
            return L"PowerPC";
        case 7 | kCpuArch64:
            return L"x86_64";
        case 12 | kCpuArch64:
            return L"ARM64";
        case 18 | kCpuArch64:
            return L"PowerPC_64";
        default:
            return std::wstring();
    }
}

int SystemInformation::CpuTypeOfMachine(const std::string& machine) {
    const auto startsWith = [&machine](const char* prefix) {
        return machine.rfind(prefix, 0) == 0;
    };
    if (machine == "x86_64" || machine == "amd64") {
        return 7 | kCpuArch64;
    }
    if (machine == "x86" || (machine.size() == 4 && machine[0] == 'i' && machine[2] == '8' &&
                             machine[3] == '6' && machine[1] >= '3' && machine[1] <= '6')) {
        return 7;
    }
    if (machine == "aarch64" || machine == "arm64") {
        return 12 | kCpuArch64;
    }
    if (startsWith("arm")) {
        return 12;
    }
    if (startsWith("ppc64")) {
        return 18 | kCpuArch64;
    }
    if (machine == "ppc" || machine == "powerpc") {
        return 18;
    }
    if (startsWith("sparc")) {
        return 14;
    }
    if (startsWith("parisc")) {
        return 11;
    }
    if (machine == "m68k") {
        return 6;
    }
    return -1;
}

std::string SystemInformation::LocaleIdentifierFromEnvironment() {
    constexpr std::size_t kMaxIdentifierBytes = 15;
    const std::vector<std::string> languages = standin::Locale::preferredLanguages();
    if (languages.empty() || languages.front().size() > kMaxIdentifierBytes) {
        return std::string();
    }
    return languages.front();
}

std::string SystemInformation::ReadSystemFile(const std::string& absolute) const {
    return TrimText(ReadTextFile(_sources.resolve(absolute), 4096).value_or(std::string()));
}

uint64_t SystemInformation::ReadMemoryField(const std::string& key) const {
    const auto meminfo = ReadTextFile(_sources.resolve("/proc/meminfo"));
    if (!meminfo) {
        return 0;
    }
    const auto field = ReadColonField(*meminfo, key);
    if (!field) {
        return 0;
    }
    // "16318864 kB": a count of kibibytes (bytes when no unit follows).
    std::size_t pos = 0;
    uint64_t value = 0;
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    while (pos < field->size() && std::isdigit(static_cast<unsigned char>((*field)[pos]))) {
        const uint64_t digit = static_cast<uint64_t>((*field)[pos] - '0');
        if (value > (max - digit) / 10) {
            return 0;
        }
        value = value * 10 + digit;
        ++pos;
    }
    if (pos == 0) {
        return 0;
    }
    const std::string unit = TrimText(field->substr(pos));
    if (unit.empty()) {
        return value;
    }
    if (unit != "kB") {
        return 0;
    }
    return value > max / 1024 ? 0 : value * 1024;
}

}  // namespace platform
