#include "unattended/updatecontroller/UpdateController.h"

#include "common/downloader/IDownloader.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/util/Util.h"
#include "platform/archive/Unzip.h"
#include "platform/archive/ZipArchiveCheck.h"

namespace fs = boost::filesystem;

namespace corvalis {
namespace unattended {

std::unique_ptr<IUpdateController> IUpdateController::create(
    std::unique_ptr<common::ITaskQueue> taskQueue, std::unique_ptr<common::IDownloader> downloader,
    std::unique_ptr<common::ILogger> logger) {
    return std::make_unique<UpdateController>(std::move(taskQueue), std::move(downloader),
                                              std::move(logger));
}

UpdateController::UpdateController(std::unique_ptr<common::ITaskQueue> taskQueue,
                                   std::unique_ptr<common::IDownloader> downloader,
                                   std::unique_ptr<common::ILogger> logger, fs::path mainPath)
    : _taskQueue(std::move(taskQueue)),
      _logger(std::move(logger)),
      _downloader(std::move(downloader)),
      _mainPath(mainPath.empty() ? common::util::getApplicationMainPath() : std::move(mainPath)) {}

UpdateController::~UpdateController() {
    *_alive = false;
    _downloader.reset();
}

void UpdateController::downloadAndInstallUpdate(
    const std::string& url, const std::wstring& /*serviceName*/,
    std::function<void(bool, const std::string&)> done) {
    const fs::path target = _mainPath;
    std::weak_ptr<bool> alive = _alive;
    _downloader->download(
        url, target,
        [alive, target, done](bool ok, const fs::path& archive) {
            if (alive.expired()) {
                return;
            }
            if (!ok || archive.empty()) {
                done(false, "Failed to download unattended installer");
                return;
            }
            const std::string arguments = "'" + archive.string() + "' -d '" + target.string() + "'";
            // Nothing from the archive may land outside the program folder.
            const std::string refused = standin::ZipArchiveCheck::check(archive);
            if (!refused.empty()) {
                done(false, arguments + " refused: " + refused);
                return;
            }
            const int tested = standin::Unzip::test(archive);
            if (tested != 0) {
                done(false, arguments + " test failed with exit code: " + std::to_string(tested));
                return;
            }
            const int unpacked = standin::Unzip::extract(archive, target);
            if (unpacked != 0) {
                done(false, arguments + " failed with exit code: " + std::to_string(unpacked));
                return;
            }
            done(true, std::string());
        },
        0);
}

}  // namespace unattended
}  // namespace corvalis
