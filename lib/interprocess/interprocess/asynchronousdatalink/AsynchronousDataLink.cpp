#include "interprocess/asynchronousdatalink/AsynchronousDataLink.h"

#include <thread>
#include <utility>

namespace interprocess {

constexpr std::chrono::milliseconds AsynchronousDataLink::kPollInterval;
constexpr std::chrono::milliseconds AsynchronousDataLink::kSynchronousSleep;
constexpr std::chrono::nanoseconds AsynchronousDataLink::kSynchronousLimit;

std::shared_ptr<IAsynchronousDataLink> IAsynchronousDataLink::create(
    std::unique_ptr<IDataLink> link, std::unique_ptr<common::ITaskQueue> queue) {
    return std::make_shared<AsynchronousDataLink>(std::move(link), std::move(queue));
}

AsynchronousDataLink::AsynchronousDataLink(std::unique_ptr<IDataLink> link,
                                           std::unique_ptr<common::ITaskQueue> queue,
                                           WaitClock clock)
    : _link(std::move(link)),
      _queue(std::move(queue)),
      _logger(common::ILogger::create("IpcNetwork")),
      _clock(std::move(clock)) {
    if (!_clock.now) {
        _clock.now = [] { return std::chrono::steady_clock::now(); };
    }
    if (!_clock.sleep) {
        _clock.sleep = [](const std::chrono::milliseconds& duration) {
            std::this_thread::sleep_for(duration);
        };
    }
}

AsynchronousDataLink::~AsynchronousDataLink() {
    stop();
    _logger.reset();
    _queue.reset();
    _link.reset();
}

bool AsynchronousDataLink::init() {
    if (!_link || !_link->init(kMaxMessageCount, kMaxMessageSize)) {
        _logger->error("unable to initialize data link");
        return false;
    }
    _running = true;
    if (_queue) {
        _queue->push([this](bool& reschedule, unsigned long) { poll(reschedule); }, kPollInterval,
                     common::ITaskQueue::High);
    }
    return true;
}

void AsynchronousDataLink::poll(bool& reschedule) {
    if (!_running) {
        return;
    }
    // A client may drop the last owner of the link while it is being told.
    const std::shared_ptr<AsynchronousDataLink> keepAlive = weak_from_this().lock();

    // Frames that arrived while a synchronous send waited come first, in their order.
    std::deque<Frame> backlog;
    backlog.swap(_backlog);
    for (const Frame& frame : backlog) {
        deliver(frame);
    }

    Frame frame;
    if (_running && _link &&
        _link->receive(frame.payload, frame.source, frame.channel, frame.synchronous)) {
        if (frame.synchronous && takeAbandonedEcho(frame)) {
            _logger->debug("late echo from '%s' on channel %lu dropped", frame.source.c_str(),
                           frame.channel);
        } else {
            deliver(frame);
        }
    }
    reschedule = _running;
}

void AsynchronousDataLink::deliver(const Frame& frame) {
    const std::string text(frame.payload.begin(), frame.payload.end());
    if (frame.synchronous) {
        notifyClients(
            &IAsynchronousDataLinkClient::onAsynchronousDataLinkSynchronousMessageReceived,
            frame.source, frame.channel, text);
        if (_link) {
            _link->send(frame.source, frame.channel, frame.payload, true);
        }
    } else {
        notifyClients(&IAsynchronousDataLinkClient::onAsynchronousDataLinkMessageReceived,
                      frame.source, frame.channel, text);
    }
}

bool AsynchronousDataLink::takeAbandonedEcho(const Frame& frame) {
    for (auto it = _abandoned.begin(); it != _abandoned.end(); ++it) {
        if (it->source == frame.source && it->channel == frame.channel &&
            it->payload == frame.payload) {
            _abandoned.erase(it);
            return true;
        }
    }
    return false;
}

void AsynchronousDataLink::send(const std::string& participant, const unsigned long& channel,
                                const std::string& text, std::function<void(bool)> callback) {
    if (!_queue) {
        return;
    }
    _queue->push(
        [this, participant, channel, text, callback](bool&, unsigned long) {
            bool result = false;
            if (_link) {
                result = _link->send(participant, channel,
                                     std::vector<signed char>(text.begin(), text.end()), false);
            }
            if (callback) {
                callback(result);
            }
        },
        std::chrono::milliseconds(0), common::ITaskQueue::High);
}

bool AsynchronousDataLink::synchronousSend(const std::string& participant,
                                           const unsigned long& channel, const std::string& text) {
    if (!_link) {
        return false;
    }
    const std::vector<signed char> payload(text.begin(), text.end());
    if (!_link->send(participant, channel, payload, true)) {
        return false;
    }
    const TimePoint start = _clock.now();
    for (;;) {
        Frame frame;
        while (_link->receive(frame.payload, frame.source, frame.channel, frame.synchronous)) {
            if (frame.synchronous && frame.source == participant && frame.channel == channel &&
                frame.payload == payload) {
                return true;
            }
            if (frame.synchronous && takeAbandonedEcho(frame)) {
                _logger->debug("late echo from '%s' on channel %lu dropped", frame.source.c_str(),
                               frame.channel);
            } else if (_backlog.size() >= kMaxBacklog) {
                _logger->warning(
                    "frame from '%s' on channel %lu dropped: too many frames "
                    "during a synchronous send",
                    frame.source.c_str(), frame.channel);
            } else {
                _backlog.push_back(std::move(frame));
            }
            frame = Frame();
        }
        if (_clock.now() - start > kSynchronousLimit) {
            Frame abandoned;
            abandoned.source = participant;
            abandoned.channel = channel;
            abandoned.synchronous = true;
            abandoned.payload = payload;
            _abandoned.push_back(std::move(abandoned));
            if (_abandoned.size() > kMaxAbandoned) {
                _abandoned.pop_front();
            }
            _logger->error("no answer to the synchronous message to '%s' on channel %lu",
                           participant.c_str(), channel);
            return false;
        }
        _clock.sleep(kSynchronousSleep);
    }
}

std::string AsynchronousDataLink::getName() const {
    return _link ? _link->getName() : std::string();
}

bool AsynchronousDataLink::stop() {
    if (isStopped()) {
        return false;
    }
    // The poll ends now (it neither takes another frame nor asks to run again); the sends
    // already queued still run before the last task.
    _running = false;
    if (_queue) {
        _queue->finish(
            [this](bool&, unsigned long) {
                if (_link) {
                    _link->stop();
                }
                _running = false;
            },
            false);
    }
    // Also when the queue could not run its last task (its scheduler is gone).
    if (_link) {
        _link->stop();
    }
    _running = false;
    return markStopped();
}

}  // namespace interprocess
