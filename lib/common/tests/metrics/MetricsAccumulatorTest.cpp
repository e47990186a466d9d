#include "common/metrics/MetricsAccumulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FakeMetricsCollector.h"
#include "common/metrics/Tag.h"

using common::metrics::AttributeValue;
using common::metrics::MetricsAccumulator;
using common::metrics::Record;
using metricstest::FakeMetricsCollector;

namespace {

class MetricsAccumulatorTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeMetricsCollector> collector = std::make_shared<FakeMetricsCollector>();
};

TEST_F(MetricsAccumulatorTest, EachFlushHandsInTheSumsSinceThePreviousOne) {
    MetricsAccumulator<long long> accumulator(common::metrics::Tag::WebSocket::BytesSent,
                                              collector);
    accumulator.addFixedAttribute("object", std::string("0x1234"));

    collector->flush();  // nothing counted yet: no record despite the fixed attribute
    EXPECT_TRUE(collector->takeRecords().empty());

    accumulator.accumulate("size", 100);
    accumulator.accumulate("size", 20);
    accumulator.accumulate("total", 7);
    collector->flush();
    EXPECT_EQ(collector->takeRecords(),
              std::vector<Record>({{"websocket-bytes-sent",
                                    {{"object", AttributeValue(std::string("0x1234"))},
                                     {"size", AttributeValue(int64_t{120})},
                                     {"total", AttributeValue(int64_t{7})}}}}));

    collector->flush();  // right after a flush: nothing new
    EXPECT_TRUE(collector->takeRecords().empty());

    accumulator.accumulate("total", 5);  // untouched counters are absent
    accumulator.flush();
    EXPECT_EQ(collector->takeRecords(),
              std::vector<Record>({{"websocket-bytes-sent",
                                    {{"object", AttributeValue(std::string("0x1234"))},
                                     {"total", AttributeValue(int64_t{5})}}}}));
}

TEST_F(MetricsAccumulatorTest, ACounterNamedLikeAFixedAttributeReplacesItsValue) {
    MetricsAccumulator<long long> accumulator("acc", collector);
    accumulator.addFixedAttribute("size", std::string("fixed"));
    accumulator.addFixedAttribute("object", int32_t{1});
    accumulator.addFixedAttribute("object", std::string("0xabc"));  // replaced
    accumulator.accumulate("size", -3);
    accumulator.flush();
    EXPECT_EQ(collector->takeRecords(),
              std::vector<Record>({{"acc",
                                    {{"object", AttributeValue(std::string("0xabc"))},
                                     {"size", AttributeValue(int64_t{-3})}}}}));
}

TEST_F(MetricsAccumulatorTest, DestructionFlushesWhatIsLeftAndDisconnects) {
    {
        MetricsAccumulator<long long> accumulator("acc", collector);
        EXPECT_EQ(collector->connectedSlots(), 1u);
        accumulator.accumulate("size", 1);
    }
    EXPECT_EQ(collector->takeRecords(),
              std::vector<Record>({{"acc", {{"size", AttributeValue(int64_t{1})}}}}));
    EXPECT_EQ(collector->connectedSlots(), 0u);
    collector->flush();
    EXPECT_TRUE(collector->takeRecords().empty());
}

TEST_F(MetricsAccumulatorTest, WithoutALiveCollectorSumsAreDroppedSilently) {
    std::weak_ptr<FakeMetricsCollector> gone;
    {
        auto shortLived = std::make_shared<FakeMetricsCollector>();
        gone = shortLived;
    }
    MetricsAccumulator<long long> neverConnected("acc", gone);
    neverConnected.accumulate("size", 1);
    neverConnected.flush();

    auto accumulator = std::make_unique<MetricsAccumulator<long long>>("acc", collector);
    accumulator->accumulate("size", 1);
    collector.reset();  // the collector dies first
    accumulator->accumulate("size", 2);
    accumulator->flush();
    accumulator.reset();
}

TEST_F(MetricsAccumulatorTest, CountersOfOtherTypesUseTheMatchingAlternative) {
    MetricsAccumulator<uint32_t> unsignedCounter("u", collector);
    MetricsAccumulator<double> realCounter("d", collector);
    unsignedCounter.accumulate("n", 4000000000u);
    realCounter.accumulate("x", 0.25);
    collector->flush();
    auto records = collector->takeRecords();
    ASSERT_EQ(records.size(), 2u);
    std::sort(records.begin(), records.end(),
              [](const Record& a, const Record& b) { return a.tag < b.tag; });
    EXPECT_EQ(records[0].attributes.at("x"), AttributeValue(0.25));
    EXPECT_EQ(records[1].attributes.at("n"), AttributeValue(uint32_t{4000000000u}));
}

// Accumulators are counted on one thread and destroyed on another while a third thread keeps
// flushing the collector. Every amount must arrive exactly once, and (under AddressSanitizer)
// no flush may touch a destroyed accumulator.
TEST_F(MetricsAccumulatorTest, DestructionWhileTheCollectorFlushesOnAnotherThread) {
    constexpr int Accumulators = 1000;
    constexpr int AmountsEach = 50;
    std::atomic<bool> done{false};
    long long flushedTotal = 0;
    std::thread flusher([&] {
        while (!done) {
            collector->flush();
        }
    });

    long long counted = 0;
    for (int i = 0; i < Accumulators; ++i) {
        auto accumulator = std::make_unique<MetricsAccumulator<long long>>(
            common::metrics::Tag::HttpQuery::BytesReceived, collector);
        accumulator->addFixedAttribute("object", std::to_string(i));
        std::thread counter([&] {
            for (int n = 1; n <= AmountsEach; ++n) {
                accumulator->accumulate("size", n);
            }
        });
        counter.join();
        counted += AmountsEach * (AmountsEach + 1) / 2;
        std::thread destroyer([&] { accumulator.reset(); });
        destroyer.join();
    }
    done = true;
    flusher.join();

    for (const auto& record : collector->takeRecords()) {
        EXPECT_EQ(record.tag, "httpquery-bytes-received");
        flushedTotal += std::get<int64_t>(record.attributes.at("size"));
    }
    EXPECT_EQ(flushedTotal, counted);
    EXPECT_EQ(collector->connectedSlots(), 0u);
}

}  // namespace
