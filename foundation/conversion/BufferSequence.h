#pragma once

#include <vector>

#include "foundation/core/NonInitializingBuffer.h"

namespace conversion {

// The pieces joined in order. A single piece is moved out without copying; several are
// copied into one allocation of their total size.
core::NonInitializingBuffer<unsigned char> BufferSequenceToContiguousBuffer(
    std::vector<core::NonInitializingBuffer<unsigned char>>&& pieces);

}  // namespace conversion
