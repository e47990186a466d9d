#include "common/loggerbuilder/LoggerBuilder.h"

#include <boost/filesystem/path.hpp>
#include <utility>

#include "common/jsonsink/ForwardedLogRecord.h"
#include "common/jsonsink/JsonSink.h"
#include "common/logger/Logger.h"
#include "common/logsinks/FileSink.h"
#include "common/logsinks/QtLoggingSink.h"
#include "common/util/Util.h"
#include "foundation/extension/IEnvironment.h"
#include "foundation/network/INetworkFactory.h"
#include "interprocess/datalink/IDataLink.h"

namespace common {

namespace {

constexpr unsigned long kLogFileRotationSize = 0x100000;
constexpr unsigned kDefaultLogLevel = ILogger::Info;

}  // namespace

LoggerBuilder::LoggerBuilder(const std::string& applicationName, IParams& params)
    : _params(params) {
    const unsigned level = params.getValueAs<unsigned>("LogLevel", kDefaultLogLevel);
    params.setValue("LogLevel", std::to_string(level));
    Logger::init(applicationName, static_cast<ILogger::Level>(level));
}

bool LoggerBuilder::addFileSink(const std::string& programPath, const std::wstring& suffix) {
    const boost::filesystem::path writePath = util::getUserWritePath();
    if (writePath.empty()) {
        ILogger::create("LoggerBuilder")
            ->error("No folder for the log file of %s", programPath.c_str());
        return false;
    }
    std::string name = boost::filesystem::path(programPath).stem().string();
    if (!suffix.empty()) {
        name += "." + util::toString(suffix);
    }
    name += ".log";
    Logger::addSink(std::make_shared<FileSink>(writePath / name, kLogFileRotationSize), true);
    return true;
}

void LoggerBuilder::createEventBlockSender(std::string component,
                                           std::shared_ptr<ITaskScheduler> scheduler,
                                           extension::IEnvironment* environment,
                                           const IQtPlatform& qtPlatform,
                                           std::unique_ptr<IJsonTokenRequester> tokenRequester) {
    std::shared_ptr<network::INetworkFactory> factory =
        environment != nullptr ? environment->GetNetworkFactory() : nullptr;
    _eventBlockSender = std::make_shared<EventBlockSender>(
        std::move(component), std::move(factory), scheduler->getTaskQueue("EventBlockSender"),
        _params, ILogger::create("EventBlockSender"), std::move(tokenRequester), qtPlatform);
}

void LoggerBuilder::addSinkForQtPlatform(IQtPlatform& qtPlatform) {
    qtPlatform.setQtLoggingSink(std::make_unique<QtLoggingSink>());
}

void LoggerBuilder::addJsonSink(std::shared_ptr<ITaskScheduler> scheduler) {
    if (!_eventBlockSender) {
        return;
    }
    auto queue = scheduler->getTaskQueue("JsonSink");
    const std::string instanceId = _params.getValue("InstanceId", "");
    const std::string sessionId = _params.getValue("SessionId", "");
    auto dataLink = interprocess::IDataLink::create(instanceId, ForwardedLogRecord::kParticipant);
    Logger::addSink(std::make_shared<JsonSink>(std::move(queue), std::move(dataLink),
                                               _eventBlockSender, sessionId),
                    true);
}

std::shared_ptr<metrics::MetricsCollector> LoggerBuilder::createMetricsCollector(
    std::shared_ptr<ITaskScheduler> scheduler) {
    if (!_eventBlockSender) {
        return nullptr;
    }
    return std::make_shared<metrics::MetricsCollector>(scheduler->getTaskQueue("MetricsCollector"),
                                                       _eventBlockSender);
}

void LoggerBuilder::setErrorHandlerForEventBlockSender(
    const IEventBlockSenderErrorHandler* handler) {
    if (_eventBlockSender) {
        _eventBlockSender->setErrorHandler(handler);
    }
}

}  // namespace common
