// Cost of logging on the caller's side, and the rate at which the writer thread hands records
// to a sink that discards them.

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "common/logger/ILoggerSink.h"
#include "common/logger/Logger.h"

namespace {

class DiscardingSink : public common::ILoggerSink {
public:
    DiscardingSink() : common::ILoggerSink("Discard") {}
    void write(const Record& record, unsigned long) override {
        benchmark::DoNotOptimize(record._message.data());
        _written.fetch_add(1, std::memory_order_relaxed);
    }
    void writeNewLine() override {}
    uint64_t written() const { return _written.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> _written{0};
};

std::shared_ptr<DiscardingSink> startLogger() {
    common::Logger::stop();
    common::Logger::init("Bench", common::ILogger::Info);
    auto sink = std::make_shared<DiscardingSink>();
    common::Logger::addSink(sink, true);
    return sink;
}

// One info() call with a short formatted message, as a component makes it.
void BM_InfoCall(benchmark::State& state) {
    auto sink = startLogger();
    const auto droppedBefore = common::Logger::droppedRecords();
    auto logger = common::ILogger::create("TaskScheduler");
    int i = 0;
    for (auto _ : state) {
        logger->info("task %d of queue '%s' done", ++i, "Connection_a1b2c3d4e5");
    }
    state.counters["dropped"] =
        static_cast<double>(common::Logger::droppedRecords() - droppedBefore);
    common::Logger::stop();
}
BENCHMARK(BM_InfoCall);

// Records delivered to the sink per second while 1 or 4 threads log without pause. The
// "delivered" rate counts what reached the sink during the timed loop; "dropped" counts what
// the bounded queue had to discard.
std::shared_ptr<DiscardingSink> gSink;
uint64_t gWrittenBefore = 0;
uint64_t gDroppedBefore = 0;

void BM_WriterThroughput(benchmark::State& state) {
    if (state.thread_index() == 0) {
        gSink = startLogger();
        gWrittenBefore = gSink->written();
        gDroppedBefore = common::Logger::droppedRecords();
    }
    auto logger = common::ILogger::create("Throughput");
    int i = 0;
    for (auto _ : state) {
        logger->info("record %d", ++i);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        state.counters["delivered"] = benchmark::Counter(
            static_cast<double>(gSink->written() - gWrittenBefore), benchmark::Counter::kIsRate);
        state.counters["dropped"] =
            static_cast<double>(common::Logger::droppedRecords() - gDroppedBefore);
        common::Logger::stop();
        gSink.reset();
    }
}
BENCHMARK(BM_WriterThroughput)->Threads(1)->Threads(4)->UseRealTime()->MinTime(1.0);

// Masking a 16 KB message that holds ~900 secrets, plain and escaped once (the writer thread's
// work per such record): one linear pass.
void BM_MaskManySecrets(benchmark::State& state) {
    std::string message;
    const bool escaped = state.range(0) != 0;
    const std::string secret = escaped ? R"({\"sensitive\":\"x\"},)" : R"({"sensitive":"x"},)";
    while (message.size() + secret.size() < 16383) {
        message += secret;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(common::ILoggerSink::Record::asteriskSensitiveMessage(message));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size()));
}
BENCHMARK(BM_MaskManySecrets)->Arg(0)->Arg(1);

// A forwarded message far beyond the length a record keeps, at a level no sink takes: it is cut
// and never masked.
void BM_HugeUnwantedMessage(benchmark::State& state) {
    startLogger();
    const auto logger = common::ILogger::create("Bench");
    std::string message;
    while (message.size() < (1u << 20)) {
        message += R"({"sensitive":"x"} )";
    }
    for (auto _ : state) {
        logger->logEntry(common::ILogger::Debug, message);
    }
    common::Logger::stop();
}
BENCHMARK(BM_HugeUnwantedMessage);

}  // namespace
