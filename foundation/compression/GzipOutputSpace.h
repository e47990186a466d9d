#pragma once

#include <cstddef>
#include <limits>

#include "foundation/core/NonInitializingBuffer.h"

namespace compression {
namespace detail {

// zlib works in steps that each offer it at least this many free output bytes.
constexpr std::size_t kChunkSize = 16384;

// Free space after the data of `out` for one zlib step: at least kChunkSize bytes, and all the
// spare capacity the buffer has. The buffer grows geometrically (by its own rule), so producing
// n bytes costs amortised O(n) copying. The space lies beyond out.size(); the caller extends the
// data by what zlib wrote with `commit`.
struct OutputSpace {
    unsigned char* data = nullptr;
    std::size_t size = 0;
};

inline OutputSpace reserveOutput(core::NonInitializingBuffer<unsigned char>& out,
                                 std::size_t limit = std::numeric_limits<std::size_t>::max()) {
    const std::size_t used = out.size();
    if (out.capacity() - used < kChunkSize) {
        out.resize(used + kChunkSize);
        out.resize(used);
    }
    OutputSpace space;
    space.data = out.data() + used;
    space.size = out.capacity() - used;
    if (space.size > limit) {
        space.size = limit;
    }
    if (space.size > std::numeric_limits<unsigned int>::max()) {
        space.size = std::numeric_limits<unsigned int>::max();
    }
    return space;
}

inline void commitOutput(core::NonInitializingBuffer<unsigned char>& out, std::size_t produced) {
    out.resize(out.size() + produced);
}

}  // namespace detail
}  // namespace compression
