#pragma once

#include <map>
#include <memory>
#include <string>

#include "qtplatform/IQtPlatform.h"
#include "unattended/httpcommunication/IBackendEndpointCalls.h"

namespace common {
class ILogger;
class IParams;
}  // namespace common
namespace extension {
class EventLoopEnvironment;
}
namespace interprocess {
class IIpcController;
}
namespace network {
class IHTTPConnection;
}

namespace corvalis {
namespace unattended {

// The daemon's REST client, on the Qt path or the foundation HTTP client as
// "UseLegacyNetworking" chooses at each call.
class BackendEndpointCalls : public IBackendEndpointCalls {
public:
    BackendEndpointCalls(std::string baseUrl,
                         std::shared_ptr<extension::EventLoopEnvironment> environment,
                         const IQtPlatform& qtPlatform, common::IParams& params,
                         interprocess::IIpcController& ipcController,
                         std::unique_ptr<common::ILogger> logger);
    ~BackendEndpointCalls() override;

    bool requestAppletDownloadParam(const std::string& pinCode,
                                    std::function<void(bool, const DownloadApplet&)> done) override;
    bool requestUnattendedUpdateParams(
        std::function<void(bool, const UpdateYourself&)> done) override;

    void onIpcClientMessageReceived(const helper::ApplicationType& application,
                                    const std::string& json) override;

    // The addresses of the two calls.
    std::string appletDownloadParamUrl(const std::string& pinCode) const;
    std::string unattendedUpdateParamUrl() const;

private:
    // Runs a GET on the path the parameters choose; `onText` gets the body of a successful
    // answer, `onFailure` is called after the failure has been logged.
    void get(const std::string& url, bool updateCall,
             std::function<void(const std::string&)> onText, std::function<void()> onFailure);
    void requestProxyCredentials(const std::string& url);
    void handleAppletResponse(const std::string& text,
                              const std::function<void(bool, const DownloadApplet&)>& done);
    void handleUpdateResponse(const std::string& text,
                              const std::function<void(bool, const UpdateYourself&)>& done);

    std::string _baseUrl;
    std::shared_ptr<extension::EventLoopEnvironment> _environment;
    std::shared_ptr<network::IHTTPConnection> _connection;
    interprocess::IIpcController& _ipcController;
    std::unique_ptr<common::ILogger> _logger;
    const IQtPlatform& _qtPlatform;
    common::IParams& _params;
    std::map<int, IQtPlatform::HttpQueryPtr> _queries;
    int _requestCounter = 0;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace unattended
}  // namespace corvalis
