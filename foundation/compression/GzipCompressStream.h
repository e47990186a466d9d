#pragma once

#include <cstddef>
#include <memory>

#include "foundation/core/NonInitializingBuffer.h"

struct z_stream_s;

namespace compression {

// Incremental gzip compressor (deflate level 9, gzip wrapper, 32 KiB window, memory level 9).
// Feed it with Process in as many parts as needed and end the stream once with Finish.
class GzipCompressStream {
public:
    GzipCompressStream();
    ~GzipCompressStream();
    GzipCompressStream(const GzipCompressStream&) = delete;
    GzipCompressStream& operator=(const GzipCompressStream&) = delete;

    // Compresses the input and appends what zlib hands out to `out` (possibly nothing: zlib
    // keeps bytes back until later calls or Finish). False on a zlib error, or when the stream
    // is already finished or broken; bytes appended before the error stay in `out`.
    bool Process(const unsigned char* data, unsigned long length,
                 core::NonInitializingBuffer<unsigned char>& out);
    bool Process(const core::NonInitializingBuffer<unsigned char>& in,
                 core::NonInitializingBuffer<unsigned char>& out);

    // Appends the end of the stream (final block and gzip trailer) to `out`. True only when the
    // stream was completed; a zlib error, or a stream broken earlier, gives false. A second
    // Finish after success appends nothing and answers true.
    bool Finish(core::NonInitializingBuffer<unsigned char>& out);

private:
    const std::size_t _chunkSize;
    std::unique_ptr<z_stream_s> _stream;
    bool _initialised = false;
    bool _ok = false;
    bool _finished = false;
};

}  // namespace compression
