#include "common/logger/Logger.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <list>
#include <mutex>
#include <thread>
#include <utility>

#include "common/logger/Condition.h"

namespace common {

namespace {

// A queued record; its secrets are masked once some sink is to receive it, so a record that
// no sink takes costs no masking.
struct QueuedRecord {
    ILoggerSink::Record record;
    bool masked = false;
};

// The state shared by every facade of the process. It is never destroyed, so records may be
// logged from static destructors and a writer thread left running at exit finds it intact.
struct LoggerState {
    std::atomic<uint32_t> _maxLevel{ILogger::Info};
    unsigned long _maxFacilityLength = 23;
    bool _hasMainThread = false;
    pthread_t _mainThreadId{};
    std::string _application;
    std::deque<QueuedRecord> _entries;
    std::list<std::shared_ptr<ILoggerSink>> _sinks;
    std::unique_ptr<std::thread> _thread;
    Condition<Logger::LoggerEvent> _event;
    // Set by stop; a wake-up signalled after the stop event cannot hide it from the writer.
    std::atomic<bool> _stopRequested{false};
    std::recursive_mutex _mutex;
    uint64_t _dropped = 0;
    // Serialises init and stop, which start and join the writer outside `_mutex`.
    std::mutex _lifecycleMutex;
};

// Set on the writer thread, so that a sink that stops the logger does not wait for itself.
thread_local bool tIsWriterThread = false;

LoggerState& state() {
    static LoggerState* const instance = new LoggerState();
    return *instance;
}

// Whether a record of `level` passes a sink: the sink's threshold is the lower of its own level
// (the global level when unset) and the global level.
uint32_t threshold(const ILoggerSink& sink, uint32_t globalLevel) {
    const uint32_t own = sink.getLevel() ? static_cast<uint32_t>(*sink.getLevel()) : globalLevel;
    return std::min(own, globalLevel);
}

bool passes(const ILoggerSink& sink, uint32_t recordLevel, uint32_t globalLevel) {
    return recordLevel >= threshold(sink, globalLevel);
}

// Masks every secret of the message as it stands. Should its log-line form (backslashes
// removed) still open a secret, because the escaping around it is uneven, that form is masked
// and kept instead, so that no sink receives a secret the log line would hide.
std::string maskSecrets(const std::string& message) {
    std::string text = ILoggerSink::Record::asteriskSensitiveMessage(message);
    if (text.find("sensitive") == std::string::npos) {
        return text;
    }
    const std::string lineForm = ILoggerSink::Record::replaceEscapeCharachers(text);
    std::string maskedLineForm = ILoggerSink::Record::asteriskSensitiveMessage(lineForm);
    if (maskedLineForm != lineForm) {
        return maskedLineForm;
    }
    return text;
}

// Calls into a sink. A sink that throws loses that record (or call) and nothing more: the
// exception must neither end the writer thread (and the process with it) nor reach a caller.
template <typename Call>
void callSink(const Call& call) {
    try {
        call();
    } catch (...) {
    }
}

}  // namespace

Logger::Logger(const std::string& name) : ILogger(name) {}

Logger::~Logger() = default;

ILogger::Level Logger::getLevel() const {
    return static_cast<Level>(state()._maxLevel.load());
}

void Logger::log(const Level& level, const std::string& facility, const std::string& message,
                 const std::string& tag) const {
    LoggerState& s = state();
    const pthread_t self = pthread_self();
    const auto now =
        std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
    // The text ends at an embedded zero byte and is cut like the printf-style helpers' text;
    // the writer masks its secrets before any sink sees it.
    std::string text(message.c_str(), std::min(std::strlen(message.c_str()), kMaxMessageLength));
    thread_local const std::string tThreadId = ILoggerSink::Record::threadIdText(self);

    std::lock_guard<std::recursive_mutex> lock(s._mutex);
    if (s._entries.size() >= kMaxQueuedRecords) {
        s._entries.pop_front();
        ++s._dropped;
    }
    // Filled in place: the same values as the record constructor gives, without formatting the
    // thread id again or copying the message once more.
    ILoggerSink::Record& record = s._entries.emplace_back().record;
    record._app = s._application;
    record._time = now;
    record._epochMillis = static_cast<uint64_t>(now.time_since_epoch().count() / 1000);
    record._threadId = tThreadId;
    record._isMainThread = s._hasMainThread && pthread_equal(self, s._mainThreadId) != 0;
    record._level = level;
    record._facility = facility;
    record._message = std::move(text);
    record._tag = tag;
    // A burst that fills half the queue wakes the writer early rather than losing records.
    if (s._entries.size() == kMaxQueuedRecords / 2 && s._thread) {
        s._event.set(LoggerEvent::Wake);
    }
}

void Logger::init(const std::string& application, const Level& level) {
    LoggerState& s = state();
    std::lock_guard<std::mutex> lifecycle(s._lifecycleMutex);
    if (!tIsWriterThread) {
        // A writer that a sink stopped ends after its pass: it is joined here, so that a new
        // one starts below instead of records piling up unwritten.
        std::unique_ptr<std::thread> ended;
        {
            std::lock_guard<std::recursive_mutex> lock(s._mutex);
            if (s._thread && s._stopRequested) {
                ended = std::move(s._thread);
            }
        }
        if (ended) {
            ended->join();
        }
    }
    std::lock_guard<std::recursive_mutex> lock(s._mutex);
    s._maxLevel = level;
    s._mainThreadId = pthread_self();
    s._hasMainThread = true;
    s._application = application;
    s._maxFacilityLength = 23;
    s._entries.clear();
    if (!s._thread) {
        s._stopRequested = false;
        s._thread = std::make_unique<std::thread>(&Logger::thread);
    }
}

void Logger::addSink(std::shared_ptr<ILoggerSink> sink, bool replace) {
    if (!sink) {
        return;
    }
    LoggerState& s = state();
    std::lock_guard<std::recursive_mutex> lock(s._mutex);
    if (replace) {
        const auto same = std::find_if(s._sinks.begin(), s._sinks.end(),
                                       [&sink](const std::shared_ptr<ILoggerSink>& registered) {
                                           return registered->getName() == sink->getName();
                                       });
        if (same != s._sinks.end()) {
            s._sinks.erase(same);
        }
    }
    s._sinks.push_back(sink);
    callSink([&sink] { sink->writeNewLine(); });
}

void Logger::stop() {
    LoggerState& s = state();
    if (tIsWriterThread) {
        // Called by a sink: the writer ends after this pass; a later stop joins it and
        // flushes the sinks.
        s._stopRequested = true;
        s._event.set(LoggerEvent::Stop);
        return;
    }
    std::lock_guard<std::mutex> lifecycle(s._lifecycleMutex);
    std::unique_ptr<std::thread> writer;
    {
        std::lock_guard<std::recursive_mutex> lock(s._mutex);
        writer = std::move(s._thread);
    }
    if (writer) {
        s._stopRequested = true;
        s._event.set(LoggerEvent::Stop);
        writer->join();
    }
    std::list<std::shared_ptr<ILoggerSink>> sinks;
    {
        std::lock_guard<std::recursive_mutex> lock(s._mutex);
        sinks.swap(s._sinks);
    }
    for (const auto& sink : sinks) {
        callSink([&sink] { sink->flush(); });
    }
}

uint64_t Logger::droppedRecords() {
    LoggerState& s = state();
    std::lock_guard<std::recursive_mutex> lock(s._mutex);
    return s._dropped;
}

void Logger::thread() {
    LoggerState& s = state();
    tIsWriterThread = true;
    for (;;) {
        LoggerEvent event = LoggerEvent::NoEvent;
        const bool signalled = s._event.wait(std::chrono::milliseconds(kWriterPeriodMs), event);
        // Seen before the queue is taken, so everything logged before stop() is written.
        const bool stopping = (signalled && event == LoggerEvent::Stop) || s._stopRequested;

        std::deque<QueuedRecord> batch;
        uint32_t lowestThreshold = std::numeric_limits<uint32_t>::max();
        bool anySink = false;
        {
            std::lock_guard<std::recursive_mutex> lock(s._mutex);
            batch.swap(s._entries);
            const uint32_t globalLevel = s._maxLevel.load();
            for (const auto& sink : s._sinks) {
                lowestThreshold = std::min(lowestThreshold, threshold(*sink, globalLevel));
                anySink = true;
            }
        }
        // Masked without the lock, so that loggers do not wait for it; only records that a
        // sink will take.
        for (auto& queued : batch) {
            if (anySink && static_cast<uint32_t>(queued.record._level) >= lowestThreshold) {
                queued.record._message = maskSecrets(queued.record._message);
                queued.masked = true;
            }
        }
        {
            std::lock_guard<std::recursive_mutex> lock(s._mutex);
            const uint32_t globalLevel = s._maxLevel.load();
            for (auto& queued : batch) {
                for (const auto& sink : s._sinks) {
                    if (passes(*sink, static_cast<uint32_t>(queued.record._level), globalLevel)) {
                        if (!queued.masked) {  // the sinks changed meanwhile
                            queued.record._message = maskSecrets(queued.record._message);
                            queued.masked = true;
                        }
                        callSink([&] { sink->write(queued.record, s._maxFacilityLength); });
                    }
                }
            }
        }
        if (stopping) {
            return;
        }
    }
}

}  // namespace common
