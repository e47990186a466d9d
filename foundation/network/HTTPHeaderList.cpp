#include "foundation/network/HTTPHeaderList.h"

namespace network {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

void HTTPHeaderList::Add(std::string name, std::string value) {
    _headers.emplace_back(std::move(name), std::move(value));
}

std::size_t HTTPHeaderList::Remove(const std::string& name) {
    const std::size_t before = _headers.size();
    std::vector<Header> kept;
    for (Header& header : _headers) {
        if (!EqualsNoCase(header.first, name)) {
            kept.push_back(std::move(header));
        }
    }
    _headers = std::move(kept);
    return before - _headers.size();
}

const HTTPHeaderList::Header* HTTPHeaderList::Find(const std::string& name) const {
    for (const Header& header : _headers) {
        if (EqualsNoCase(header.first, name)) {
            return &header;
        }
    }
    return nullptr;
}

std::string HTTPHeaderList::GetHeader(const std::string& name) const {
    const Header* header = Find(name);
    return header != nullptr ? header->second : std::string();
}

std::vector<std::string> HTTPHeaderList::GetHeaders(const std::string& name) const {
    std::vector<std::string> values;
    for (const Header& header : _headers) {
        if (EqualsNoCase(header.first, name)) {
            values.push_back(header.second);
        }
    }
    return values;
}

}  // namespace network
