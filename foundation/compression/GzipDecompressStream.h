#pragma once

#include <cstddef>
#include <memory>

#include "foundation/core/NonInitializingBuffer.h"

struct z_stream_s;

namespace compression {

// Largest output that GzipDecompress produces unless its caller gives another bound.
constexpr std::size_t kDefaultMaxDecompressedSize = std::size_t{256} * 1024 * 1024;

// Incremental gzip decompressor. Only gzip-wrapped input is accepted (neither raw deflate nor
// the zlib wrapper), and exactly one gzip member: bytes after the end of the stream are an
// error. The total output is bounded by `maxOutput`.
class GzipDecompressStream {
public:
    explicit GzipDecompressStream(std::size_t maxOutput = kDefaultMaxDecompressedSize);
    ~GzipDecompressStream();
    GzipDecompressStream(const GzipDecompressStream&) = delete;
    GzipDecompressStream& operator=(const GzipDecompressStream&) = delete;

    // Inflates the input and appends the output to `out`. True when all input was taken without
    // a zlib error and within the output bound. False on corrupt data, on input after the end of
    // the stream, and when the output would exceed the bound; what was inflated before stays in
    // `out` (never more than the bound).
    bool Process(const unsigned char* data, unsigned long length,
                 core::NonInitializingBuffer<unsigned char>& out);

    // True once the whole gzip stream (trailer and its checks included) has been read.
    bool Finished() const { return _finished; }
    // True when the output bound stopped the stream.
    bool LimitExceeded() const { return _limitExceeded; }

private:
    const std::size_t _chunkSize;
    std::unique_ptr<z_stream_s> _stream;
    std::size_t _maxOutput;
    std::size_t _produced = 0;
    bool _initialised = false;
    bool _ok = false;
    bool _finished = false;
    bool _limitExceeded = false;
};

}  // namespace compression
