// Gzip over any input: decompressing damaged data answers false, never crashes, and stays
// within the output bound; compressing the input in parts decompresses to the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/compression/Gzip.h"
#include "foundation/compression/GzipCompressStream.h"
#include "foundation/compression/GzipDecompressStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Buffer = core::NonInitializingBuffer<unsigned char>;
    const std::size_t kBound = 1 << 20;

    Buffer out;
    compression::GzipDecompress(data, size, out, kBound);
    if (out.size() > kBound) {
        std::abort();
    }
    // The same input in two pieces through the stream.
    {
        compression::GzipDecompressStream stream(kBound);
        Buffer pieces;
        const std::size_t half = size / 2;
        if (stream.Process(data, half, pieces)) {
            stream.Process(data + half, size - half, pieces);
        }
        if (pieces.size() > kBound) {
            std::abort();
        }
    }

    // Compressed in up to three parts, it decompresses to the input.
    compression::GzipCompressStream compressor;
    Buffer compressed;
    const std::size_t first = size / 3;
    const std::size_t second = size / 2;
    if (!compressor.Process(data, first, compressed) ||
        !compressor.Process(data + first, second - first, compressed) ||
        !compressor.Process(data + second, size - second, compressed) ||
        !compressor.Finish(compressed)) {
        std::abort();
    }
    Buffer round;
    if (!compression::GzipDecompress(compressed.data(), compressed.size(), round) ||
        round.size() != size || (size > 0 && std::memcmp(round.data(), data, size) != 0)) {
        std::abort();
    }
    return 0;
}
