#include "platform/hardware/PlatformSerial.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "platform/systemroot/SystemRoot.h"

namespace standin {

namespace {

// First `maxBytes` of the file, without white space and zero bytes at either end; empty when
// the file cannot be read.
std::string readTrimmed(const boost::filesystem::path& file) {
    constexpr std::streamsize maxBytes = 4096;
    std::ifstream in(file.string(), std::ios::binary);
    if (!in.is_open()) {
        return std::string();
    }
    std::string content(static_cast<std::size_t>(maxBytes), '\0');
    in.read(&content[0], maxBytes);
    content.resize(in.bad() ? 0
                            : static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    const auto isBlank = [](char c) {
        return c == '\0' || std::isspace(static_cast<unsigned char>(c)) != 0;
    };
    const auto begin = std::find_if_not(content.begin(), content.end(), isBlank);
    const auto end = std::find_if_not(content.rbegin(), content.rend(), isBlank).base();
    return begin < end ? std::string(begin, end) : std::string();
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string PlatformSerial::read() {
    return read(SystemRoot::path());
}

std::string PlatformSerial::read(const boost::filesystem::path& root) {
    const std::string serial = readTrimmed(root / "sys/class/dmi/id/product_serial");
    if (!serial.empty() && !isPlaceholder(serial)) {
        return serial;
    }
    return readTrimmed(root / "etc/machine-id");
}

bool PlatformSerial::isPlaceholder(const std::string& text) {
    static const char* const placeholders[] = {
        "not specified",  "not applicable",         "not available",        "none", "n/a", "0",
        "default string", "to be filled by o.e.m.", "system serial number",
    };
    const std::string lower = lowerCase(text);
    for (const char* placeholder : placeholders) {
        if (lower == placeholder) {
            return true;
        }
    }
    return false;
}

}  // namespace standin
