#pragma once

#include <memory>
#include <string>

#include "common/collectors/MetricsCollector.h"
#include "common/eventsender/EventBlockSender.h"
#include "common/eventsender/IEventBlockSenderErrorHandler.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "common/tokenrequester/IJsonTokenRequester.h"
#include "qtplatform/IQtPlatform.h"

namespace extension {
class IEnvironment;
}

namespace common {

// Assembles a program's logging and telemetry from its parameters: the global log level, the
// log file, the Qt platform's logging sink, the shared event-block sender, the JSON sink and
// the metrics collector.
class LoggerBuilder {
public:
    // Reads "LogLevel" (default 2, Info), writes the value back as decimal text and starts the
    // process logger with the application name and that level.
    LoggerBuilder(const std::string& applicationName, IParams& params);

    // Adds (replacing one of the same name) the file sink "<stem>[.<suffix>].log" in the user
    // write path, where the stem is the program path's last component without extension; the
    // file rotates at 1 MiB. False, with an error, when the user write path is not available.
    static bool addFileSink(const std::string& programPath, const std::wstring& suffix);

    // Creates the shared sender on the queue "EventBlockSender", with the environment's network
    // factory (none when the environment is null), replacing one made before.
    void createEventBlockSender(std::string component, std::shared_ptr<ITaskScheduler> scheduler,
                                extension::IEnvironment* environment, const IQtPlatform& qtPlatform,
                                std::unique_ptr<IJsonTokenRequester> tokenRequester);

    // Gives the Qt platform a logging sink of the logger.
    static void addSinkForQtPlatform(IQtPlatform& qtPlatform);

    // Adds the JSON sink (queue "JsonSink", data link "<InstanceId>_jsonsink") to the logger;
    // nothing without a sender.
    void addJsonSink(std::shared_ptr<ITaskScheduler> scheduler);

    // A metrics collector on the queue "MetricsCollector"; empty without a sender.
    std::shared_ptr<metrics::MetricsCollector> createMetricsCollector(
        std::shared_ptr<ITaskScheduler> scheduler);

    // Passes the handler (or null) to the sender; needs createEventBlockSender first.
    void setErrorHandlerForEventBlockSender(const IEventBlockSenderErrorHandler* handler);

    const std::shared_ptr<EventBlockSender>& getEventBlockSender() const {
        return _eventBlockSender;
    }

private:
    IParams& _params;
    std::shared_ptr<EventBlockSender> _eventBlockSender;
};

}  // namespace common
