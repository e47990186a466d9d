#include "foundation/compression/Gzip.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace compression {

namespace {

constexpr std::size_t kBlockSize = 16384;
constexpr int kLevel = 9;
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemoryLevel = 9;

// Writes all bytes to the descriptor; false on a write error.
bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

// Runs deflate over the stream's current input with `flush`, writing every produced portion to
// `target`. True when zlib reported no error (and, for Z_FINISH, the stream ended).
bool deflateInto(z_stream& stream, int flush, std::vector<unsigned char>& area, int target) {
    for (;;) {
        stream.next_out = area.data();
        stream.avail_out = static_cast<uInt>(area.size());
        const int rc = deflate(&stream, flush);
        const std::size_t produced = area.size() - stream.avail_out;
        if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) {
            return false;
        }
        if (produced > 0 && !writeAll(target, area.data(), produced)) {
            return false;
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

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now; false when closing reports an error.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

}  // namespace

bool GzipDecompress(const unsigned char* data, unsigned long length,
                    core::NonInitializingBuffer<unsigned char>& out, std::size_t maxOutput) {
    out.clear();
    GzipDecompressStream stream(maxOutput);
    return stream.Process(data, length, out) && stream.Finished();
}

bool GzipCompressFile(boost::filesystem::path source, boost::filesystem::path target) {
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        return false;
    }
    // Opened without truncation first: when the target is the source itself (the same path,
    // a link to it, or another name of the same file), truncating it would destroy the input.
    Descriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (out.get() < 0) {
        return false;
    }
    struct stat sourceInfo {};
    struct stat targetInfo {};
    if (::fstat(in.get(), &sourceInfo) != 0 || ::fstat(out.get(), &targetInfo) != 0) {
        return false;
    }
    if (sourceInfo.st_dev == targetInfo.st_dev && sourceInfo.st_ino == targetInfo.st_ino) {
        return false;
    }
    if (S_ISREG(targetInfo.st_mode) && ::ftruncate(out.get(), 0) != 0) {
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
        const ssize_t got = ::read(in.get(), block.data(), block.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        stream.next_in = block.data();
        stream.avail_in = static_cast<uInt>(got);
        if (!deflateInto(stream, Z_NO_FLUSH, area, out.get())) {
            ok = false;
            break;
        }
    }
    if (ok) {
        stream.next_in = nullptr;
        stream.avail_in = 0;
        ok = deflateInto(stream, Z_FINISH, area, out.get());
    }
    deflateEnd(&stream);
    return out.close() && ok;
}

}  // namespace compression
