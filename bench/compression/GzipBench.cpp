// gzip compression and decompression of 1 MB and 100 MB buffers through the compression
// module, next to the gzip tool (-9 and -dc) on the same data. Throughput is reported as the
// uncompressed bytes per second in every case.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <boost/filesystem/operations.hpp>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "foundation/compression/Gzip.h"
#include "foundation/compression/GzipCompressStream.h"
#include "platform/process/Process.h"

namespace {

using Buffer = core::NonInitializingBuffer<unsigned char>;
namespace fs = boost::filesystem;

constexpr std::size_t kMegabyte = 1024 * 1024;

// Log-like text with stretches of random bytes: compresses to roughly a third.
const std::string& sample(std::size_t size) {
    static std::map<std::size_t, std::string> samples;
    auto& data = samples[size];
    if (data.empty()) {
        std::mt19937 random(42);
        data.reserve(size);
        while (data.size() < size) {
            if (random() % 8 == 0) {
                for (int i = 0; i < 48; ++i) {
                    data += static_cast<char>(random());
                }
            } else {
                data += "2026-12-09T15:05:27.005Z Info Daemon: connection " +
                        std::to_string(random() % 100000) + " state changed\n";
            }
        }
        data.resize(size);
    }
    return data;
}

Buffer compress(const std::string& data) {
    compression::GzipCompressStream stream;
    Buffer out;
    stream.Process(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out);
    stream.Finish(out);
    return out;
}

const Buffer& compressedSample(std::size_t size) {
    static std::map<std::size_t, Buffer> samples;
    auto& gz = samples[size];
    if (gz.empty()) {
        gz = compress(sample(size));
    }
    return gz;
}

// A folder for the files the gzip tool reads, removed at exit.
class BenchFolder {
public:
    BenchFolder() {
        std::string pattern = (fs::temp_directory_path() / "orv-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            _path = pattern;
        }
    }
    ~BenchFolder() {
        boost::system::error_code ec;
        fs::remove_all(_path, ec);
    }
    fs::path file(const std::string& name, const char* data, std::size_t size) const {
        const fs::path path = _path / name;
        if (!fs::exists(path)) {
            std::ofstream(path.string(), std::ios::binary).write(data, static_cast<long>(size));
        }
        return path;
    }

private:
    fs::path _path;
};

BenchFolder& folder() {
    static BenchFolder instance;
    return instance;
}

standin::Process::Options captureAll() {
    standin::Process::Options options;
    options.captureOutput = true;
    options.maxOutput = 512 * kMegabyte;
    return options;
}

void BM_GzipCompress(benchmark::State& state) {
    const auto& data = sample(static_cast<std::size_t>(state.range(0)) * kMegabyte);
    for (auto _ : state) {
        Buffer out = compress(data);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_GzipDecompress(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * kMegabyte;
    const auto& gz = compressedSample(size);
    Buffer out;
    for (auto _ : state) {
        if (!compression::GzipDecompress(gz.data(), gz.size(), out, size) || out.size() != size) {
            state.SkipWithError("decompression failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_GzipToolCompress(benchmark::State& state) {
    const auto& data = sample(static_cast<std::size_t>(state.range(0)) * kMegabyte);
    const auto file =
        folder().file("plain-" + std::to_string(state.range(0)), data.data(), data.size());
    for (auto _ : state) {
        const auto result =
            standin::Process::run("gzip", {"-9", "-c", file.string()}, captureAll());
        if (!result.succeeded()) {
            state.SkipWithError("gzip -9 failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_GzipToolDecompress(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * kMegabyte;
    const auto& gz = compressedSample(size);
    const auto file = folder().file("gz-" + std::to_string(state.range(0)),
                                    reinterpret_cast<const char*>(gz.data()), gz.size());
    for (auto _ : state) {
        const auto result = standin::Process::run("gzip", {"-dc", file.string()}, captureAll());
        if (!result.succeeded() || result.output.size() != size) {
            state.SkipWithError("gzip -dc failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// The 100 MB cases run a few times only: level 9 is slow on purpose. Wall-clock time, since the
// gzip tool's work is done in a child process.
#define ORV_GZIP_BENCH(name)                                               \
    BENCHMARK(name)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond); \
    BENCHMARK(name)->Arg(100)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond)

ORV_GZIP_BENCH(BM_GzipCompress);
ORV_GZIP_BENCH(BM_GzipToolCompress);
ORV_GZIP_BENCH(BM_GzipDecompress);
ORV_GZIP_BENCH(BM_GzipToolDecompress);

}  // namespace
