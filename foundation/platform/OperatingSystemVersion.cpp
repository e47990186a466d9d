#include "foundation/platform/OperatingSystemVersion.h"

#include <cctype>

#include "foundation/platform/TextSources.h"
#include "platform/systemroot/SystemRoot.h"

namespace platform {

std::string GetOperatingSystemVersion() {
    return GetOperatingSystemVersion(standin::SystemRoot::path());
}

std::string GetOperatingSystemVersion(const boost::filesystem::path& root) {
    const auto content = ReadTextFile(root / "etc" / "os-release");
    if (!content) {
        return std::string();
    }
    const auto versionId = ReadAssignment(*content, "VERSION_ID");
    if (!versionId) {
        return std::string();
    }

    // Up to three leading numbers separated by "."; a number longer than nine digits is no
    // version number.
    unsigned long numbers[3] = {0, 0, 0};
    std::size_t count = 0;
    std::size_t pos = 0;
    const std::string& text = *versionId;
    while (count < 3) {
        std::size_t digits = 0;
        unsigned long value = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) &&
               digits < 10) {
            value = value * 10 + static_cast<unsigned long>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 9) {
            break;
        }
        numbers[count++] = value;
        if (pos >= text.size() || text[pos] != '.') {
            break;
        }
        ++pos;
    }
    if (count == 0) {
        return std::string();
    }
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
           std::to_string(numbers[2]);
}

}  // namespace platform
