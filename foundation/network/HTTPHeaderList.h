#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace network {

// Ordered (name, value) pairs: the order of addition or arrival, duplicates kept, names in the
// case they were given. Look-ups compare whole names without regard to ASCII case.
class HTTPHeaderList {
public:
    using Header = std::pair<std::string, std::string>;
    using const_iterator = std::vector<Header>::const_iterator;

    void Add(std::string name, std::string value);
    // Removes every header of that name; answers how many were removed.
    std::size_t Remove(const std::string& name);

    // The value of the first header of that name; empty when there is none.
    std::string GetHeader(const std::string& name) const;
    // The values of every header of that name, in order.
    std::vector<std::string> GetHeaders(const std::string& name) const;
    // The first header of that name, or null.
    const Header* Find(const std::string& name) const;
    bool Has(const std::string& name) const { return Find(name) != nullptr; }

    const_iterator begin() const { return _headers.begin(); }
    const_iterator end() const { return _headers.end(); }
    std::size_t size() const { return _headers.size(); }
    bool empty() const { return _headers.empty(); }
    void clear() { _headers.clear(); }

private:
    std::vector<Header> _headers;
};

// Whole-text comparison without regard to ASCII case.
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace network
