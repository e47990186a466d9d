#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace interprocess {

// One message of an IPC queue. Every integer is an unsigned 64-bit little-endian value;
// strings are raw bytes without terminator:
//
//   S (8) | source (S) | D (8) | destination (D) | channel (8) | synchronous (1) | P (8) |
//   payload (P)
//
// A frame is 33 + S + D + P bytes.
class IpcFrame {
public:
    static constexpr std::size_t kFixedSize = 33;

    std::string source;
    std::string destination;
    std::uint64_t channel = 0;
    bool synchronous = false;
    std::vector<signed char> payload;

    // The frame's bytes.
    std::vector<char> encode() const;

    // Reads a frame of exactly `size` bytes. Every length is checked against the bytes that
    // remain, without overflow; on false `error` says what is wrong and `frame` is unspecified.
    static bool decode(const char* data, std::size_t size, IpcFrame& frame, std::string& error);
};

}  // namespace interprocess
