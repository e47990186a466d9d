#pragma once

#include <boost/filesystem/path.hpp>
#include <cstddef>

#include "foundation/compression/GzipDecompressStream.h"
#include "foundation/core/NonInitializingBuffer.h"

namespace compression {

// Empties `out` (keeping its storage) and inflates one complete gzip stream into it. True only
// when the whole input is exactly one complete gzip member: corrupt data, a truncated stream,
// bytes after the member (a second member included) and output beyond `maxOutput` all give
// false, with what was inflated before the problem left in `out`.
bool GzipDecompress(const unsigned char* data, unsigned long length,
                    core::NonInitializingBuffer<unsigned char>& out,
                    std::size_t maxOutput = kDefaultMaxDecompressedSize);

// Writes the gzip form of `source`'s content into `target` (created or truncated), reading the
// source in 16 KiB blocks. False when the source cannot be opened or read (the target is then
// not touched, or is left incomplete after a read error), when the target is the source itself
// (the same path, a link to it or another name of the same file; neither is touched), when the
// target cannot be opened or
// written, or on a zlib error.
bool GzipCompressFile(boost::filesystem::path source, boost::filesystem::path target);

}  // namespace compression
