#pragma once

#include <map>
#include <string>

namespace network {

// The parameters of a Digest challenge: comma-separated key=value pairs whose values may be
// quoted strings (with backslash escapes) that contain commas.
class DigestKeyValueDictionary {
public:
    using Map = std::map<std::string, std::string>;

    // Keys are trimmed; the first occurrence of a key wins. A key without "=" gets an empty
    // value. Never fails: malformed text yields what could be read.
    static Map ParseString(const std::string& text);
};

}  // namespace network
