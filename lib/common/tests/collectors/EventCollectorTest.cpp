#include "common/collectors/EventCollector.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../support/LogCapture.h"
#include "../telemetrysupport/FakeEventBlockSender.h"
#include "common/collectors/MetricsCollector.h"
#include "common/metrics/MetricsAccumulator.h"
#include "lib/common/tests/support/ManualScheduler.h"

using common::EventCollector;
using common::IEventBlockSender;
using common::JsonLogEvent;
using common::metrics::MetricsAccumulator;
using common::metrics::MetricsCollector;
using common::metrics::Record;
using telemetrytest::FakeEventBlockSender;
using testsupport::ManualScheduler;
using namespace std::chrono_literals;

namespace {

JsonLogEvent event(int number) {
    JsonLogEvent e;
    e.message = "event " + std::to_string(number);
    return e;
}

// A collector on a scheduler and a wall clock that both move only when the test says so.
class EventCollectorTest : public ::testing::Test {
protected:
    EventCollector<JsonLogEvent>::Clock wallClock() {
        return [this] {
            return std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 50)) +
                   std::chrono::duration_cast<std::chrono::system_clock::duration>(
                       scheduler->now() - start);
        };
    }

    void addEvents(EventCollector<JsonLogEvent>& collector, int from, int count) {
        for (int i = from; i < from + count; ++i) {
            collector.addRecord(event(i));
        }
    }

    std::shared_ptr<ManualScheduler> scheduler = ManualScheduler::create();
    ManualScheduler::TimePoint start = scheduler->now();
    std::unique_ptr<common::ITaskQueue> queue = scheduler->getTaskQueue("JsonSink");
    std::shared_ptr<FakeEventBlockSender> sender = std::make_shared<FakeEventBlockSender>();
};

TEST_F(EventCollectorTest, SendsEvery30sOnceAHundredWaitOrTwoMinutesPassed) {
    EventCollector<JsonLogEvent> collector(*queue, sender, wallClock());
    addEvents(collector, 0, 3);

    scheduler->advance(29990ms);
    EXPECT_TRUE(sender->takeEventBatches().empty());
    scheduler->advance(10ms);  // the first check: the last send lies at the epoch
    auto batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].items.size(), 3u);
    EXPECT_EQ(batches[0].method, IEventBlockSender::Asynchronous);
    EXPECT_EQ(batches[0].items[2].message, "event 2");

    addEvents(collector, 3, 99);
    scheduler->advance(30000ms);  // 99 waiting, 30 s since the last send
    EXPECT_TRUE(sender->takeEventBatches().empty());
    collector.addRecord(event(102));
    scheduler->advance(30000ms);  // the hundredth
    batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].items.size(), 100u);
    EXPECT_EQ(batches[0].items.front().message, "event 3");
    EXPECT_EQ(batches[0].items.back().message, "event 102");

    collector.addRecord(event(200));
    scheduler->advance(90000ms);  // checks at +30 s, +60 s: too early; +90 s: nothing yet
    EXPECT_TRUE(sender->takeEventBatches().empty());
    scheduler->advance(30000ms);  // 120 s since the last send
    batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].items.size(), 1u);

    scheduler->advance(60000ms);  // nothing waiting: nothing sent, not even an empty batch
    EXPECT_TRUE(sender->takeEventBatches().empty());
}

TEST_F(EventCollectorTest, FlushSendsAtOnceBlockingAlsoWhenNothingWaits) {
    EventCollector<JsonLogEvent> collector(*queue, sender, wallClock());
    collector.flush();
    addEvents(collector, 0, 2);
    collector.flush();
    const auto batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_TRUE(batches[0].items.empty());
    EXPECT_EQ(batches[0].method, IEventBlockSender::Blocking);
    EXPECT_EQ(batches[1].items.size(), 2u);
    EXPECT_EQ(batches[1].method, IEventBlockSender::Blocking);
}

TEST_F(EventCollectorTest, SenderErrorStopsPeriodicSendsButFlushStillSends) {
    auto logs = testsupport::LogCapture::install();
    EventCollector<JsonLogEvent> collector(*queue, sender, wallClock());
    addEvents(collector, 0, 150);
    sender->errorSignal();
    EXPECT_TRUE(collector.isStopped());

    scheduler->advance(300000ms);
    EXPECT_TRUE(sender->takeEventBatches().empty());
    EXPECT_FALSE(scheduler->hasTask(queue->getName()));  // the periodic check is gone for good

    addEvents(collector, 150, 1);  // still kept
    collector.flush();
    const auto batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].items.size(), 151u);
    EXPECT_EQ(batches[0].method, IEventBlockSender::Blocking);
    EXPECT_EQ(logs->count(common::ILogger::Error,
                          "Fatal error occured during event sending, stopping event collector!"),
              1u);
}

TEST_F(EventCollectorTest, ItemsHeldAfterTheSenderGaveUpAreBounded) {
    auto logs = testsupport::LogCapture::install();
    EventCollector<JsonLogEvent> collector(*queue, sender, wallClock());
    sender->errorSignal();
    const int limit = static_cast<int>(EventCollector<JsonLogEvent>::kMaxWaitingRecords);
    addEvents(collector, 0, limit + 5);
    EXPECT_EQ(collector.droppedRecords(), 5u);
    collector.flush();
    const auto batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].items.size(), static_cast<std::size_t>(limit));
    EXPECT_EQ(batches[0].items.front().message, "event 5");  // the oldest went first
    EXPECT_EQ(logs->count(common::ILogger::Warning, "Dropped 5 records"), 1u);
}

TEST_F(EventCollectorTest, AddingLogsATraceLineWithTheItemsText) {
    auto logs = testsupport::LogCapture::install();
    EventCollector<JsonLogEvent> collector(*queue, sender, wallClock());
    collector.addRecord(event(7));
    EXPECT_EQ(logs->count(common::ILogger::Trace, "Adding record: JsonLogEvent{"), 1u);
}

TEST_F(EventCollectorTest, MetricsCollectorGathersAccumulatorSumsBeforeEachSend) {
    auto metricsQueue = scheduler->getTaskQueue("MetricsCollector");
    const std::string queueName = metricsQueue->getName();
    auto collector =
        std::make_shared<MetricsCollector>(std::move(metricsQueue), sender, wallClock());
    MetricsAccumulator<uint32_t> accumulator("websocket-bytes-sent", collector);
    accumulator.accumulate("size", 10);

    collector->flush();  // the accumulator hands in its sum first
    auto batches = sender->takeMetricBatches();
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].items.size(), 1u);
    EXPECT_EQ(batches[0].items[0].tag, "websocket-bytes-sent");
    EXPECT_EQ(batches[0].method, IEventBlockSender::Blocking);

    accumulator.accumulate("size", 5);
    scheduler->advance(30000ms);  // the periodic check fires the flushing signal as well
    batches = sender->takeMetricBatches();
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].items.size(), 1u);
    EXPECT_EQ(batches[0].items[0].attributes.at("size"),
              common::metrics::AttributeValue(uint32_t{5}));
    EXPECT_EQ(batches[0].method, IEventBlockSender::Asynchronous);

    // Destroying the collector drops its periodic check and sends nothing.
    accumulator.accumulate("size", 1);
    collector.reset();
    EXPECT_FALSE(scheduler->hasTask(queueName));
    scheduler->advance(60000ms);
    EXPECT_TRUE(sender->takeMetricBatches().empty());
}

}  // namespace
