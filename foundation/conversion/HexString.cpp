#include "foundation/conversion/HexString.h"

namespace conversion {

std::string StringToHex(const std::string& text, bool upperCase) {
    return StringToHex(reinterpret_cast<const unsigned char*>(text.data()), text.size(), upperCase);
}

std::string StringToHex(const unsigned char* data, unsigned long length, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    if (data == nullptr) {
        return out;
    }
    out.reserve(length * 2);
    for (unsigned long i = 0; i < length; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0x0F]);
    }
    return out;
}

std::string StringToHex(const core::NonInitializingBuffer<unsigned char>& buffer, bool upperCase) {
    return StringToHex(buffer.data(), buffer.size(), upperCase);
}

}  // namespace conversion
