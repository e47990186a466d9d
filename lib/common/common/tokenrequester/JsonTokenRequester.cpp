#include "common/tokenrequester/JsonTokenRequester.h"

#include <boost/regex.hpp>
#include <utility>

#include "common/tokenrequester/QueryErrorName.h"
#include "foundation/extension/IEnvironment.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/INetworkFactory.h"
#include "foundation/persistence/JsonSerialization.h"

namespace common {

namespace {

constexpr const char* kTokenPath = "Unattended/api/RequestVarnexToken";
constexpr std::size_t kMaxTokenLength = 1000;

int nextQueryId() {
    static int nextId = 0;
    return nextId++;
}

}  // namespace

JsonTokenRequester::JsonTokenRequester(std::weak_ptr<extension::IEnvironment> environment,
                                       const IQtPlatform& qtPlatform, IParams& params,
                                       std::unique_ptr<ILogger> logger)
    : _environment(std::move(environment)),
      _params(params),
      _logger(std::move(logger)),
      _qtPlatform(qtPlatform) {}

JsonTokenRequester::~JsonTokenRequester() {
    _runningQueries.clear();
}

bool JsonTokenRequester::isValidBaseUrl(const std::string& baseUrl) {
    static const boost::regex kBaseUrl("(wss|http|https)://(\\w|\\.|-)+(/){0,1}",
                                       boost::regex::perl);
    return boost::regex_match(baseUrl, kBaseUrl);
}

bool JsonTokenRequester::validateToken(const std::string& token, const ILogger& logger) {
    if (token.size() > kMaxTokenLength) {
        logger.error(
            "Token used for auth has invalid size while requesting Monitoring Url and Token");
        return false;
    }
    static const boost::regex kToken("([A-Za-z0-9=\\._\\-])+", boost::regex::perl);
    if (!boost::regex_match(token, kToken)) {
        logger.error(
            "Token used for auth has invalid characters while requesting Monitoring Url and "
            "Token");
        return false;
    }
    return true;
}

void JsonTokenRequester::requestToken(ResultFunction&& result) {
    TokenRequest request;
    request.SessionType = _params.getValue("SessionType", "");
    const std::string baseUrl = _params.getValue("BaseUrl", "");
    if (baseUrl.empty()) {
        _logger->error("backend Url missing for requesting Monitoring Url and Token");
        result(Failed, "", "");
        return;
    }
    if (!isValidBaseUrl(baseUrl)) {
        _logger->error(
            "backend Url (%s) has invalid characters while requesting Monitoring Url and Token",
            baseUrl.c_str());
        result(Failed, "", "");
        return;
    }

    const std::string monitoringToken = _params.getValue("MonitoringToken", "");
    const std::string deviceToken = _params.getValue("DeviceToken", "");
    std::string token;
    if (!monitoringToken.empty()) {
        token = monitoringToken;
        request.MonitoringToken = monitoringToken;
    } else if (!deviceToken.empty()) {
        token = deviceToken;
        request.DeviceToken = deviceToken;
    } else {
        _logger->error(
            "Cannot request Monitoring Url and Token as no token is available for "
            "authentication!");
        result(NoToken, "", "");
        return;
    }
    if (!validateToken(token, *_logger)) {
        result(Failed, "", "");
        return;
    }

    std::string body;
    if (!persistence::json_serialize(request, body)) {
        result(Failed, "", "");
        return;
    }
    const std::string target = baseUrl + "/" + kTokenPath;
    if (_params.getValueAs<bool>("UseLegacyNetworking", false)) {
        requestOverLegacy(target, body, std::move(result));
    } else {
        requestOverQt(target, body, std::move(result));
    }
}

void JsonTokenRequester::requestOverQt(const std::string& target, const std::string& body,
                                       ResultFunction&& result) {
    const int queryId = nextQueryId();
    IQtPlatform::HttpQueryPtr query = _qtPlatform.createQuery();
    if (!query) {
        _logger->error("Requesting url and token for Monitoring failed, no query available");
        result(Failed, "", "");
        return;
    }
    query->setOperation(IHttpQuery::Get);
    query->setContentType("application/json");
    query->setBody(body);
    query->setUrl(target);

    auto shared = std::make_shared<ResultFunction>(std::move(result));
    query->setErrorHandler([this, shared](IHttpQuery::Error error) {
        (*shared)(error == IHttpQuery::ContentAccessDenied ? Rejected : Failed, "", "");
        _logger->error(
            "Requesting url and token for Monitoring failed, with the following error: %s",
            queryErrorName(error).c_str());
    });
    query->setFinishedHandler([this, shared, queryId](bool success) {
        if (success) {
            const auto running = _runningQueries.find(queryId);
            TokenRequestResponse response;
            if (running != _runningQueries.end() &&
                persistence::json_deserialize(running->second->getStringResponse(), response)) {
                (*shared)(Success, response.MonitoringUrl, response.MonitoringToken);
            } else {
                (*shared)(Failed, "", "");
            }
        }
        _runningQueries.erase(queryId);
    });
    IHttpQuery& started = *query;
    _runningQueries[queryId] = std::move(query);
    started.execute();
}

void JsonTokenRequester::requestOverLegacy(const std::string& target, const std::string& body,
                                           ResultFunction&& result) {
    const auto environment = _environment.lock();
    if (!environment) {
        _logger->error("Couldn't lock environment to request new json token.");
        return;
    }
    const auto factory = environment->GetNetworkFactory();
    auto connection = factory ? factory->CreateHTTPConnection() : nullptr;
    if (!connection) {
        _logger->error("Couldn't lock environment to request new json token.");
        return;
    }
    auto request = connection->CreateRequest();
    request->SetMethod("GET");
    request->SetContentType("application/json");
    request->SetBody(core::NonInitializingBuffer<unsigned char>(
        reinterpret_cast<const unsigned char*>(body.data()), body.size()));
    std::weak_ptr<bool> alive = _alive;
    connection->SubmitRequest(
        target, std::move(request),
        [this, alive, result = std::move(result)](
            network::HTTPStatusCode status, std::unique_ptr<network::IHTTPResponse> response) {
            if (!alive.lock()) {
                return;
            }
            if (status == 201 && response) {
                const auto bytes = response->FetchBody();
                TokenRequestResponse answer;
                if (persistence::json_deserialize(
                        std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                        answer)) {
                    result(Success, answer.MonitoringUrl, answer.MonitoringToken);
                } else {
                    result(Failed, "", "");
                }
                return;
            }
            result(status == 403 ? Rejected : Failed, "", "");
            _logger->error(
                "Requesting url and token for Monitoring failed, with the following status "
                "code: %d",
                static_cast<int>(status));
        });
}

}  // namespace common
