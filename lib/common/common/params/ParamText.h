#pragma once

#include <cctype>
#include <cstring>
#include <string>

namespace common {
namespace paramtext {

// Each byte lower-cased with the C library's tolower; bytes of UTF-8 sequences stay as they are
// in the C locale.
inline std::string lowerCase(const std::string& text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

// Whether a command-line argument names a parameter: longer than one character and beginning
// with "-". The parser and the masking of logged command lines both go by this rule.
inline bool isCommandLineKey(const std::string& argument) {
    return argument.size() > 1 && argument[0] == '-';
}

// Whether the text is non-empty and made only of the digits 0 to 9 and the characters in
// `others`.
inline bool isDigitsAnd(const std::string& text, const char* others) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if ((c < '0' || c > '9') && (c == '\0' || std::strchr(others, c) == nullptr)) {
            return false;
        }
    }
    return true;
}

}  // namespace paramtext
}  // namespace common
