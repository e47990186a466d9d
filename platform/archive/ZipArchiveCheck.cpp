#include "platform/archive/ZipArchiveCheck.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace standin {

namespace {

const uint32_t kEndOfDirectory = 0x06054b50;
const uint32_t kZip64Locator = 0x07064b50;
const uint32_t kZip64EndOfDirectory = 0x06064b50;
const uint32_t kDirectoryEntry = 0x02014b50;
const size_t kEndOfDirectorySize = 22;
const size_t kLongestComment = 0xFFFF;
const size_t kEntryHeaderSize = 46;
const uint64_t kMostEntries = 1000000;

// Little-endian reads within a byte range; every read is checked against its end.
class Bytes {
public:
    explicit Bytes(const std::string& data) : _data(data) {}
    bool has(uint64_t offset, uint64_t length) const {
        return offset <= _data.size() && length <= _data.size() - offset;
    }
    uint64_t read(uint64_t offset, int width) const {
        uint64_t value = 0;
        for (int i = width - 1; i >= 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(_data[offset + i]);
        }
        return value;
    }
    std::string text(uint64_t offset, uint64_t length) const {
        return _data.substr(offset, length);
    }
    uint64_t size() const { return _data.size(); }

private:
    const std::string& _data;
};

std::string checkName(const std::string& name) {
    if (name.empty()) {
        return "an entry without a name";
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            return "a name with a control character";
        }
        if (c == '\\') {
            return "a name with a backslash: " + name;
        }
    }
    if (name[0] == '/') {
        return "an absolute name: " + name;
    }
    if (name.size() >= 2 && name[1] == ':') {
        return "a name with a drive letter: " + name;
    }
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = name.find('/', start);
        const std::string part =
            name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") {
            return "a name that leaves the folder: " + name;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return std::string();
}

}  // namespace

std::string ZipArchiveCheck::check(const boost::filesystem::path& archive) {
    std::ifstream file(archive.string(), std::ios::binary);
    if (!file) {
        return "the archive cannot be read";
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (file.bad()) {
        return "the archive cannot be read";
    }
    return checkBytes(bytes);
}

std::string ZipArchiveCheck::checkBytes(const std::string& data) {
    const Bytes bytes(data);
    if (bytes.size() < kEndOfDirectorySize) {
        return "not a zip archive";
    }
    // The end record lies within the last 22 + 65535 bytes; take the last one found.
    uint64_t end = bytes.size() - kEndOfDirectorySize;
    const uint64_t lowest = bytes.size() > kEndOfDirectorySize + kLongestComment
                                ? bytes.size() - kEndOfDirectorySize - kLongestComment
                                : 0;
    bool found = false;
    for (;;) {
        if (bytes.read(end, 4) == kEndOfDirectory &&
            end + kEndOfDirectorySize + bytes.read(end + 20, 2) == bytes.size()) {
            found = true;
            break;
        }
        if (end == lowest) {
            break;
        }
        --end;
    }
    if (!found) {
        return "not a zip archive";
    }
    uint64_t entries = bytes.read(end + 10, 2);
    uint64_t directorySize = bytes.read(end + 12, 4);
    uint64_t directoryOffset = bytes.read(end + 16, 4);
    if (entries == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
        if (end < 20 || bytes.read(end - 20, 4) != kZip64Locator) {
            return "a damaged zip64 directory";
        }
        const uint64_t record = bytes.read(end - 20 + 8, 8);
        if (!bytes.has(record, 56) || bytes.read(record, 4) != kZip64EndOfDirectory) {
            return "a damaged zip64 directory";
        }
        entries = bytes.read(record + 32, 8);
        directorySize = bytes.read(record + 40, 8);
        directoryOffset = bytes.read(record + 48, 8);
    }
    if (entries > kMostEntries || !bytes.has(directoryOffset, directorySize)) {
        return "a damaged directory";
    }
    uint64_t offset = directoryOffset;
    const uint64_t directoryEnd = directoryOffset + directorySize;
    for (uint64_t i = 0; i < entries; ++i) {
        if (offset > directoryEnd || directoryEnd - offset < kEntryHeaderSize ||
            bytes.read(offset, 4) != kDirectoryEntry) {
            return "a damaged directory";
        }
        const uint64_t madeBy = bytes.read(offset + 4, 2);
        const uint64_t nameLength = bytes.read(offset + 28, 2);
        const uint64_t extraLength = bytes.read(offset + 30, 2);
        const uint64_t commentLength = bytes.read(offset + 32, 2);
        const uint64_t attributes = bytes.read(offset + 38, 4);
        const uint64_t length = kEntryHeaderSize + nameLength + extraLength + commentLength;
        if (directoryEnd - offset < length) {
            return "a damaged directory";
        }
        const std::string name = bytes.text(offset + kEntryHeaderSize, nameLength);
        const std::string problem = checkName(name);
        if (!problem.empty()) {
            return problem;
        }
        const bool unixHost = (madeBy >> 8) == 3;
        if (unixHost && ((attributes >> 16) & 0170000) == 0120000) {
            return "a symbolic link: " + name;
        }
        offset += length;
    }
    return std::string();
}

}  // namespace standin
