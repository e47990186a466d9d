#pragma once

#include <atomic>
#include <boost/signals2/connection.hpp>
#include <boost/signals2/signal.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "common/collectors/IEventCollector.h"
#include "common/eventsender/IEventBlockSender.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/ITaskQueue.h"

namespace common {

// Collects items of type T (log events, metric records) and hands them to the event-block
// sender: every 30 s a periodic check sends them asynchronously once 100 are waiting or 120 s
// have passed since the last periodic send; `flush` sends them at once and waits.
//
// `addRecord` and `flush` may be called from any thread; the periodic check runs on the
// owner's queue. The owner finishes that queue (dropping pending tasks) before it destroys
// the collector; a check that still runs afterwards does nothing.
template <class T>
class EventCollector : public IEventCollector<T> {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    static constexpr std::chrono::milliseconds kCheckPeriod{30000};
    static constexpr std::size_t kBatchSize = 100;
    static constexpr std::chrono::microseconds kMaxBatchAge{120000000};
    // The most items kept while none can be sent (after the sender gave up); beyond it the
    // oldest are dropped and counted.
    static constexpr std::size_t kMaxWaitingRecords = 10000;

    EventCollector(ITaskQueue& queue, std::shared_ptr<IEventBlockSender> sender,
                   Clock now = Clock())
        : _queue(queue),
          _sender(std::move(sender)),
          _logger(ILogger::create("EventCollector")),
          _now(now ? std::move(now) : Clock([] { return std::chrono::system_clock::now(); })) {
        if (_sender) {
            std::weak_ptr<bool> alive = _alive;
            _errorConnection = _sender->connectErrorSignal([this, alive] {
                if (alive.lock()) {
                    _logger->error(
                        "Fatal error occured during event sending, stopping event collector!");
                    _stopped = true;
                }
            });
        }
        runTasks();
    }

    ~EventCollector() override = default;

    EventCollector(const EventCollector&) = delete;
    EventCollector& operator=(const EventCollector&) = delete;

    void addRecord(const T& record) override {
        _logger->trace("Adding record: %s", record.toString().c_str());
        std::lock_guard<std::mutex> lock(_mutex);
        keepRoomLocked();
        _records.push_back(record);
    }

    void addRecord(T&& record) override {
        _logger->trace("Adding record: %s", record.toString().c_str());
        std::lock_guard<std::mutex> lock(_mutex);
        keepRoomLocked();
        _records.push_back(std::move(record));
    }

    void flush() override { sendPendingEvents(IEventBlockSender::Blocking); }

    boost::signals2::connection connectSendingEventsSignal(
        std::function<void()>&& function) override {
        return _sendingEventsSignal.connect(std::move(function));
    }

    bool isStopped() const { return _stopped; }
    // Items dropped because too many were waiting, since the collector was made.
    uint64_t droppedRecords() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _dropped;
    }

private:
    void runTasks() {
        std::weak_ptr<bool> alive = _alive;
        _queue.push(
            [this, alive](bool& reschedule, unsigned long) {
                if (!alive.lock() || _stopped) {
                    return;
                }
                _sendingEventsSignal();
                processPendingRecords();
                reschedule = !_stopped;
            },
            kCheckPeriod, ITaskQueue::Normal);
    }

    void processPendingRecords() {
        std::size_t waiting = 0;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            waiting = _records.size();
        }
        if (waiting == 0) {
            return;
        }
        const auto now = std::chrono::time_point_cast<std::chrono::microseconds>(_now());
        if (waiting >= kBatchSize || now - _lastSend >= kMaxBatchAge) {
            _lastSend = now;
            sendPendingEvents(IEventBlockSender::Asynchronous);
        }
    }

    void sendPendingEvents(IEventBlockSender::SendingMethod method) {
        std::vector<T> batch;
        batch.reserve(kBatchSize);
        uint64_t dropped = 0;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            batch.reserve(_records.size());
            std::move(_records.begin(), _records.end(), std::back_inserter(batch));
            _records.clear();
            dropped = _dropped - _droppedReported;
            _droppedReported = _dropped;
        }
        if (dropped > 0) {
            _logger->warning("Dropped %llu records that were waiting too long for upload",
                             static_cast<unsigned long long>(dropped));
        }
        if (_sender) {
            _sender->sendEvents(std::move(batch), method);
        }
    }

    void keepRoomLocked() {
        if (_records.size() >= kMaxWaitingRecords) {
            _records.pop_front();
            ++_dropped;
        }
    }

    ITaskQueue& _queue;
    std::shared_ptr<IEventBlockSender> _sender;
    std::unique_ptr<ILogger> _logger;
    Clock _now;
    std::deque<T> _records;
    mutable std::mutex _mutex;
    uint64_t _dropped = 0;
    uint64_t _droppedReported = 0;
    // The time of the last periodic send; the epoch at first, so the first check sends.
    std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds> _lastSend{};
    boost::signals2::signal<void()> _sendingEventsSignal;
    std::atomic<bool> _stopped{false};
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
    boost::signals2::scoped_connection _errorConnection;
};

}  // namespace common
