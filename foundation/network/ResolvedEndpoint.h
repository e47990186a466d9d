#pragma once

#include <cstdint>

#include <boost/asio/ip/address.hpp>

namespace network {

// One resolved address (IPv6 with its scope id) and the port that was asked for.
struct ResolvedEndpoint {
    boost::asio::ip::address address;
    uint16_t port = 0;
};

}  // namespace network
