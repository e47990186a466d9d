#include <gtest/gtest.h>
#include <zlib.h>

#include <boost/filesystem/operations.hpp>
#include <random>
#include <string>

#include "foundation/compression/Gzip.h"
#include "foundation/compression/GzipCompressStream.h"
#include "foundation/compression/GzipDecompressStream.h"
#include "platform/process/Process.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using Buffer = core::NonInitializingBuffer<unsigned char>;
using testsupport::TempDir;

namespace {

// Text-like, compressible data with random stretches, so both deflate block kinds occur.
std::string sampleData(std::size_t size, unsigned seed = 1) {
    std::mt19937 random(seed);
    std::string data;
    data.reserve(size);
    while (data.size() < size) {
        if (random() % 4 == 0) {
            for (int i = 0; i < 64 && data.size() < size; ++i) {
                data += static_cast<char>(random());
            }
        } else {
            data += "the quick brown fox " + std::to_string(random() % 1000) + "\n";
        }
    }
    data.resize(size);
    return data;
}

std::string text(const Buffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string compressInParts(const std::string& data, std::size_t part) {
    compression::GzipCompressStream stream;
    Buffer out;
    for (std::size_t offset = 0; offset < data.size(); offset += part) {
        const std::size_t length = std::min(part, data.size() - offset);
        EXPECT_TRUE(stream.Process(bytes(data) + offset, length, out));
    }
    EXPECT_TRUE(stream.Finish(out));
    return text(out);
}

// What the real gzip tool makes of a file: `gzip -t` status and `gzip -dc` output.
struct GzipTool {
    bool valid;
    std::string content;
};

GzipTool gzipTool(const fs::path& file) {
    const auto test = standin::Process::run("gzip", {"-t", file.string()});
    standin::Process::Options options;
    options.captureOutput = true;
    options.maxOutput = std::size_t{1} << 30;
    const auto decompressed = standin::Process::run("gzip", {"-dc", file.string()}, options);
    return {test.succeeded() && decompressed.succeeded(), decompressed.output};
}

std::string gzipNine(const TempDir& temp, const std::string& data) {
    const auto file = temp.write("plain", data);
    standin::Process::Options options;
    options.captureOutput = true;
    options.maxOutput = std::size_t{1} << 30;
    const auto result = standin::Process::run("gzip", {"-9", "-c", file.string()}, options);
    EXPECT_TRUE(result.succeeded());
    return result.output;
}

}  // namespace

TEST(GzipCompressStream, OutputIsValidForTheGzipTool) {
    TempDir temp;
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{100000}, std::size_t{3} * 1024 * 1024}) {
        SCOPED_TRACE(size);
        const std::string data = sampleData(size, static_cast<unsigned>(size));
        for (const std::size_t part : {std::size_t{1000}, std::size_t{1} << 20}) {
            if (size > 200000 && part < 100000) {
                continue;
            }
            const auto file = temp.write("out.gz", compressInParts(data, part));
            const auto tool = gzipTool(file);
            EXPECT_TRUE(tool.valid);
            EXPECT_TRUE(tool.content == data);
        }
    }
}

TEST(GzipCompressStream, NoInputAfterFinish) {
    compression::GzipCompressStream stream;
    Buffer out;
    ASSERT_TRUE(stream.Process(bytes("abc"), 3, out));
    ASSERT_TRUE(stream.Finish(out));
    const std::size_t finished = out.size();
    EXPECT_TRUE(stream.Finish(out));
    EXPECT_EQ(out.size(), finished);
    EXPECT_FALSE(stream.Process(bytes("more"), 4, out));
    EXPECT_EQ(out.size(), finished);

    Buffer plain;
    EXPECT_TRUE(compression::GzipDecompress(out.data(), out.size(), plain));
    EXPECT_EQ(text(plain), "abc");
}

TEST(GzipDecompress, ReadsWhatGzipAndTheStreamWrite) {
    TempDir temp;
    for (const std::size_t size : {std::size_t{0}, std::size_t{17}, std::size_t{2} * 1024 * 1024}) {
        SCOPED_TRACE(size);
        const std::string data = sampleData(size);
        for (const std::string& gz : {gzipNine(temp, data), compressInParts(data, 4096)}) {
            Buffer out;
            out.append(bytes("stale"), 5);
            ASSERT_TRUE(compression::GzipDecompress(bytes(gz), gz.size(), out));
            EXPECT_TRUE(text(out) == data);
        }
    }
    // Much output from little input: all of it comes out, not only what fits one step.
    const std::string zeros(50 * 1024 * 1024, '\0');
    const std::string gz = compressInParts(zeros, zeros.size());
    Buffer out;
    ASSERT_TRUE(compression::GzipDecompress(bytes(gz), gz.size(), out));
    EXPECT_EQ(out.size(), zeros.size());
}

TEST(GzipDecompress, BadStreamsFail) {
    TempDir temp;
    const std::string data = sampleData(200000);
    const std::string gz = gzipNine(temp, data);
    std::string zlibWrapped(compressBound(data.size()), '\0');
    uLongf zlibSize = zlibWrapped.size();
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&zlibWrapped[0]), &zlibSize, bytes(data),
                        data.size(), 9),
              Z_OK);
    zlibWrapped.resize(zlibSize);
    std::string corruptData = gz;
    corruptData[gz.size() / 2] ^= 0x55;
    std::string corruptCrc = gz;
    corruptCrc[gz.size() - 6] ^= 0x01;
    std::string corruptLength = gz;
    corruptLength[gz.size() - 2] ^= 0x01;

    struct Case {
        const char* title;
        std::string input;
    };
    const std::vector<Case> cases = {
        {"zlib wrapper, not gzip", zlibWrapped},
        {"header only", gz.substr(0, 10)},
        {"cut in the middle", gz.substr(0, gz.size() / 2)},
        {"trailer missing", gz.substr(0, gz.size() - 8)},
        {"one trailer byte missing", gz.substr(0, gz.size() - 1)},
        {"corrupt data", corruptData},
        {"corrupt CRC", corruptCrc},
        {"corrupt length", corruptLength},
        {"not gzip at all", "hello, world"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        Buffer out;
        EXPECT_FALSE(compression::GzipDecompress(bytes(c.input), c.input.size(), out));
        EXPECT_LE(out.size(), data.size());
    }
}

TEST(GzipDecompress, BytesAfterTheMemberFailButKeepItsContent) {
    TempDir temp;
    const std::string first = sampleData(50000, 7);
    const std::string gz = gzipNine(temp, first);
    for (const std::string& tail :
         {std::string(1, '\0'), std::string("garbage"), gzipNine(temp, "second member")}) {
        const std::string input = gz + tail;
        Buffer out;
        EXPECT_FALSE(compression::GzipDecompress(bytes(input), input.size(), out));
        EXPECT_TRUE(text(out) == first);
    }
}

TEST(GzipDecompress, OutputIsBoundedByTheCaller) {
    const std::string data = sampleData(1000000);
    const std::string gz = compressInParts(data, data.size());
    Buffer out;
    EXPECT_TRUE(compression::GzipDecompress(bytes(gz), gz.size(), out, data.size()));
    EXPECT_EQ(out.size(), data.size());
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1000}, data.size() - 1}) {
        SCOPED_TRACE(limit);
        compression::GzipDecompressStream stream(limit);
        Buffer bounded;
        EXPECT_FALSE(stream.Process(bytes(gz), gz.size(), bounded));
        EXPECT_TRUE(stream.LimitExceeded());
        EXPECT_EQ(bounded.size(), limit);
        EXPECT_EQ(text(bounded), data.substr(0, limit));
        EXPECT_FALSE(compression::GzipDecompress(bytes(gz), gz.size(), bounded, limit));
    }
}

TEST(GzipDecompressStream, InputInSmallPieces) {
    const std::string data = sampleData(300000, 3);
    const std::string gz = compressInParts(data, 65536);
    compression::GzipDecompressStream stream;
    Buffer out;
    for (std::size_t offset = 0; offset < gz.size(); offset += 7) {
        ASSERT_TRUE(
            stream.Process(bytes(gz) + offset, std::min<std::size_t>(7, gz.size() - offset), out));
        EXPECT_EQ(stream.Finished(), offset + 7 >= gz.size());
    }
    EXPECT_TRUE(stream.Finished());
    EXPECT_TRUE(text(out) == data);
    EXPECT_FALSE(stream.Process(bytes("x"), 1, out));
}

TEST(GzipCompressFile, CompressesAFileForTheGzipTool) {
    TempDir temp;
    for (const std::size_t size : {std::size_t{0}, std::size_t{16384}, std::size_t{1000001}}) {
        SCOPED_TRACE(size);
        const std::string data = sampleData(size, 11);
        const auto source = temp.write("source", data);
        const auto target = temp.write("target.gz", std::string(5000000, 'x'));  // truncated
        ASSERT_TRUE(compression::GzipCompressFile(source, target));
        const auto tool = gzipTool(target);
        EXPECT_TRUE(tool.valid);
        EXPECT_TRUE(tool.content == data);
    }
}

TEST(GzipCompressFile, UnreadableSourceOrUnwritableTargetFails) {
    TempDir temp;
    const auto source = temp.write("source", "content");
    fs::create_directories(temp / "folder");

    EXPECT_FALSE(compression::GzipCompressFile(temp / "missing", temp / "a.gz"));
    EXPECT_FALSE(fs::exists(temp / "a.gz"));
    // A folder opens but cannot be read.
    EXPECT_FALSE(compression::GzipCompressFile(temp / "folder", temp / "b.gz"));
    EXPECT_FALSE(compression::GzipCompressFile(source, temp / "no" / "such" / "c.gz"));
    EXPECT_FALSE(compression::GzipCompressFile(source, temp / "folder"));
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(compression::GzipCompressFile(source, "/dev/full"));
    }
}

// The target is the source itself: truncating it before reading would destroy the input.
TEST(GzipCompressFile, RefusesToCompressAFileOntoItself) {
    TempDir temp;
    const std::string data = sampleData(100000, 5);
    const auto source = temp.write("source", data);
    fs::create_symlink(source, temp / "symlink");
    fs::create_hard_link(source, temp / "hardlink");
    for (const fs::path& target :
         {source, temp / "symlink", temp / "hardlink", temp / "." / "source"}) {
        SCOPED_TRACE(target.string());
        EXPECT_FALSE(compression::GzipCompressFile(source, target));
        EXPECT_TRUE(TempDir::read(source) == data);
    }
}

// The same buffer as input and output: the input must survive the output's growth.
TEST(GzipCompressStream, InputInTheOutputBufferIsCompressedWhole) {
    const std::string data = sampleData(200000, 9);
    Buffer buffer;
    buffer.append(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    compression::GzipCompressStream stream;
    ASSERT_TRUE(stream.Process(buffer, buffer));
    ASSERT_TRUE(stream.Finish(buffer));
    // The buffer now holds the input followed by its gzip form.
    ASSERT_GT(buffer.size(), data.size());
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(buffer.data()), data.size()) == data);
    Buffer out;
    ASSERT_TRUE(
        compression::GzipDecompress(buffer.data() + data.size(), buffer.size() - data.size(), out));
    EXPECT_TRUE(text(out) == data);
}
