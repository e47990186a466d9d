#include "foundation/conversion/BufferSequence.h"

#include <cstring>

namespace conversion {

core::NonInitializingBuffer<unsigned char> BufferSequenceToContiguousBuffer(
    std::vector<core::NonInitializingBuffer<unsigned char>>&& pieces) {
    core::NonInitializingBuffer<unsigned char> out;
    if (pieces.empty()) {
        return out;
    }
    if (pieces.size() == 1) {
        out = std::move(pieces.front());
        return out;
    }
    std::size_t total = 0;
    for (const auto& piece : pieces) {
        total += piece.size();
    }
    out.resize(total);
    std::size_t offset = 0;
    for (const auto& piece : pieces) {
        if (!piece.empty()) {
            std::memcpy(out.data() + offset, piece.data(), piece.size());
            offset += piece.size();
        }
    }
    return out;
}

}  // namespace conversion
