#pragma once

#include <boost/signals2/signal.hpp>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "common/eventsender/IEventBlockSender.h"

namespace telemetrytest {

// Keeps every batch it is given, with its sending method.
class FakeEventBlockSender : public common::IEventBlockSender {
public:
    template <class T>
    struct Batch {
        std::vector<T> items;
        SendingMethod method;
    };

    void sendEvents(std::vector<common::JsonLogEvent>&& events, SendingMethod method) override {
        std::lock_guard<std::mutex> lock(mutex);
        eventBatches.push_back({std::move(events), method});
    }
    void sendEvents(std::vector<common::metrics::Record>&& records, SendingMethod method) override {
        std::lock_guard<std::mutex> lock(mutex);
        metricBatches.push_back({std::move(records), method});
    }
    boost::signals2::connection connectErrorSignal(std::function<void()>&& function) override {
        return errorSignal.connect(std::move(function));
    }

    std::vector<Batch<common::JsonLogEvent>> takeEventBatches() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(eventBatches, {});
    }
    std::vector<Batch<common::metrics::Record>> takeMetricBatches() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(metricBatches, {});
    }

    boost::signals2::signal<void()> errorSignal;

private:
    std::mutex mutex;
    std::vector<Batch<common::JsonLogEvent>> eventBatches;
    std::vector<Batch<common::metrics::Record>> metricBatches;
};

}  // namespace telemetrytest
