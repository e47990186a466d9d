#pragma once

#include <cstddef>
#include <string>

namespace conversion {

// Conversions between UTF-8 and wide text (32-bit Unicode code points).
// Invalid input is dropped sequence by sequence and everything valid around it is kept:
// a malformed or truncated UTF-8 sequence loses only its maximal ill-formed part (so
// "A\xC3(B" gives "A(B"), and a wide value that is no Unicode scalar value (a surrogate or
// a value above U+10FFFF) is left out.

std::wstring Utf8ToUtf32(const char* text, std::size_t length);
std::wstring Utf8ToUtf32(const std::string& text);

std::string Utf32ToUtf8(const wchar_t* text, std::size_t length);
std::string Utf32ToUtf8(const std::wstring& text);

}  // namespace conversion
