#include "foundation/network/URL.h"

#include <locale>
#include <sstream>

#include "foundation/network/URLParser.h"

namespace network {
namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void LowerCase(std::string& text) {
    if (text.empty()) {
        return;
    }
    const auto& facet = std::use_facet<std::ctype<char>>(std::locale());
    facet.tolower(&text[0], &text[0] + text.size());
}

}  // namespace

bool ParseURL(const std::string& text, URL& url) {
    static const URLParser parser;
    return parser.Parse(text, url);
}

void URL::Normalize() {
    LowerCase(scheme);
    LowerCase(host);
}

void URL::SetDefaultPort() {
    if (port != 0) {
        return;
    }
    if (scheme == "http" || scheme == "ws") {
        port = 80;
    } else if (scheme == "https" || scheme == "wss") {
        port = 443;
    }
}

bool URL::IsDefaultPort() const {
    if (scheme == "http" || scheme == "ws") {
        return port == 80;
    }
    if (scheme == "https" || scheme == "wss") {
        return port == 443;
    }
    return false;
}

std::string URL::ToURLString() const {
    std::ostringstream out;
    if (!scheme.empty()) {
        out << scheme << "://";
    }
    out << host;
    if (port != 0) {
        out << ':' << port;
    }
    EncodeHTTPGetString(out, path, query, fragment);
    return out.str();
}

std::string URL::ToHTTPConnectString() const {
    std::ostringstream out;
    out << host;
    if (port != 0) {
        out << ':' << port;
    }
    return out.str();
}

std::string URL::ToHTTPGetString() const {
    std::ostringstream out;
    EncodeHTTPGetString(out, path, query, fragment);
    return out.str();
}

void URL::SetRelativeURL(const std::string& reference) {
    const std::size_t pathEnd = reference.find_first_of("?#");
    path = reference.substr(0, pathEnd);

    const std::size_t questionMark = reference.find('?');
    if (questionMark != std::string::npos) {
        const std::size_t queryEnd = reference.find('#', questionMark + 1);
        const std::string queryText = reference.substr(
            questionMark + 1,
            queryEnd == std::string::npos ? std::string::npos : queryEnd - questionMark - 1);
        std::size_t start = 0;
        for (;;) {
            const std::size_t ampersand = queryText.find('&', start);
            const std::string piece = queryText.substr(
                start, ampersand == std::string::npos ? std::string::npos : ampersand - start);
            const std::size_t equals = piece.find('=');
            if (equals != std::string::npos) {
                std::string name;
                std::string value;
                if (DecodeURL(piece.substr(0, equals), name) &&
                    DecodeURL(piece.substr(equals + 1), value)) {
                    query.emplace_back(std::move(name), std::move(value));
                }
            }
            if (ampersand == std::string::npos) {
                break;
            }
            start = ampersand + 1;
        }
    }

    const std::size_t hash = reference.find('#');
    fragment = hash == std::string::npos ? std::string() : reference.substr(hash + 1);
}

std::string EncodeURL(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 0x0F]);
        }
    }
    return out;
}

bool DecodeURL(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%') {
            if (i + 2 >= text.size()) {
                return false;
            }
            // Read like a formatted stream extraction of a hexadecimal integer: leading white
            // space skipped, a sign accepted, reading stops at the first non-digit.
            std::istringstream digits(text.substr(i + 1, 2));
            int value = 0;
            if (!(digits >> std::hex >> value)) {
                return false;
            }
            out.push_back(static_cast<char>(value & 0xFF));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return true;
}

void EncodeQueryStringPair(std::ostream& out, const std::string& name, const std::string& value) {
    out << EncodeURL(name);
    if (!value.empty()) {
        out << '=' << EncodeURL(value);
    }
}

void EncodeHTTPGetString(std::ostream& out, const std::string& path, const URLQuery& query,
                         const std::string& fragment) {
    out << path;
    bool first = true;
    for (const auto& pair : query) {
        out << (first ? '?' : '&');
        first = false;
        EncodeQueryStringPair(out, pair.first, pair.second);
    }
    if (!fragment.empty()) {
        out << '#' << fragment;
    }
}

}  // namespace network
