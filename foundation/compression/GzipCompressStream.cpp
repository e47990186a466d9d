#include "foundation/compression/GzipCompressStream.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/compression/GzipOutputSpace.h"

namespace compression {

namespace {

constexpr int kLevel = 9;
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemoryLevel = 9;

}  // namespace

GzipCompressStream::GzipCompressStream()
    : _chunkSize(detail::kChunkSize), _stream(std::make_unique<z_stream_s>()) {
    std::memset(_stream.get(), 0, sizeof(z_stream_s));
    _initialised = deflateInit2(_stream.get(), kLevel, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                                Z_DEFAULT_STRATEGY) == Z_OK;
    _ok = _initialised;
}

GzipCompressStream::~GzipCompressStream() {
    if (_initialised) {
        deflateEnd(_stream.get());
    }
}

bool GzipCompressStream::Process(const core::NonInitializingBuffer<unsigned char>& in,
                                 core::NonInitializingBuffer<unsigned char>& out) {
    return Process(in.data(), in.size(), out);
}

bool GzipCompressStream::Process(const unsigned char* data, unsigned long length,
                                 core::NonInitializingBuffer<unsigned char>& out) {
    if (!_ok) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (_finished) {
        return false;
    }
    // Input that lies in the output's own storage would be freed when the output grows: it is
    // compressed from a copy.
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    const auto storage = reinterpret_cast<std::uintptr_t>(out.data());
    if (out.data() != nullptr && address >= storage && address < storage + out.capacity()) {
        const std::vector<unsigned char> copy(data, data + length);
        return Process(copy.data(), copy.size(), out);
    }
    z_stream& stream = *_stream;
    unsigned long remaining = length;
    const unsigned char* next = data;
    while (remaining > 0 || stream.avail_in > 0) {
        if (stream.avail_in == 0) {
            const unsigned long part =
                std::min<unsigned long>(remaining, std::numeric_limits<uInt>::max());
            stream.next_in = const_cast<Bytef*>(next);
            stream.avail_in = static_cast<uInt>(part);
            next += part;
            remaining -= part;
        }
        const auto space = detail::reserveOutput(out);
        stream.next_out = space.data;
        stream.avail_out = static_cast<uInt>(space.size);
        const uInt inBefore = stream.avail_in;
        const int rc = deflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = space.size - stream.avail_out;
        const bool progressed = produced > 0 || stream.avail_in != inBefore;
        if ((rc != Z_OK && rc != Z_BUF_ERROR) || !progressed) {
            stream.avail_in = 0;
            _ok = false;
            return false;
        }
        detail::commitOutput(out, produced);
    }
    return true;
}

bool GzipCompressStream::Finish(core::NonInitializingBuffer<unsigned char>& out) {
    if (_finished) {
        return true;
    }
    if (!_ok) {
        return false;
    }
    z_stream& stream = *_stream;
    stream.next_in = nullptr;
    stream.avail_in = 0;
    for (;;) {
        const auto space = detail::reserveOutput(out);
        stream.next_out = space.data;
        stream.avail_out = static_cast<uInt>(space.size);
        const int rc = deflate(&stream, Z_FINISH);
        const std::size_t produced = space.size - stream.avail_out;
        if (rc == Z_OK || rc == Z_STREAM_END || (rc == Z_BUF_ERROR && produced > 0)) {
            detail::commitOutput(out, produced);
        }
        if (rc == Z_STREAM_END) {
            _finished = true;
            return true;
        }
        if (rc != Z_OK && !(rc == Z_BUF_ERROR && produced > 0)) {
            _ok = false;
            return false;
        }
    }
}

}  // namespace compression
