#include "unattended/appletcache/AppletCache.h"

#include <boost/filesystem/operations.hpp>

#include "common/downloader/IDownloader.h"
#include "common/logger/ILogger.h"
#include "common/util/Util.h"

namespace fs = boost::filesystem;

namespace corvalis {
namespace unattended {

namespace {

const char kIdAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

}  // namespace

std::unique_ptr<IAppletCache> IAppletCache::create(
    std::unique_ptr<common::IDownloader> downloader) {
    return std::make_unique<AppletCache>(std::move(downloader));
}

AppletCache::AppletCache(std::unique_ptr<common::IDownloader> downloader, fs::path mainPath)
    : _downloader(std::move(downloader)),
      _logger(common::ILogger::create("AppletCache")),
      _mainPath(mainPath.empty() ? common::util::getApplicationMainPath() : std::move(mainPath)) {}

AppletCache::~AppletCache() {
    *_alive = false;
    _downloader.reset();
}

bool AppletCache::isSafeVersion(const std::string& version) {
    if (version.empty() || version == "." || version == "..") {
        return false;
    }
    for (unsigned char c : version) {
        if (!(std::isalnum(c) || c == '.' || c == '_' || c == '-')) {
            return false;
        }
    }
    return true;
}

void AppletCache::notify(int state) {
    if (auto* delegate = getDelegate()) {
        delegate->onAppletCacheDownloadState(state);
    }
}

fs::path AppletCache::getDestinationFolder(const std::string& version) const {
    const fs::path folder =
        _mainPath / "downloads" /
        (version.empty() ? common::util::generateNanoId(10, kIdAlphabet) : version);
    boost::system::error_code error;
    if (fs::exists(fs::symlink_status(folder, error))) {
        return folder;
    }
    fs::create_directories(folder, error);
    return error ? fs::path() : folder;
}

std::vector<fs::path> AppletCache::getFilesFromFolder(const fs::path& folder) {
    std::vector<fs::path> files;
    boost::system::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error))) {
        return files;
    }
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        files.push_back(it->path());
    }
    return files;
}

fs::path AppletCache::getStoredBinariesPath(const std::string& version) const {
    if (version.empty()) {
        _logger->warning("version is empty");
        return fs::path();
    }
    const fs::path folder = getDestinationFolder(version);
    if (folder.empty()) {
        return fs::path();
    }
    const auto files = getFilesFromFolder(folder);
    if (files.size() > 1) {
        _logger->warning("more then one file found");
        // Not a cache entry: empty the folder, so the next download leaves one archive there.
        for (const auto& file : files) {
            boost::system::error_code error;
            fs::remove_all(file, error);
        }
        return fs::path();
    }
    if (files.size() == 1 && fs::is_regular_file(fs::symlink_status(files[0]))) {
        return files[0];
    }
    return fs::path();
}

void AppletCache::downloadApplet(const std::string& url, const std::string& version,
                                 std::function<void(const fs::path&)> done) {
    const fs::path folder = getDestinationFolder(version);
    _logger->info("download applet from: '%s' to '%s'", url.c_str(), folder.string().c_str());
    notify(0);
    if (folder.empty()) {
        notify(2);
        _logger->error("unable to download applet from: '%s'", url.c_str());
        done(fs::path());
        return;
    }
    std::weak_ptr<bool> alive = _alive;
    _downloader->download(
        url, folder,
        [this, alive, url, done](bool ok, const fs::path& file) {
            if (alive.expired()) {
                return;
            }
            if (ok && !file.empty()) {
                notify(1);
                _logger->info("applet downloaded to: '%s'", file.string().c_str());
                done(file);
                return;
            }
            notify(2);
            _logger->error("unable to download applet from: '%s'", url.c_str());
            done(fs::path());
        },
        0);
}

void AppletCache::downloadParams(const std::string& paramsUrl, const fs::path& archive, Done done,
                                 const std::string& fallbackUrl) {
    _logger->info("get params from: '%s'", paramsUrl.c_str());
    std::weak_ptr<bool> alive = _alive;
    _downloader->get(
        paramsUrl, [this, alive, archive, done, fallbackUrl](const network::HTTPStatusCode& status,
                                                             const std::string& body) {
            if (alive.expired()) {
                return;
            }
            if (static_cast<int>(status) == 200 && !body.empty()) {
                _logger->info("params downloaded");
                done(archive, body);
                return;
            }
            _logger->info("unable get params, fallback");
            downloadApplet(fallbackUrl, std::string(),
                           [done](const fs::path& file) { done(file, std::string()); });
        });
}

void AppletCache::download(const std::string& downloadUrl, const std::string& binariesUrl,
                           const std::string& paramsUrl, const std::string& version, Done done) {
    std::string cacheVersion = version;
    if (!version.empty() && !isSafeVersion(version)) {
        _logger->warning("version '%s' cannot name a cache folder, not cached", version.c_str());
        cacheVersion.clear();
    }
    if (!binariesUrl.empty() && !paramsUrl.empty() && !cacheVersion.empty()) {
        const fs::path stored = getStoredBinariesPath(cacheVersion);
        if (!stored.empty()) {
            downloadParams(paramsUrl, stored, done, downloadUrl);
            return;
        }
        downloadApplet(binariesUrl, cacheVersion,
                       [this, done, paramsUrl, downloadUrl, binariesUrl](const fs::path& file) {
                           if (!file.empty()) {
                               downloadParams(paramsUrl, file, done, downloadUrl);
                               return;
                           }
                           _logger->warning("unable to download applet from '%s', fallback",
                                            binariesUrl.c_str());
                           downloadApplet(
                               downloadUrl, std::string(),
                               [done](const fs::path& plain) { done(plain, std::string()); });
                       });
        return;
    }
    downloadApplet(downloadUrl, std::string(),
                   [done](const fs::path& file) { done(file, std::string()); });
}

void AppletCache::downloadAppletOnly(const std::string& url, const std::string& version) {
    if (url.empty() || version.empty()) {
        _logger->warning("Cannot download applet to cache, missing param.");
        return;
    }
    if (!isSafeVersion(version)) {
        _logger->warning("version '%s' cannot name a cache folder, not cached", version.c_str());
        return;
    }
    if (!getStoredBinariesPath(version).empty()) {
        _logger->info("Applet is in the cache. Version: %s", version.c_str());
        return;
    }
    downloadApplet(url, version, [this, url, version](const fs::path& file) {
        if (!file.empty()) {
            _logger->info("Applet downloaded to cache successfully. Version: %s", version.c_str());
        } else {
            _logger->warning("unable to download applet from '%s', version: %s", url.c_str(),
                             version.c_str());
        }
    });
}

}  // namespace unattended
}  // namespace corvalis
