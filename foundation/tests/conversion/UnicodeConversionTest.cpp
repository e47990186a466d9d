#include <gtest/gtest.h>

#include <string>

#include "foundation/conversion/UnicodeConversion.h"

namespace {

std::wstring Wide(std::initializer_list<uint32_t> values) {
    std::wstring text;
    for (uint32_t value : values) {
        text.push_back(static_cast<wchar_t>(value));
    }
    return text;
}

}  // namespace

// Each broken sequence loses only its own bytes; what follows is decoded normally.
TEST(UnicodeConversionTest, Utf8ToUtf32DropsOnlyTheBrokenSequence) {
    struct Case {
        std::string utf8;
        std::wstring expected;
    };
    const Case cases[] = {
        {"", L""},
        {"plain", L"plain"},
        {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", Wide({0xE4, 0x20AC, 0x1F600})},
        {std::string("a\0b", 3), Wide({'a', 0, 'b'})},
        {"A\xC3(B", L"A(B"},      // lead byte without its continuation
        {"A\xE2\x82(B", L"A(B"},  // three-byte sequence cut short
        {"A\xF0\x9F\x98", L"A"},  // truncated at the end
        {"\x80\xBF"
         "x",
         L"x"},  // continuation bytes without a lead
        {"\xC0\xAF"
         "x\xC1\xBF",
         L"x"},  // overlong two-byte forms
        {"\xE0\x80\xAF"
         "x",
         L"x"},  // overlong three-byte form
        {"\xED\xA0\x80"
         "x",
         L"x"},  // encoded surrogate
        {"\xF4\x90\x80\x80"
         "x",
         L"x"},  // above U+10FFFF
        {"\xF5\x80\x80\x80"
         "x\xFF\xFE",
         L"x"},  // bytes that never occur
        {"\xE2\x28\xA1", L"("},
        {"\xF0\x9F\x98\xC3\xA4", Wide({0xE4})},  // a new lead byte ends the broken sequence
        {"\xF4\x8F\xBF\xBF", Wide({0x10FFFF})},
        {"\xEE\x80\x80", Wide({0xE000})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(conversion::Utf8ToUtf32(c.utf8), c.expected) << c.utf8;
    }
    EXPECT_EQ(conversion::Utf8ToUtf32(nullptr, 5), L"");
}

TEST(UnicodeConversionTest, Utf32ToUtf8DropsValuesThatAreNoScalarValues) {
    EXPECT_EQ(
        conversion::Utf32ToUtf8(Wide({'a', 0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF})),
        "a\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(conversion::Utf32ToUtf8(Wide({'a', 0xD800, 'b', 0xDFFF, 0x110000, 0xFFFFFFFF, 'c'})),
              "abc");
    EXPECT_EQ(conversion::Utf32ToUtf8(nullptr, 3), "");
}

TEST(UnicodeConversionTest, EveryScalarValueRoundTrips) {
    std::wstring all;
    for (uint32_t value = 0; value <= 0x10FFFF; ++value) {
        if (value < 0xD800 || value > 0xDFFF) {
            all.push_back(static_cast<wchar_t>(value));
        }
    }
    EXPECT_EQ(conversion::Utf8ToUtf32(conversion::Utf32ToUtf8(all)), all);
}
