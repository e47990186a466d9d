#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "common/logger/ILoggerSink.h"

namespace common {

// The process-wide logger. Facades made by ILogger::create queue records here; one writer
// thread, started by init, hands them to the registered sinks at least every 50 ms.
class Logger : public ILogger {
public:
    enum class LoggerEvent : int {
        NoEvent = 0,
        Wake = 1,  // the queue is filling up: write now
        Stop = 2,
    };

    // The most records the queue holds: beyond this the oldest are dropped and counted (which
    // happens only while no writer takes them, before init and after stop; a running writer
    // is woken as soon as half of it is used).
    static constexpr std::size_t kMaxQueuedRecords = 100000;
    // How long the writer waits between passes over the queue.
    static constexpr int kWriterPeriodMs = 50;

    explicit Logger(const std::string& name);
    ~Logger() override;

    Level getLevel() const override;
    void log(const Level& level, const std::string& facility, const std::string& message,
             const std::string& tag) const override;

    // Sets the global level and the program name, makes the calling thread the main thread,
    // discards queued records and starts the writer thread when none runs.
    static void init(const std::string& application, const Level& level);
    // Registers a sink (replacing the first one of the same name when `replace` is true) and
    // calls its writeNewLine.
    static void addSink(std::shared_ptr<ILoggerSink> sink, bool replace);
    // Writes what is queued, ends the writer thread, flushes and releases every sink.
    static void stop();

    // Records dropped because the queue was full, since the process started.
    static uint64_t droppedRecords();

private:
    static void thread();
};

}  // namespace common
