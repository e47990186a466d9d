#include "foundation/network/HTTPRedirect.h"

#include <cstdio>
#include <vector>

namespace network {

namespace {

bool isAllowedInPath(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '~':
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=':
        case ':':
        case '@':
        case '/':
        case '%':
            return true;
        default:
            return false;
    }
}

std::string encodePath(const std::string& path) {
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (isAllowedInPath(c)) {
            out += ch;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof(escape), "%%%02X", c);
            out += escape;
        }
    }
    return out;
}

bool parseQuery(const std::string& text, URLQuery& query) {
    query.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string piece = text.substr(start, end - start);
        if (!piece.empty()) {
            const std::size_t equals = piece.find('=');
            std::string name;
            std::string value;
            if (!DecodeURL(piece.substr(0, equals), name)) {
                return false;
            }
            if (equals != std::string::npos && !DecodeURL(piece.substr(equals + 1), value)) {
                return false;
            }
            if (!name.empty()) {
                query.emplace_back(std::move(name), std::move(value));
            }
        }
        start = end + 1;
    }
    return true;
}

bool hasSchemePrefix(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> segments;
    const bool absolute = !path.empty() && path[0] == '/';
    std::size_t start = absolute ? 1 : 0;
    bool trailingSlash = false;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string segment = path.substr(start, end - start);
        const bool last = end == path.size();
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
            trailingSlash = last;
        } else {
            segments.push_back(segment);
            trailingSlash = false;
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) {
            out += '/';
        }
        out += segments[i];
    }
    if (trailingSlash && !out.empty() && out.back() != '/') {
        out += '/';
    }
    return out;
}

bool ResolveRedirectLocation(const URL& base, const std::string& location, URL& target) {
    std::string reference = location;
    const std::size_t begin = reference.find_first_not_of(" \t");
    const std::size_t last = reference.find_last_not_of(" \t");
    if (begin == std::string::npos) {
        return false;
    }
    reference = reference.substr(begin, last - begin + 1);
    if (reference.find_first_of("\r\n") != std::string::npos) {
        return false;
    }
    const std::size_t hash = reference.find('#');
    if (hash != std::string::npos) {
        reference.erase(hash);
    }

    if (hasSchemePrefix(reference) || reference.compare(0, 2, "//") == 0) {
        std::string text = reference;
        if (text.compare(0, 2, "//") == 0) {
            text = base.scheme + ":" + text;
        }
        // Only the scheme and host are case-insensitive; the parser wants them lower-case.
        const std::size_t colon = text.find(':');
        for (std::size_t i = 0; i < colon; ++i) {
            if (text[i] >= 'A' && text[i] <= 'Z') {
                text[i] = static_cast<char>(text[i] - 'A' + 'a');
            }
        }
        URL parsed;
        if (!ParseURL(text, parsed)) {
            return false;
        }
        parsed.Normalize();
        parsed.SetDefaultPort();
        parsed.path = RemoveDotSegments(parsed.path);
        parsed.fragment.clear();
        target = parsed;
        return target.scheme == "http" || target.scheme == "https";
    }

    URL result = base;
    result.fragment.clear();
    const std::size_t question = reference.find('?');
    const std::string path = reference.substr(0, question);
    if (question != std::string::npos) {
        if (!parseQuery(reference.substr(question + 1), result.query)) {
            return false;
        }
    }
    if (!path.empty()) {
        if (question == std::string::npos) {
            result.query.clear();
        }
        if (path[0] == '/') {
            result.path = RemoveDotSegments(encodePath(path));
        } else {
            const std::size_t slash = base.path.rfind('/');
            const std::string directory =
                slash == std::string::npos ? std::string("/") : base.path.substr(0, slash + 1);
            result.path = RemoveDotSegments(encodePath(directory + path));
        }
    }
    target = result;
    return true;
}

}  // namespace network
