#include "interprocess/pm/AbstractLaunchActor.h"

#include <functional>
#include <map>

#include "common/util/Util.h"

namespace interprocess {

AbstractLaunchActor::AbstractLaunchActor(const helper::ApplicationType& application,
                                         common::ILogger& logger, common::IParams& params)
    : _application(application), _logger(logger), _params(params) {}

AbstractLaunchActor::~AbstractLaunchActor() = default;

std::vector<std::wstring> AbstractLaunchActor::getApplicationParams(
    const unsigned long& sessionId, const helper::ApplicationType& application) const {
    using Value = std::function<std::string()>;
    std::map<std::string, Value> keys;
    for (const char* key : {"InstallationId", "InstanceId", "Offline", "LogLevel", "HostId",
                            "MonitoringUrl", "MonitoringToken", "SelectedMonitorId"}) {
        keys[key] = Value();
    }
    keys["ProcessAddress"] = [this, sessionId] {
        return std::string(applicationName()) + "-" + std::to_string(sessionId);
    };
    keys["Lang"] = [this] { return _params.getValue("Lang", std::string()); };
    if (application != helper::ApplicationType::UnattendedUi) {
        keys["DrawMouseCursor"] = [this] {
            return std::string(_params.getValueAs<bool>("DrawMouseCursor", false) ? "1" : "0");
        };
        keys["MinimumFrameTime"] = [this] {
            return _params.getValue("MinimumFrameTime", std::string("30"));
        };
        keys["SessionId"] = Value();
    }

    std::vector<std::wstring> arguments;
    for (const auto& key : keys) {
        if (!key.second && !_params.hasValue(key.first)) {
            continue;
        }
        const std::string value =
            key.second ? key.second() : _params.getValue(key.first, std::string());
        arguments.push_back(common::util::toWideString("-" + key.first));
        arguments.push_back(common::util::toWideString(value));
    }
    return arguments;
}

}  // namespace interprocess
