#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace network {

using URLQuery = std::vector<std::pair<std::string, std::string>>;

// A parsed address: scheme, host, port (0 when none was given), path (escapes as written),
// query pairs (decoded, in order, duplicates kept) and fragment.
struct URL {
    std::string scheme;
    std::string host;
    uint32_t port = 0;
    std::string path;
    URLQuery query;
    std::string fragment;

    // Lower-cases the scheme and the host.
    void Normalize();
    // 80 for "http" and "ws", 443 for "https" and "wss", when no port is set.
    void SetDefaultPort();
    bool IsDefaultPort() const;

    std::string ToURLString() const;
    // "host[:port]", the target of a CONNECT request.
    std::string ToHTTPConnectString() const;
    // Path, encoded query and fragment: the request target.
    std::string ToHTTPGetString() const;

    // Applies a relative reference (a redirect's Location that is not an absolute URL):
    // replaces the path and the fragment and appends the reference's query pairs.
    void SetRelativeURL(const std::string& reference);

    bool operator==(const URL& other) const {
        return scheme == other.scheme && host == other.host && port == other.port &&
               path == other.path && query == other.query && fragment == other.fragment;
    }
    bool operator!=(const URL& other) const { return !(*this == other); }
};

// Parses `text` into `url`; true only when the whole text matches. On failure the fields
// matched before the failing point hold what was parsed, the others keep their contents: the
// URL must not be used then. A port of 0 or above 65535 fails the parse.
bool ParseURL(const std::string& text, URL& url);

// Percent-encoding of a query name or value: letters, digits and "-._~" stay, every other
// byte becomes "%XX" (upper-case hexadecimal).
std::string EncodeURL(const std::string& text);
// Decoding of a query name or value: "+" is a space, "%XX" a byte. False on a bad escape.
bool DecodeURL(const std::string& text, std::string& out);

void EncodeQueryStringPair(std::ostream& out, const std::string& name, const std::string& value);
void EncodeHTTPGetString(std::ostream& out, const std::string& path, const URLQuery& query,
                         const std::string& fragment);

}  // namespace network
