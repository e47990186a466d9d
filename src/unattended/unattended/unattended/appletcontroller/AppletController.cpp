#include "unattended/appletcontroller/AppletController.h"

#include <boost/filesystem/operations.hpp>

#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/util/Util.h"
#include "platform/archive/Unzip.h"
#include "platform/archive/ZipArchiveCheck.h"
#include "platform/process/Process.h"
#include "platform/systemroot/SystemRoot.h"
#include "platform/xattr/ExtendedAttributes.h"
#include "unattended/appletcache/IAppletCache.h"

namespace fs = boost::filesystem;

namespace corvalis {
namespace unattended {

namespace {

const char kIdAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
const char kInstallFolderPrefix[] = "/var/tmp/Orvanta Remote Support Applet - ";
const char kBundleName[] = "OrvantaRemoteSupport.app";
const char kAppletDaemon[] = "OrvantaRemoteSupportDaemon";
const char kParamsAttribute[] = "com.orvanta.zintara.params";
// The wait status a shell gives for a command that exited with 1.
const int kExitedWithOne = 1 << 8;

}  // namespace

std::unique_ptr<IAppletController> IAppletController::create(
    std::unique_ptr<common::ITaskQueue> taskQueue, std::unique_ptr<IAppletCache> appletCache,
    interprocess::IIpcController& /*ipcController*/, common::IParams& params,
    std::unique_ptr<common::ILogger> logger) {
    return std::make_unique<AppletController>(std::move(taskQueue), std::move(appletCache), params,
                                              std::move(logger));
}

AppletController::AppletController(std::unique_ptr<common::ITaskQueue> taskQueue,
                                   std::unique_ptr<IAppletCache> appletCache,
                                   common::IParams& params, std::unique_ptr<common::ILogger> logger)
    : _taskQueue(std::move(taskQueue)),
      _appletCache(std::move(appletCache)),
      _params(params),
      _logger(std::move(logger)) {}

AppletController::~AppletController() {
    *_alive = false;
    _logger.reset();
    _appletCache.reset();
    _taskQueue.reset();
}

void AppletController::startApplet(const std::string& downloadUrl, const std::string& binariesUrl,
                                   const std::string& paramsUrl, const std::string& version) {
    std::weak_ptr<bool> alive = _alive;
    _taskQueue->push(
        [this, alive, downloadUrl, binariesUrl, paramsUrl, version](bool&, unsigned long) {
            if (alive.expired()) {
                return;
            }
            _appletCache->download(
                downloadUrl, binariesUrl, paramsUrl, version,
                [this, alive](const fs::path& archive, const std::string& appletParams) {
                    if (!alive.expired()) {
                        onApplet(archive, appletParams);
                    }
                });
        },
        common::ITaskQueue::Normal);
}

void AppletController::updateApplet(const std::string& url, const std::string& version) {
    std::weak_ptr<bool> alive = _alive;
    _taskQueue->push(
        [this, alive, url, version](bool&, unsigned long) {
            if (!alive.expired()) {
                _appletCache->downloadAppletOnly(url, version);
            }
        },
        common::ITaskQueue::Normal);
}

void AppletController::onApplet(const fs::path& archive, const std::string& appletParams) {
    if (archive.empty()) {
        _logger->error("unable get applet from cache");
        return;
    }
    const fs::path bundle = ExtractAppletToInstallFolder(archive);
    if (bundle.empty()) {
        _logger->error("unable to extract applet to install folder");
        return;
    }
    if (!appletParams.empty() &&
        !common::util::saveContentToFile(bundle.parent_path() / "params.json", appletParams)) {
        _logger->error("unable to save params.json");
        return;
    }
    LaunchApplet(bundle);
}

fs::path AppletController::ExtractAppletToInstallFolder(const fs::path& archive) {
    const fs::path folder = standin::SystemRoot::resolve(
        kInstallFolderPrefix + common::util::generateNanoId(6, kIdAlphabet));
    boost::system::error_code error;
    if (!fs::create_directories(folder, error) || error) {
        _logger->error("unable to create destination folder: '%s'", folder.string().c_str());
        return fs::path();
    }
    _logger->info("applet downloaded to: '%s'", archive.string().c_str());
    // The archive comes from the network: nothing in it may land outside the folder.
    const std::string refused = standin::ZipArchiveCheck::check(archive);
    if (!refused.empty()) {
        _logger->error("archive refused: %s", refused.c_str());
        _logger->error("unable to unpack archive: %d", kExitedWithOne);
        return fs::path();
    }
    const int status = standin::Unzip::extract(archive, folder);
    if (status != 0) {
        _logger->error("unable to unpack archive: %d", status);
        return fs::path();
    }
    const fs::path bundle = folder / kBundleName;
    // The bundle's parameters attribute goes into params.json beside it (an empty file when
    // the bundle has none), as the copy of the attribute did.
    int errorNumber = 0;
    const auto value = standin::ExtendedAttributes::read(bundle, kParamsAttribute, &errorNumber);
    std::string text = value.value_or(std::string());
    const auto zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    if (!common::util::saveContentToFile(folder / "params.json", text) || !value) {
        _logger->debug("unable to prepare params: %d", kExitedWithOne);
    }
    return bundle;
}

void AppletController::LaunchApplet(const fs::path& bundle) {
    const fs::path daemon = bundle / "Contents" / "MacOS" / kAppletDaemon;
    const std::string encrypted = _params.getValue("Encrypted", std::string());
    const std::string salt = _params.getValue("Salt", std::string());
    _logger->debug("launching '%s' -regsvc -Encrypted *** -Salt ***", daemon.string().c_str());
    const auto result =
        standin::Process::run(daemon.string(), {"-regsvc", "-Encrypted", encrypted, "-Salt", salt});
    if (result.status == 0 && result.started) {
        _logger->info("applet launched: '%s'", daemon.string().c_str());
    } else {
        _logger->error("unable to launch: '%s'", daemon.string().c_str());
    }
}

}  // namespace unattended
}  // namespace corvalis
