#pragma once

#include <cstdint>
#include <string>

namespace network {

// A host name (or address text) and a port.
struct Endpoint {
    std::string host;
    uint16_t port = 0;

    bool operator==(const Endpoint& other) const {
        return host == other.host && port == other.port;
    }
    bool operator!=(const Endpoint& other) const { return !(*this == other); }
};

}  // namespace network
