#pragma once

#include <boost/signals2/connection.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "common/metrics/IMetricsCollector.h"
#include "common/metrics/Record.h"

namespace common {
namespace metrics {

namespace detail {

// The attribute alternative of a counter type: the integer of the same signedness and width,
// or the floating-point type itself.
template <class T>
AttributeValue toAttributeValue(T value) {
    static_assert(std::is_arithmetic<T>::value && !std::is_same<T, bool>::value,
                  "counters are numbers");
    if constexpr (std::is_floating_point<T>::value) {
        return AttributeValue(
            static_cast<std::conditional_t<sizeof(T) <= sizeof(float), float, double>>(value));
    } else if constexpr (std::is_signed<T>::value) {
        return AttributeValue(
            static_cast<std::conditional_t<sizeof(T) <= 4, int32_t, int64_t>>(value));
    } else {
        return AttributeValue(
            static_cast<std::conditional_t<sizeof(T) <= 4, uint32_t, uint64_t>>(value));
    }
}

}  // namespace detail

// Sums named counters between two collections and hands the sums to the metrics collector as
// one record (tag = the accumulator's name) whenever the collector's flushing signal fires,
// and once more when the accumulator is destroyed. Each record holds the sums since the
// previous one; a flush with no counter touched makes no record.
//
// addFixedAttribute and accumulate may be called from any thread; the flushing signal may
// fire on another thread, also while the accumulator is being destroyed.
template <class T>
class MetricsAccumulator {
public:
    MetricsAccumulator(std::string name, std::weak_ptr<IMetricsCollector> collector)
        : _state(std::make_shared<State>(std::move(name), std::move(collector))) {
        if (auto strongCollector = _state->collector.lock()) {
            // The signal reaches the sums through a weak reference: a flush that has already
            // started keeps them alive to its end, even when this object is destroyed meanwhile
            // on another thread.
            std::weak_ptr<State> state = _state;
            _flushConnection = strongCollector->connectFlushingSignal([state] {
                if (auto alive = state.lock()) {
                    alive->flush();
                }
            });
        }
    }

    virtual ~MetricsAccumulator() {
        _state->flush();
        _flushConnection.disconnect();
    }

    MetricsAccumulator(const MetricsAccumulator&) = delete;
    MetricsAccumulator& operator=(const MetricsAccumulator&) = delete;

    // Sets or replaces an attribute copied into every record.
    void addFixedAttribute(const std::string& name, AttributeValue value) {
        std::lock_guard<std::mutex> lock(_state->mutex);
        _state->fixedAttributes[name] = std::move(value);
    }

    // Adds the amount to the counter (a new counter starts at 0).
    void accumulate(const std::string& counter, T amount) {
        std::lock_guard<std::mutex> lock(_state->mutex);
        _state->values[counter] += amount;
    }

    // Hands the sums since the previous flush to the collector, when any counter was touched.
    void flush() { _state->flush(); }

private:
    struct State {
        State(std::string name_, std::weak_ptr<IMetricsCollector> collector_)
            : name(std::move(name_)), collector(std::move(collector_)) {}

        void flush() {
            Attributes attributes;
            std::map<std::string, T> sums;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (values.empty()) {
                    return;
                }
                attributes = fixedAttributes;
                sums.swap(values);
            }
            for (const auto& sum : sums) {
                attributes[sum.first] = detail::toAttributeValue(sum.second);
            }
            if (auto strongCollector = collector.lock()) {
                strongCollector->addRecord(Record{name, std::move(attributes)});
            }
        }

        Attributes fixedAttributes;
        std::map<std::string, T> values;
        const std::string name;
        const std::weak_ptr<IMetricsCollector> collector;
        std::mutex mutex;
    };

    std::shared_ptr<State> _state;
    boost::signals2::scoped_connection _flushConnection;
};

}  // namespace metrics
}  // namespace common
