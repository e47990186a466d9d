#include "foundation/conversion/UnicodeConversion.h"

#include <cstdint>

namespace conversion {

namespace {

static_assert(sizeof(wchar_t) == 4, "wide characters must hold 32-bit code points");

bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
    return byte >= low && byte <= high;
}

}  // namespace

std::wstring Utf8ToUtf32(const char* text, std::size_t length) {
    std::wstring result;
    if (text == nullptr) {
        return result;
    }
    result.reserve(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < length) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            result.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        // The number of continuation bytes and the allowed range of the first of them
        // (narrower after E0, ED, F0 and F4, which excludes overlong forms, surrogates and
        // values above U+10FFFF).
        std::size_t needed = 0;
        unsigned char firstLow = 0x80;
        unsigned char firstHigh = 0xBF;
        uint32_t codePoint = 0;
        if (InRange(lead, 0xC2, 0xDF)) {
            needed = 1;
            codePoint = lead & 0x1F;
        } else if (InRange(lead, 0xE0, 0xEF)) {
            needed = 2;
            codePoint = lead & 0x0F;
            if (lead == 0xE0) {
                firstLow = 0xA0;
            } else if (lead == 0xED) {
                firstHigh = 0x9F;
            }
        } else if (InRange(lead, 0xF0, 0xF4)) {
            needed = 3;
            codePoint = lead & 0x07;
            if (lead == 0xF0) {
                firstLow = 0x90;
            } else if (lead == 0xF4) {
                firstHigh = 0x8F;
            }
        } else {
            ++i;  // a continuation byte without a lead, or a byte that never occurs in UTF-8
            continue;
        }
        std::size_t taken = 1;
        bool complete = true;
        for (std::size_t k = 0; k < needed; ++k) {
            if (i + taken >= length) {
                complete = false;
                break;
            }
            const unsigned char next = bytes[i + taken];
            const unsigned char low = k == 0 ? firstLow : static_cast<unsigned char>(0x80);
            const unsigned char high = k == 0 ? firstHigh : static_cast<unsigned char>(0xBF);
            if (!InRange(next, low, high)) {
                complete = false;
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
            ++taken;
        }
        // An ill-formed sequence loses the bytes read so far; the byte that broke it starts
        // the next sequence.
        if (complete) {
            result.push_back(static_cast<wchar_t>(codePoint));
        }
        i += taken;
    }
    return result;
}

std::wstring Utf8ToUtf32(const std::string& text) {
    return Utf8ToUtf32(text.data(), text.size());
}

std::string Utf32ToUtf8(const wchar_t* text, std::size_t length) {
    std::string result;
    if (text == nullptr) {
        return result;
    }
    result.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto value = static_cast<uint32_t>(text[i]);
        if (value < 0x80) {
            result.push_back(static_cast<char>(value));
        } else if (value < 0x800) {
            result.push_back(static_cast<char>(0xC0 | (value >> 6)));
            result.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else if (value < 0x10000) {
            if (value >= 0xD800 && value <= 0xDFFF) {
                continue;  // surrogates are no scalar values
            }
            result.push_back(static_cast<char>(0xE0 | (value >> 12)));
            result.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else if (value <= 0x10FFFF) {
            result.push_back(static_cast<char>(0xF0 | (value >> 18)));
            result.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        }
    }
    return result;
}

std::string Utf32ToUtf8(const std::wstring& text) {
    return Utf32ToUtf8(text.data(), text.size());
}

}  // namespace conversion
