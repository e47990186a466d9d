#include "foundation/compression/GzipDecompressStream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "foundation/compression/GzipOutputSpace.h"

namespace compression {

namespace {

constexpr int kGzipOnlyWindowBits = 15 + 16;

}  // namespace

GzipDecompressStream::GzipDecompressStream(std::size_t maxOutput)
    : _chunkSize(detail::kChunkSize),
      _stream(std::make_unique<z_stream_s>()),
      _maxOutput(maxOutput) {
    std::memset(_stream.get(), 0, sizeof(z_stream_s));
    _initialised = inflateInit2(_stream.get(), kGzipOnlyWindowBits) == Z_OK;
    _ok = _initialised;
}

GzipDecompressStream::~GzipDecompressStream() {
    if (_initialised) {
        inflateEnd(_stream.get());
    }
}

bool GzipDecompressStream::Process(const unsigned char* data, unsigned long length,
                                   core::NonInitializingBuffer<unsigned char>& out) {
    if (!_ok) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (_finished) {
        // Only one gzip member is read; anything after it is not part of this stream.
        _ok = false;
        return false;
    }
    z_stream& stream = *_stream;
    unsigned long remaining = length;
    const unsigned char* next = data;
    bool outputFull = false;
    while (remaining > 0 || stream.avail_in > 0 || outputFull) {
        if (stream.avail_in == 0 && remaining > 0) {
            const unsigned long part =
                std::min<unsigned long>(remaining, std::numeric_limits<uInt>::max());
            stream.next_in = const_cast<Bytef*>(next);
            stream.avail_in = static_cast<uInt>(part);
            next += part;
            remaining -= part;
        }
        // One byte more than the bound allows shows whether the stream goes past it.
        const std::size_t allowed = _maxOutput - _produced;
        const auto space = detail::reserveOutput(
            out, allowed == std::numeric_limits<std::size_t>::max() ? allowed : allowed + 1);
        stream.next_out = space.data;
        stream.avail_out = static_cast<uInt>(space.size);
        const uInt inBefore = stream.avail_in;
        const int rc = inflate(&stream, Z_NO_FLUSH);
        std::size_t produced = space.size - stream.avail_out;
        const bool progressed = produced > 0 || stream.avail_in != inBefore;
        if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) {
            _ok = false;
            return false;
        }
        if (produced > allowed) {
            detail::commitOutput(out, allowed);
            _produced += allowed;
            _limitExceeded = true;
            _ok = false;
            return false;
        }
        detail::commitOutput(out, produced);
        _produced += produced;
        if (rc == Z_STREAM_END) {
            _finished = true;
            break;
        }
        if (!progressed) {
            // zlib needs more input than this call has; the caller may bring it.
            break;
        }
        // A full output area may leave output inside zlib even when all input is taken.
        outputFull = stream.avail_out == 0;
    }
    if (_finished && (stream.avail_in > 0 || remaining > 0)) {
        stream.avail_in = 0;
        _ok = false;
        return false;
    }
    return true;
}

}  // namespace compression
