#pragma once

#include <memory>
#include <string>

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

// Starts the support applet: gets its archive and parameters, unpacks it and runs its daemon.
class IAppletController {
public:
    virtual ~IAppletController() = default;

    // The IPC controller is accepted and not used.
    static std::unique_ptr<IAppletController> create(std::unique_ptr<common::ITaskQueue> taskQueue,
                                                     std::unique_ptr<IAppletCache> appletCache,
                                                     interprocess::IIpcController& ipcController,
                                                     common::IParams& params,
                                                     std::unique_ptr<common::ILogger> logger);

    // The fields of a backend `DownloadApplet` record; an absent optional one is empty.
    virtual void startApplet(const std::string& downloadUrl, const std::string& binariesUrl,
                             const std::string& paramsUrl, const std::string& version) = 0;
    // Puts a version of the applet into the cache ahead of time.
    virtual void updateApplet(const std::string& url, const std::string& version) = 0;
};

}  // namespace unattended
}  // namespace corvalis
