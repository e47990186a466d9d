#pragma once

#include <boost/signals2/signal.hpp>
#include <mutex>
#include <vector>

#include "common/metrics/IMetricsCollector.h"

namespace metricstest {

// Collects the records in memory; flush fires the flushing signal only.
class FakeMetricsCollector : public common::metrics::IMetricsCollector {
public:
    void addRecord(common::metrics::Record&& record) override {
        std::lock_guard<std::mutex> lock(_mutex);
        _records.push_back(std::move(record));
    }
    void flush() override { _flushingSignal(); }
    boost::signals2::connection connectFlushingSignal(std::function<void()>&& function) override {
        return _flushingSignal.connect(std::move(function));
    }

    std::vector<common::metrics::Record> takeRecords() {
        std::lock_guard<std::mutex> lock(_mutex);
        std::vector<common::metrics::Record> records;
        records.swap(_records);
        return records;
    }
    std::size_t connectedSlots() const { return _flushingSignal.num_slots(); }

private:
    std::mutex _mutex;
    std::vector<common::metrics::Record> _records;
    boost::signals2::signal<void()> _flushingSignal;
};

}  // namespace metricstest
