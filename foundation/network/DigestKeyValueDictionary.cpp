#include "foundation/network/DigestKeyValueDictionary.h"

namespace network {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

void insert(DigestKeyValueDictionary::Map& map, const std::string& key, std::string value) {
    const std::string name = trim(key);
    if (!name.empty()) {
        map.emplace(name, std::move(value));
    }
}

}  // namespace

DigestKeyValueDictionary::Map DigestKeyValueDictionary::ParseString(const std::string& text) {
    Map map;
    std::size_t pos = 0;
    const std::size_t size = text.size();
    while (pos < size) {
        while (pos < size && isSpace(text[pos])) {
            ++pos;
        }
        if (pos >= size) {
            break;
        }
        const std::size_t mark = text.find_first_of("=,", pos);
        if (mark == std::string::npos) {
            insert(map, text.substr(pos), std::string());
            break;
        }
        if (text[mark] == ',') {
            insert(map, text.substr(pos, mark - pos), std::string());
            pos = mark + 1;
            continue;
        }
        const std::string key = text.substr(pos, mark - pos);
        std::size_t valueStart = mark + 1;
        while (valueStart < size && isSpace(text[valueStart])) {
            ++valueStart;
        }
        if (valueStart < size && text[valueStart] == '"') {
            // Quoted string: a backslash takes the next character literally.
            std::string value;
            std::size_t i = valueStart + 1;
            for (; i < size && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < size) {
                    ++i;
                }
                value += text[i];
            }
            insert(map, key, std::move(value));
            const std::size_t comma = i < size ? text.find(',', i + 1) : std::string::npos;
            if (comma == std::string::npos) {
                break;
            }
            pos = comma + 1;
            continue;
        }
        const std::size_t comma = text.find(',', valueStart);
        if (comma == std::string::npos) {
            insert(map, key, trim(text.substr(valueStart)));
            break;
        }
        insert(map, key, trim(text.substr(valueStart, comma - valueStart)));
        pos = comma + 1;
    }
    return map;
}

}  // namespace network
