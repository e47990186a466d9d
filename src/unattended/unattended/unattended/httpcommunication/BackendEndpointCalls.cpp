#include "unattended/httpcommunication/BackendEndpointCalls.h"

#include "common/downloader/Downloader.h"
#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/util/Util.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/INetworkFactory.h"
#include "foundation/network/URL.h"
#include "foundation/persistence/JsonSerialization.h"
#include "interprocess/controller/IIpcController.h"
#include "unattended/ipcmessages/UnattendedIpcMessage.h"
#include "unattended/version/DaemonVersion.h"

namespace corvalis {
namespace unattended {

namespace {

const char kAppletPath[] = "Unattended/api/v1/GetAppletDownloadParam";
const char kUpdatePath[] = "Unattended/api/v1/GetUnattendedUpdateParam";
const char kPlatform[] = "mac";

}  // namespace

BackendEndpointCalls::BackendEndpointCalls(
    std::string baseUrl, std::shared_ptr<extension::EventLoopEnvironment> environment,
    const IQtPlatform& qtPlatform, common::IParams& params,
    interprocess::IIpcController& ipcController, std::unique_ptr<common::ILogger> logger)
    : _baseUrl(std::move(baseUrl)),
      _environment(std::move(environment)),
      _ipcController(ipcController),
      _logger(std::move(logger)),
      _qtPlatform(qtPlatform),
      _params(params) {
    if (_environment) {
        if (auto factory = _environment->GetNetworkFactory()) {
            _connection = factory->CreateHTTPConnection();
        }
    }
    if (_connection) {
        _connection->SetKeepAlive(false);
    }
    _ipcController.subscribe(this);
}

BackendEndpointCalls::~BackendEndpointCalls() {
    *_alive = false;
    if (_connection) {
        _connection->Close();
        _connection.reset();
    }
    _ipcController.unsubscribe(this);
    _queries.clear();
}

std::string BackendEndpointCalls::appletDownloadParamUrl(const std::string& pinCode) const {
    std::string url = _baseUrl + "/" + kAppletPath + "?";
    if (!pinCode.empty()) {
        // The PIN is typed by a person: encode it, so that "&" or "#" stay inside the value.
        url += "pincode=" + network::EncodeURL(pinCode) + "&";
    }
    return url + "platform=" + kPlatform;
}

std::string BackendEndpointCalls::unattendedUpdateParamUrl() const {
    return _baseUrl + "/" + kUpdatePath + "?version=" + kDaemonVersion + "&platform=" + kPlatform;
}

bool BackendEndpointCalls::requestAppletDownloadParam(
    const std::string& pinCode, std::function<void(bool, const DownloadApplet&)> done) {
    if (_baseUrl.empty()) {
        _logger->error("request url is empty");
        return false;
    }
    get(
        appletDownloadParamUrl(pinCode), false,
        [this, done](const std::string& text) { handleAppletResponse(text, done); },
        [done] { done(false, DownloadApplet()); });
    return true;
}

bool BackendEndpointCalls::requestUnattendedUpdateParams(
    std::function<void(bool, const UpdateYourself&)> done) {
    if (_baseUrl.empty()) {
        _logger->error("request url is empty");
        return false;
    }
    get(
        unattendedUpdateParamUrl(), true,
        [this, done](const std::string& text) { handleUpdateResponse(text, done); },
        [done] { done(false, UpdateYourself()); });
    return true;
}

void BackendEndpointCalls::get(const std::string& url, bool updateCall,
                               std::function<void(const std::string&)> onText,
                               std::function<void()> onFailure) {
    std::weak_ptr<bool> alive = _alive;
    if (_params.getValueAs<bool>("UseLegacyNetworking", false)) {
        if (!_connection) {
            _logger->error("Request failed with for url %s. status code: %u:", url.c_str(), 0u);
            onFailure();
            return;
        }
        auto request = _connection->CreateRequest();
        request->SetMethod("GET");
        _connection->SubmitRequest(
            url, std::move(request),
            [this, alive, url, onText, onFailure](network::HTTPStatusCode status,
                                                  std::unique_ptr<network::IHTTPResponse> response) {
                if (alive.expired()) {
                    return;
                }
                if (status == 200 && response) {
                    const auto body = response->FetchBody();
                    onText(std::string(body.begin(), body.end()));
                    return;
                }
                if (status == 407) {
                    _logger->warning("Proxy authentication needed for url: %s", url.c_str());
                    requestProxyCredentials(url);
                    onFailure();
                    return;
                }
                _logger->error("Request failed with for url %s. status code: %u:", url.c_str(),
                               static_cast<unsigned>(status));
                onFailure();
            });
        return;
    }
    const int number = _requestCounter++;
    auto query = _qtPlatform.createQuery();
    query->setOperation(IHttpQuery::Get);
    query->setUrl(url);
    query->setErrorHandler([this, alive, url, updateCall, onFailure](IHttpQuery::Error error) {
        if (alive.expired()) {
            return;
        }
        const std::string name = common::Downloader::toString(error);
        if (updateCall) {
            _logger->error("Request failed with for url %s. Error: %s:", url.c_str(), name.c_str());
        } else {
            _logger->error("Request failed with for url %s. error: %s:", url.c_str(), name.c_str());
        }
        onFailure();
    });
    query->setFinishedHandler([this, alive, number, onText](bool finished) {
        if (alive.expired()) {
            return;
        }
        const auto it = _queries.find(number);
        if (finished && it != _queries.end()) {
            const std::string text = it->second->getStringResponse();
            onText(text);
        }
        _queries.erase(number);
    });
    IHttpQuery* raw = query.get();
    _queries.emplace(number, std::move(query));
    raw->execute();
}

void BackendEndpointCalls::handleAppletResponse(
    const std::string& text, const std::function<void(bool, const DownloadApplet&)>& done) {
    DownloadApplet record;
    if (text.empty() || !persistence::json_deserialize(text, record)) {
        _logger->error("RequestAppletDownloadParam failed with bad response: '%s'", text.c_str());
        done(false, record);
        return;
    }
    done(true, record);
}

void BackendEndpointCalls::handleUpdateResponse(
    const std::string& text, const std::function<void(bool, const UpdateYourself&)>& done) {
    UpdateYourself record;
    if (text.empty()) {
        _logger->info("Shell version is up to date.");
        done(true, record);
        return;
    }
    if (!persistence::json_deserialize(text, record)) {
        _logger->error("requestUnattendedUpdateParams failed with bad response: '%s'",
                       text.c_str());
        done(false, record);
        return;
    }
    _logger->info("Update for Unattended component is needed! Current version is: %s. New "
                  "version: %s.",
                  kDaemonVersion, record.NewVersion.c_str());
    done(true, record);
}

void BackendEndpointCalls::requestProxyCredentials(const std::string& url) {
    _logger->info("Proxy authentication requested.");
    auto factory = _environment ? _environment->GetNetworkFactory() : nullptr;
    auto connectivity = factory ? factory->GetNetworkConnectivity() : nullptr;
    if (!connectivity) {
        return;
    }
    const network::URL proxy = connectivity->GetProxyForURL(url);
    ipcmessages::ProxyPasswordRequest request;
    request.description = proxy.host + " : " + std::to_string(proxy.port);
    _ipcController.send(helper::ApplicationType::UnattendedUi,
                        UnattendedIpcMessage::ToString(request));
}

void BackendEndpointCalls::onIpcClientMessageReceived(
    const helper::ApplicationType& /*application*/, const std::string& json) {
    UnattendedIpcMessage::FromString(json).Handle<ipcmessages::ProxyPasswordResponse>(
        [this](const ipcmessages::ProxyPasswordResponse& response) {
            _logger->info("Proxy credentials arrived, adding them to environment.");
            auto factory = _environment ? _environment->GetNetworkFactory() : nullptr;
            auto connectivity = factory ? factory->GetNetworkConnectivity() : nullptr;
            if (connectivity) {
                connectivity->SetProxyCredentials(common::util::toString(response.username),
                                                  common::util::toString(response.password));
            }
        });
}

}  // namespace unattended
}  // namespace corvalis
