#include "foundation/compression/Gzip.h"

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace compression {

namespace {

constexpr std::size_t kBlockSize = 16384;
constexpr int kLevel = 9;
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemoryLevel = 9;

// Runs deflate over the stream's current input with `flush`, writing every produced portion to
// `target`. True when zlib reported no error (and, for Z_FINISH, the stream ended).
bool deflateInto(z_stream& stream, int flush, std::vector<unsigned char>& area,
                 std::ofstream& target) {
    for (;;) {
        stream.next_out = area.data();
        stream.avail_out = static_cast<uInt>(area.size());
        const int rc = deflate(&stream, flush);
        const std::size_t produced = area.size() - stream.avail_out;
        if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) {
            return false;
        }
        if (produced > 0) {
            target.write(reinterpret_cast<const char*>(area.data()),
                         static_cast<std::streamsize>(produced));
            if (!target) {
                return false;
            }
        }
        if (flush == Z_FINISH) {
            if (rc == Z_STREAM_END) {
                return true;
            }
            if (produced == 0 && rc == Z_BUF_ERROR) {
                return false;
            }
        } else if (stream.avail_in == 0 && stream.avail_out > 0) {
            return true;
        } else if (produced == 0 && rc == Z_BUF_ERROR) {
            return false;
        }
    }
}

}  // namespace

bool GzipDecompress(const unsigned char* data, unsigned long length,
                    core::NonInitializingBuffer<unsigned char>& out, std::size_t maxOutput) {
    out.clear();
    GzipDecompressStream stream(maxOutput);
    return stream.Process(data, length, out) && stream.Finished();
}

bool GzipCompressFile(boost::filesystem::path source, boost::filesystem::path target) {
    std::ifstream in(source.string(), std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    std::ofstream out(target.string(), std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        return false;
    }

    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (deflateInit2(&stream, kLevel, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    std::vector<unsigned char> block(kBlockSize);
    std::vector<unsigned char> area(kBlockSize);
    bool ok = true;
    for (;;) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const std::streamsize got = in.gcount();
        if (in.bad()) {
            ok = false;
            break;
        }
        if (got <= 0) {
            break;
        }
        stream.next_in = block.data();
        stream.avail_in = static_cast<uInt>(got);
        if (!deflateInto(stream, Z_NO_FLUSH, area, out)) {
            ok = false;
            break;
        }
    }
    if (ok) {
        stream.next_in = nullptr;
        stream.avail_in = 0;
        ok = deflateInto(stream, Z_FINISH, area, out);
    }
    out.flush();
    deflateEnd(&stream);
    out.close();
    return ok && !out.fail();
}

}  // namespace compression
