// The queue frame decoder on arbitrary bytes: it must never read outside the input, and every
// frame it accepts must encode back to the same bytes (the flag byte written as 0 or 1) and
// decode again to the same fields.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "interprocess/datalink/IpcFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    interprocess::IpcFrame frame;
    std::string error;
    if (!interprocess::IpcFrame::decode(reinterpret_cast<const char*>(data), size, frame, error)) {
        if (error.empty()) {
            std::abort();
        }
        return 0;
    }
    const auto encoded = frame.encode();
    if (encoded.size() != size) {
        std::abort();
    }
    const std::size_t flagOffset = 24 + frame.source.size() + frame.destination.size();
    for (std::size_t i = 0; i < size; ++i) {
        const auto expected = i == flagOffset ? (data[i] != 0 ? 1 : 0) : data[i];
        if (static_cast<std::uint8_t>(encoded[i]) != expected) {
            std::abort();
        }
    }
    interprocess::IpcFrame again;
    if (!interprocess::IpcFrame::decode(encoded.data(), encoded.size(), again, error) ||
        again.source != frame.source || again.destination != frame.destination ||
        again.channel != frame.channel || again.synchronous != frame.synchronous ||
        again.payload != frame.payload) {
        std::abort();
    }
    return 0;
}
