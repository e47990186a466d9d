#include "common/util/Util.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "common/logger/ILogger.h"
#include "foundation/conversion/Base64.h"
#include "foundation/conversion/HexString.h"
#include "foundation/conversion/UnicodeConversion.h"

namespace common {
namespace util {

namespace {

// Fills the buffer from /dev/urandom (opened for this call), or from getrandom when the
// device cannot be opened. Throws std::system_error when neither gives bytes.
void readRandomBytes(unsigned char* out, std::size_t count) {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    std::size_t filled = 0;
    while (filled < count) {
        ssize_t got = fd >= 0 ? ::read(fd, out + filled, count - filled)
                              : ::getrandom(out + filled, count - filled, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            const int error = got < 0 ? errno : EIO;
            if (fd >= 0) {
                ::close(fd);
            }
            throw std::system_error(error, std::generic_category(), "random device");
        }
        filled += static_cast<std::size_t>(got);
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

}  // namespace

std::string generateNanoId(unsigned long length, const char* alphabet) {
    const std::size_t size = alphabet == nullptr ? 0 : std::strlen(alphabet);
    if (size == 0) {
        ILogger::create("Util")->error("generateNanoId: the alphabet is empty");
        return std::string();
    }
    std::string id;
    id.reserve(length);
    if (length == 0) {
        return id;
    }
    // A draw is used only below the largest multiple of the alphabet size that fits in its
    // range, so every index is equally likely; other draws are made again. One byte per draw
    // serves alphabets of up to 256 characters; longer ones draw four bytes at a time.
    if (size <= 256) {
        const unsigned limit = 256 - (256 % static_cast<unsigned>(size));
        unsigned char buffer[256];
        while (id.size() < length) {
            const std::size_t want =
                std::min<std::size_t>(sizeof(buffer), (length - id.size()) * 2);
            readRandomBytes(buffer, want);
            for (std::size_t i = 0; i < want && id.size() < length; ++i) {
                if (buffer[i] < limit) {
                    id.push_back(alphabet[buffer[i] % size]);
                }
            }
        }
        return id;
    }
    const uint64_t range = uint64_t(1) << 32;
    const uint64_t limit = range - (range % size);
    uint32_t draws[64];
    while (id.size() < length) {
        const std::size_t want = std::min<std::size_t>(64, (length - id.size()) * 2);
        readRandomBytes(reinterpret_cast<unsigned char*>(draws), want * sizeof(draws[0]));
        for (std::size_t i = 0; i < want && id.size() < length; ++i) {
            if (draws[i] < limit) {
                id.push_back(alphabet[draws[i] % size]);
            }
        }
    }
    return id;
}

std::string toString(const std::wstring& text) {
    return conversion::Utf32ToUtf8(text);
}

std::wstring toWideString(const std::string& text) {
    return conversion::Utf8ToUtf32(text);
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    if (argc <= 0 || argv == nullptr) {
        return arguments;
    }
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    return arguments;
}

std::string base64Encode(const unsigned char* data, unsigned long length) {
    return conversion::Base64Encode(data, length);
}

bool base64Decode(const std::string& text, std::vector<unsigned char>& bytes) {
    bytes.clear();
    if (text.empty()) {
        return true;
    }
    if (text.size() % 4 == 1) {
        return false;
    }
    std::size_t padding = 0;
    if (text.back() == '=') {
        padding = (text.size() >= 2 && text[text.size() - 2] == '=') ? 2 : 1;
    }
    if (padding == text.size()) {
        return true;
    }
    // Every character, the padding included (as six zero bits), is packed from the most
    // significant end; a final group of fewer than eight bits is dropped, then the result
    // is shortened by the padding count.
    std::vector<unsigned char> result;
    result.reserve(text.size() * 3 / 4);
    uint32_t bits = 0;
    int bitCount = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        int value = 0;
        if (i >= text.size() - padding) {
            value = 0;
        } else {
            value = base64Value(text[i]);
            if (value < 0) {
                return false;
            }
        }
        bits = (bits << 6) | static_cast<uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            result.push_back(static_cast<unsigned char>((bits >> bitCount) & 0xFF));
        }
    }
    result.resize(result.size() >= padding ? result.size() - padding : 0);
    bytes.swap(result);
    return true;
}

std::vector<unsigned char> base64Decode(const std::string& text) {
    std::vector<unsigned char> bytes;
    if (!base64Decode(text, bytes)) {
        ILogger::create("Util")->error("base64Decode: the text of %zu characters is no Base64",
                                       text.size());
    }
    return bytes;
}

std::string toBase64(const std::wstring& text) {
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() * 4);
    for (wchar_t c : text) {
        const auto value = static_cast<uint32_t>(c);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
        }
    }
    return base64Encode(bytes.data(), bytes.size());
}

bool fromBase64(const std::string& base64, std::wstring& text) {
    text.clear();
    std::vector<unsigned char> bytes;
    if (!base64Decode(base64, bytes)) {
        return false;
    }
    text.reserve(bytes.size() / 4);
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        const uint32_t value = static_cast<uint32_t>(bytes[i]) |
                               (static_cast<uint32_t>(bytes[i + 1]) << 8) |
                               (static_cast<uint32_t>(bytes[i + 2]) << 16) |
                               (static_cast<uint32_t>(bytes[i + 3]) << 24);
        text.push_back(static_cast<wchar_t>(value));
    }
    return true;
}

std::wstring fromBase64(const std::string& base64) {
    std::wstring text;
    if (!fromBase64(base64, text)) {
        ILogger::create("Util")->error("fromBase64: the text of %zu characters is no Base64",
                                       base64.size());
    }
    return text;
}

std::string toHex(unsigned char value) {
    // The low digit of the two-digit rendering of the low four bits.
    const unsigned char low = value & 0x0F;
    return conversion::StringToHex(&low, 1, false).substr(1);
}

std::string toHex(std::vector<unsigned char> bytes) {
    return conversion::StringToHex(bytes.data(), bytes.size(), false);
}

bool saveContentToFile(const boost::filesystem::path& path, const std::string& content) {
    if (path.empty()) {
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(content.c_str());
    bool ok = std::fwrite(content.data(), 1, length, file) == length;
    ok = std::fputc('\n', file) != EOF && ok;
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

namespace {

// rename(2) that never replaces an existing name.
bool renameWithoutReplacing(const boost::filesystem::path& from,
                            const boost::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace flag: check first (a race here can only lose the
    // name to another writer of the same folder).
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

boost::filesystem::path moveAside(const boost::filesystem::path& path, const std::string& suffix,
                                  unsigned keep) {
    if (keep == 0) {
        keep = 1;
    }
    auto nameOf = [&](unsigned index) {
        return boost::filesystem::path(path.string() + suffix +
                                       (index == 0 ? std::string() : "." + std::to_string(index)));
    };
    // Twice: a name freed by removing the oldest may be taken by another process meanwhile.
    for (int round = 0; round < 2; ++round) {
        unsigned oldest = 0;
        struct timespec oldestChange {};
        for (unsigned index = 0; index < keep; ++index) {
            const boost::filesystem::path candidate = nameOf(index);
            if (renameWithoutReplacing(path, candidate)) {
                return candidate;
            }
            if (errno != EEXIST && errno != ENOTEMPTY) {
                return boost::filesystem::path();
            }
            struct stat info {};
            if (::lstat(candidate.c_str(), &info) == 0 &&
                (index == 0 || info.st_ctim.tv_sec < oldestChange.tv_sec ||
                 (info.st_ctim.tv_sec == oldestChange.tv_sec &&
                  info.st_ctim.tv_nsec < oldestChange.tv_nsec))) {
                oldest = index;
                oldestChange = info.st_ctim;
            }
        }
        const boost::filesystem::path freed = nameOf(oldest);
        if (::unlink(freed.c_str()) != 0 && errno != ENOENT) {
            return boost::filesystem::path();
        }
    }
    errno = EEXIST;
    return boost::filesystem::path();
}

}  // namespace util
}  // namespace common
