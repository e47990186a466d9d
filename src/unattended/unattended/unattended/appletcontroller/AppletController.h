#pragma once

#include <boost/filesystem/path.hpp>

#include <functional>
#include <memory>
#include <string>

#include "unattended/appletcontroller/IAppletController.h"

namespace common {
class ILogger;
class IParams;
class ITaskQueue;
}  // namespace common
namespace interprocess {
class IIpcController;
}

namespace corvalis {
namespace unattended {

class IAppletCache;

// Gets the applet from the cache, unpacks it into a fresh folder under /var/tmp, writes its
// params.json and runs the applet's daemon with the safe store's encrypted form and salt.
class AppletController : public IAppletController {
public:
    AppletController(std::unique_ptr<common::ITaskQueue> taskQueue,
                     std::unique_ptr<IAppletCache> appletCache, common::IParams& params,
                     std::unique_ptr<common::ILogger> logger);
    ~AppletController() override;

    void startApplet(const std::string& downloadUrl, const std::string& binariesUrl,
                     const std::string& paramsUrl, const std::string& version) override;
    void updateApplet(const std::string& url, const std::string& version) override;

    // The unpacked bundle, or an empty path on failure.
    boost::filesystem::path ExtractAppletToInstallFolder(const boost::filesystem::path& archive);
    void LaunchApplet(const boost::filesystem::path& bundle);

private:
    void onApplet(const boost::filesystem::path& archive, const std::string& appletParams);

    std::unique_ptr<common::ITaskQueue> _taskQueue;
    std::unique_ptr<IAppletCache> _appletCache;
    common::IParams& _params;
    std::unique_ptr<common::ILogger> _logger;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace unattended
}  // namespace corvalis
