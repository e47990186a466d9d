#include "foundation/platform/TextSources.h"

#include <algorithm>
#include <fstream>

namespace platform {

namespace {

const char kSpace[] = " \t\r\n\v\f";

bool IsSpaceOrZero(char c) {
    for (const char* s = kSpace; *s != '\0'; ++s) {
        if (c == *s) {
            return true;
        }
    }
    return c == '\0';
}

// Unquotes the value part of one KEY=VALUE line.
std::string Unquote(const std::string& raw) {
    std::string value;
    char quote = '\0';
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (quote == '\0') {
            if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '\\' && i + 1 < raw.size()) {
                value += raw[++i];
            } else {
                value += c;
            }
        } else if (c == quote) {
            quote = '\0';
        } else if (quote == '"' && c == '\\' && i + 1 < raw.size()) {
            value += raw[++i];
        } else {
            value += c;
        }
    }
    return quote == '\0' ? TrimText(value) : value;
}

}  // namespace

std::optional<std::string> ReadTextFile(const boost::filesystem::path& file, std::size_t maxBytes) {
    std::ifstream in(file.string(), std::ios::binary);
    if (!in.is_open()) {
        return std::nullopt;
    }
    std::string content;
    char chunk[4096];
    while (content.size() < maxBytes) {
        in.read(chunk, static_cast<std::streamsize>(
                           std::min<std::size_t>(sizeof(chunk), maxBytes - content.size())));
        const std::streamsize got = in.gcount();
        if (got <= 0) {
            break;
        }
        content.append(chunk, static_cast<std::size_t>(got));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return content;
}

std::string TrimText(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsSpaceOrZero(text[begin])) {
        ++begin;
    }
    while (end > begin && IsSpaceOrZero(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::optional<std::string> ReadAssignment(const std::string& text, const std::string& key) {
    std::optional<std::string> found;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = TrimText(text.substr(start, end - start));
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) {
            continue;
        }
        if (TrimText(line.substr(0, equals)) == key) {
            found = Unquote(line.substr(equals + 1));
        }
    }
    return found;
}

std::optional<std::string> ReadColonField(const std::string& text, const std::string& key) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && TrimText(line.substr(0, colon)) == key) {
            return TrimText(line.substr(colon + 1));
        }
    }
    return std::nullopt;
}

}  // namespace platform
