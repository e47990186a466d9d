#pragma once

#include <functional>
#include <memory>
#include <string>

namespace common {
class IDownloader;
class ILogger;
class ITaskQueue;
}  // namespace common

namespace corvalis {
namespace unattended {

// Installs a new version of the daemon's programs from an update archive.
class IUpdateController {
public:
    virtual ~IUpdateController() = default;

    static std::unique_ptr<IUpdateController> create(
        std::unique_ptr<common::ITaskQueue> taskQueue,
        std::unique_ptr<common::IDownloader> downloader, std::unique_ptr<common::ILogger> logger);

    // Returns at once; `done` is called once later with the outcome and, on failure, its text.
    virtual void downloadAndInstallUpdate(const std::string& url, const std::wstring& serviceName,
                                          std::function<void(bool, const std::string&)> done) = 0;
};

}  // namespace unattended
}  // namespace corvalis
