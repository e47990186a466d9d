#include "foundation/conversion/Base64.h"

namespace conversion {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string Base64Encode(const std::string& text) {
    return Base64Encode(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string Base64Encode(const unsigned char* data, unsigned long length) {
    std::string out;
    if (data == nullptr || length == 0) {
        return out;
    }
    out.reserve((length + 2) / 3 * 4);
    unsigned long i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned long group = (static_cast<unsigned long>(data[i]) << 16) |
                                    (static_cast<unsigned long>(data[i + 1]) << 8) | data[i + 2];
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back(kAlphabet[group & 0x3F]);
    }
    const unsigned long rest = length - i;
    if (rest == 1) {
        const unsigned long group = static_cast<unsigned long>(data[i]) << 16;
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.append("==");
    } else if (rest == 2) {
        const unsigned long group = (static_cast<unsigned long>(data[i]) << 16) |
                                    (static_cast<unsigned long>(data[i + 1]) << 8);
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back('=');
    }
    return out;
}

std::string Base64Encode(const core::NonInitializingBuffer<unsigned char>& buffer) {
    return Base64Encode(buffer.data(), buffer.size());
}

}  // namespace conversion
