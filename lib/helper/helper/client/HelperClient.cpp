#include "helper/client/HelperClient.h"

#include <unistd.h>

#include <atomic>
#include <boost/filesystem/operations.hpp>
#include <memory>

#include "common/logger/ILogger.h"
#include "common/util/Util.h"
#include "foundation/persistence/JsonSerialization.h"
#include "helper/client/HelperCommand.h"
#include "helper/ipc/HelperClientMessage.h"
#include "helper/ipc/IpcMessageQueue.h"
#include "helper/ipc/RequestLogText.h"
#include "platform/consoleuser/ConsoleUser.h"

namespace helper {

namespace fs = boost::filesystem;

namespace {

std::atomic<long long>& commandTimeLimitMs() {
    static std::atomic<long long> limit{HelperCommand::kDefaultTimeLimit.count()};
    return limit;
}

bool sendMessage(const std::string& helperId, const unsigned long& sessionId,
                 const message::HelperClientMessage& request) {
    std::string text;
    if (!persistence::json_serialize(request, text)) {
        return false;
    }
    return IpcMessageQueue::send(helperId, sessionId, text);
}

}  // namespace

fs::path HelperClient::getHelperToolPath() {
    return common::util::getExecutablePath() / kHelperToolName;
}

std::vector<std::string> HelperClient::getInstallArguments(const std::string& helperId,
                                                           const common::IParams& params) {
    std::vector<std::string> arguments{"-install", "-HelperId", helperId, "-starterpid",
                                       std::to_string(::getpid())};
    for (const char* key :
         {"InstallationId", "HostId", "InstanceId", "MonitoringUrl", "MonitoringToken"}) {
        arguments.push_back(std::string("-") + key);
        arguments.push_back(params.getValue(key, std::string()));
    }
    return arguments;
}

std::vector<std::string> HelperClient::getUninstallArguments(const std::string& helperId,
                                                             const std::string& installationId,
                                                             const std::string& hostId) {
    return {"-uninstall",   "-HelperId", helperId, "-InstallationId",
            installationId, "-HostId",   hostId};
}

void HelperClient::setCommandTimeLimit(std::chrono::milliseconds limit) {
    commandTimeLimitMs() = limit.count();
}

bool HelperClient::runHelperTool(const std::vector<std::string>& arguments) {
    const auto logger = common::ILogger::create("HelperClient");
    const fs::path program = getHelperToolPath();
    boost::system::error_code ec;
    const fs::file_status status = fs::status(program, ec);
    if (ec || !fs::exists(status)) {
        logger->warning("helper tool not found: '%s'", program.string().c_str());
        return false;
    }

    std::vector<std::string> commandLine{program.string()};
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    logger->info("run: %s", RequestLogText::commandLine(commandLine).c_str());

    const auto result = HelperCommand::run(program.string(), arguments,
                                           std::chrono::milliseconds(commandTimeLimitMs().load()));
    if (!result.started) {
        logger->error("unable to run helper tool: '%s'", program.string().c_str());
    } else if (result.timedOut) {
        logger->error("helper tool did not finish in time and was killed");
    } else if (result.status != 0) {
        logger->warning("helper tool finished with status %d", result.status);
    }
    return result.succeeded();
}

bool HelperClient::installHelperService(const std::string& helperId, common::IParams& params) {
    return runHelperTool(getInstallArguments(helperId, params));
}

bool HelperClient::uninstallHelperService(const std::string& helperId,
                                          const std::string& installationId,
                                          const std::string& hostId, bool /*service*/) {
    return runHelperTool(getUninstallArguments(helperId, installationId, hostId));
}

bool HelperClient::sendRequestLaunchApplication(const std::string& helperId,
                                                const unsigned long& sessionId,
                                                const ApplicationType& application,
                                                const std::vector<std::wstring>& arguments,
                                                const bool& /*flag*/, bool /*otherFlag*/,
                                                unsigned long& actualSessionId) {
    // The agent always starts the program in the session of the queue's user.
    actualSessionId = sessionId;
    std::vector<std::string> converted;
    converted.reserve(arguments.size());
    for (const auto& argument : arguments) {
        converted.push_back(common::util::toString(argument));
    }
    message::HelperClientMessage request;
    request.message = message::RequestLaunchApplication{application, std::move(converted)};
    return sendMessage(helperId, sessionId, request);
}

bool HelperClient::sendRequestKillApplication(const std::string& helperId,
                                              const unsigned long& sessionId,
                                              const ApplicationType& application) {
    message::RequestKillApplication kill;
    kill.application = application;
    message::HelperClientMessage request;
    request.message = kill;
    return sendMessage(helperId, sessionId, request);
}

bool HelperClient::isProcessRunnig(const ApplicationType& /*application*/) {
    return true;
}

unsigned int HelperClient::GetActiveUserId() {
    const auto uid = standin::ConsoleUser::uid();
    return uid ? static_cast<unsigned int>(*uid) : kNoConsoleUser;
}

}  // namespace helper
