#pragma once

#include <boost/filesystem/path.hpp>

#include <memory>

#include "unattended/updatecontroller/IUpdateController.h"

namespace common {
class IDownloader;
class ILogger;
class ITaskQueue;
}  // namespace common

namespace corvalis {
namespace unattended {

// Downloads an update archive into the application main path, tests it and unpacks it over
// that folder.
class UpdateController : public IUpdateController {
public:
    // `mainPath` empty means the running program's application main path.
    UpdateController(std::unique_ptr<common::ITaskQueue> taskQueue,
                     std::unique_ptr<common::IDownloader> downloader,
                     std::unique_ptr<common::ILogger> logger,
                     boost::filesystem::path mainPath = {});
    ~UpdateController() override;

    void downloadAndInstallUpdate(const std::string& url, const std::wstring& serviceName,
                                  std::function<void(bool, const std::string&)> done) override;

private:
    std::unique_ptr<common::ITaskQueue> _taskQueue;
    std::unique_ptr<common::ILogger> _logger;
    std::unique_ptr<common::IDownloader> _downloader;
    boost::filesystem::path _mainPath;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace unattended
}  // namespace corvalis
