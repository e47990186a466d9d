#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "interprocess/asynchronousdatalink/IAsynchronousDataLink.h"

namespace interprocess {

class AsynchronousDataLink : public IAsynchronousDataLink,
                             public std::enable_shared_from_this<AsynchronousDataLink> {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Where `synchronousSend` reads the time and how it sleeps between receive attempts.
    // Empty members stand for the steady clock and a real sleep; tests pass their own.
    struct WaitClock {
        std::function<TimePoint()> now;
        std::function<void(const std::chrono::milliseconds&)> sleep;
    };

    static constexpr unsigned long kMaxMessageCount = 100;
    static constexpr unsigned long kMaxMessageSize = 0x4000;
    static constexpr std::chrono::milliseconds kPollInterval{100};
    static constexpr std::chrono::milliseconds kSynchronousSleep{10};
    static constexpr std::chrono::nanoseconds kSynchronousLimit{100999999999LL};
    // Frames that arrive during a synchronous send wait here until the next poll.
    static constexpr std::size_t kMaxBacklog = kMaxMessageCount;
    // Synchronous sends that gave up, whose echo is swallowed when it still arrives.
    static constexpr std::size_t kMaxAbandoned = 16;

    AsynchronousDataLink(std::unique_ptr<IDataLink> link, std::unique_ptr<common::ITaskQueue> queue,
                         WaitClock clock = WaitClock());
    ~AsynchronousDataLink() override;

    bool init() override;
    void send(const std::string& participant, const unsigned long& channel, const std::string& text,
              std::function<void(bool)> callback) override;
    bool synchronousSend(const std::string& participant, const unsigned long& channel,
                         const std::string& text) override;
    std::string getName() const override;
    bool stop() override;

private:
    struct Frame {
        std::string source;
        unsigned long channel = 0;
        bool synchronous = false;
        std::vector<signed char> payload;
    };

    void poll(bool& reschedule);
    void deliver(const Frame& frame);
    bool takeAbandonedEcho(const Frame& frame);

    std::unique_ptr<IDataLink> _link;
    std::unique_ptr<common::ITaskQueue> _queue;
    std::unique_ptr<common::ILogger> _logger;
    bool _running = false;
    WaitClock _clock;
    std::deque<Frame> _backlog;
    std::deque<Frame> _abandoned;
};

}  // namespace interprocess
