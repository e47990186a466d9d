#include "platform/keychain/KeychainItemFile.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace standin {

namespace {

const char* const FileHeader = "orv-keychain-item 1";
const char* const GenericPrefix = "gp-";
const char* const InternetPrefix = "ip-";

std::string toHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0f]);
    }
    return hex;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool fromHex(const std::string& hex, std::string& bytes) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    std::string result;
    result.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]);
        const int low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        result.push_back(static_cast<char>((high << 4) | low));
    }
    bytes.swap(result);
    return true;
}

// Fixed-width lower-case hex of an unsigned number.
template <typename T>
std::string numberToHex(T value) {
    std::string hex(sizeof(T) * 2, '0');
    for (std::size_t i = hex.size(); i-- > 0; value >>= 4) {
        hex[i] = "0123456789abcdef"[value & 0x0f];
    }
    return hex;
}

template <typename T>
bool hexToNumber(const std::string& hex, T& value) {
    if (hex.size() != sizeof(T) * 2) {
        return false;
    }
    T result = 0;
    for (char c : hex) {
        const int digit = hexDigit(c);
        if (digit < 0) {
            return false;
        }
        result = static_cast<T>((result << 4) | static_cast<T>(digit));
    }
    value = result;
    return true;
}

// Decimal 0..65535 without sign, leading zeros or other characters.
bool decimalToPort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > 0xffff) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

uint64_t checksum(const char* data, std::size_t size) {
    // FNV-1a, 64 bits.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

const char* className(KeychainItemClass itemClass) {
    return itemClass == KeychainItemClass::InternetPassword ? "internet" : "generic";
}

// Reads "key value\n" at `offset`; the value may be empty ("key \n").
bool readLine(const std::string& content, std::size_t& offset, const std::string& key,
              std::string& value) {
    const std::size_t end = content.find('\n', offset);
    if (end == std::string::npos) {
        return false;
    }
    const std::string line = content.substr(offset, end - offset);
    if (line.compare(0, key.size(), key) != 0 || line.size() < key.size() + 1 ||
        line[key.size()] != ' ') {
        return false;
    }
    value = line.substr(key.size() + 1);
    offset = end + 1;
    return true;
}

}  // namespace

std::string KeychainItemFile::fileName(const KeychainItem& item) {
    return item.itemClass == KeychainItemClass::InternetPassword
               ? internetPasswordFileName(item.server, item.account, item.protocol, item.port)
               : genericPasswordFileName(item.label);
}

std::string KeychainItemFile::genericPasswordFileName(const std::string& label) {
    std::string name = GenericPrefix + toHex(label);
    return name.size() <= MaxFileNameLength ? name : std::string();
}

std::string KeychainItemFile::internetPasswordFileName(const std::string& server,
                                                       const std::string& account,
                                                       uint32_t protocol, uint16_t port) {
    std::string name = InternetPrefix + toHex(server) + "-" + toHex(account) + "-" +
                       numberToHex(protocol) + "-" + std::to_string(port);
    return name.size() <= MaxFileNameLength ? name : std::string();
}

bool KeychainItemFile::parseInternetPasswordFileName(const std::string& name,
                                                     KeychainItem& identity) {
    const std::string prefix = InternetPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::vector<std::string> parts = split(name.substr(prefix.size()), '-');
    KeychainItem result;
    result.itemClass = KeychainItemClass::InternetPassword;
    if (parts.size() != 4 || !fromHex(parts[0], result.server) ||
        !fromHex(parts[1], result.account) || !hexToNumber(parts[2], result.protocol) ||
        !decimalToPort(parts[3], result.port)) {
        return false;
    }
    identity = std::move(result);
    return true;
}

std::string KeychainItemFile::encode(const KeychainItem& item) {
    std::string content;
    content += FileHeader;
    content += "\nclass ";
    content += className(item.itemClass);
    content += "\nlabel " + toHex(item.label);
    content += "\naccount " + toHex(item.account);
    content += "\nserver " + toHex(item.server);
    content += "\nprotocol " + numberToHex(item.protocol);
    content += "\nport " + std::to_string(item.port);
    content += "\nsecret " + toHex(item.secret);
    content += "\n";
    content += "checksum " + numberToHex(checksum(content.data(), content.size())) + "\n";
    return content;
}

bool KeychainItemFile::decode(const std::string& content, KeychainItem& item) {
    if (content.size() > MaxFileSize) {
        return false;
    }
    const std::string header = std::string(FileHeader) + "\n";
    if (content.compare(0, header.size(), header) != 0) {
        return false;
    }
    std::size_t offset = header.size();
    std::string itemClass, label, account, server, protocol, port, secret;
    if (!readLine(content, offset, "class", itemClass) ||
        !readLine(content, offset, "label", label) ||
        !readLine(content, offset, "account", account) ||
        !readLine(content, offset, "server", server) ||
        !readLine(content, offset, "protocol", protocol) ||
        !readLine(content, offset, "port", port) || !readLine(content, offset, "secret", secret)) {
        return false;
    }
    const std::size_t checkedSize = offset;
    std::string checksumText;
    uint64_t storedChecksum = 0;
    if (!readLine(content, offset, "checksum", checksumText) || offset != content.size() ||
        !hexToNumber(checksumText, storedChecksum) ||
        storedChecksum != checksum(content.data(), checkedSize)) {
        return false;
    }

    KeychainItem result;
    if (itemClass == className(KeychainItemClass::GenericPassword)) {
        result.itemClass = KeychainItemClass::GenericPassword;
    } else if (itemClass == className(KeychainItemClass::InternetPassword)) {
        result.itemClass = KeychainItemClass::InternetPassword;
    } else {
        return false;
    }
    if (!fromHex(label, result.label) || !fromHex(account, result.account) ||
        !fromHex(server, result.server) || !hexToNumber(protocol, result.protocol) ||
        !decimalToPort(port, result.port) || !fromHex(secret, result.secret)) {
        return false;
    }
    item = std::move(result);
    return true;
}

}  // namespace standin
