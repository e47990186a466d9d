#pragma once

#include <map>
#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/tokenrequester/IJsonTokenRequester.h"
#include "foundation/persistence/MemberVariable.h"
#include "qtplatform/IQtPlatform.h"

namespace extension {
class IEnvironment;
}

namespace common {

// Requests the monitoring URL and token from "<BaseUrl>/Unattended/api/RequestVarnexToken"
// with a GET that carries a JSON body, authenticated by the stored monitoring token or, when
// there is none, the device token. Runs through the Qt HTTP query, or the foundation HTTP
// client when "UseLegacyNetworking" is set. Called on the main thread.
class JsonTokenRequester : public IJsonTokenRequester {
public:
    struct TokenRequest {
        std::string SessionType;
        std::string DeviceToken;
        std::string MonitoringToken;

        template <class Archive>
        void Persist(Archive& archive) {
            archive& persistence::make_member_variable("SessionType", SessionType) &
                persistence::make_member_variable("DeviceToken", DeviceToken) &
                persistence::make_member_variable("MonitoringToken", MonitoringToken);
        }
    };

    struct TokenRequestResponse {
        std::string MonitoringUrl;
        std::string MonitoringToken;

        template <class Archive>
        void Persist(Archive& archive) {
            archive& persistence::make_member_variable("MonitoringUrl", MonitoringUrl) &
                persistence::make_member_variable("MonitoringToken", MonitoringToken);
        }
    };

    // `environment` is the foundation event-loop environment (held weakly, locked per request).
    JsonTokenRequester(std::weak_ptr<extension::IEnvironment> environment,
                       const IQtPlatform& qtPlatform, IParams& params,
                       std::unique_ptr<ILogger> logger);
    // Drops the queries in flight: their results never arrive.
    ~JsonTokenRequester() override;

    JsonTokenRequester(const JsonTokenRequester&) = delete;
    JsonTokenRequester& operator=(const JsonTokenRequester&) = delete;

    void requestToken(ResultFunction&& result) override;

    // The base URL check: scheme wss, http or https, "://", a host of word characters, dots
    // and hyphens, and at most one final "/".
    static bool isValidBaseUrl(const std::string& baseUrl);
    // The token check, with its error line written to `logger`.
    static bool validateToken(const std::string& token, const ILogger& logger);

private:
    void requestOverQt(const std::string& target, const std::string& body, ResultFunction&& result);
    void requestOverLegacy(const std::string& target, const std::string& body,
                           ResultFunction&& result);

    std::weak_ptr<extension::IEnvironment> _environment;
    IParams& _params;
    std::unique_ptr<ILogger> _logger;
    const IQtPlatform& _qtPlatform;
    std::map<int, IQtPlatform::HttpQueryPtr> _runningQueries;
    // Completions of the foundation client check it, so none reaches a destroyed requester.
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace common
