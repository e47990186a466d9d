#pragma once

#include <boost/filesystem/path.hpp>

#include <functional>
#include <memory>
#include <string>

#include "common/delegate/Delegate.h"
#include "unattended/appletcache/IAppletCacheDelegate.h"

namespace common {
class IDownloader;
}

namespace corvalis {
namespace unattended {

// Gets the support applet's archive and parameters, keeping archives per version under
// "downloads" beside the application bundle.
class IAppletCache : public common::Delegate<IAppletCacheDelegate> {
public:
    // The archive (empty when there is none) and the applet parameters (empty when none).
    using Done = std::function<void(const boost::filesystem::path&, const std::string&)>;

    ~IAppletCache() override = default;

    // The fields of a `DownloadApplet` record; `done` is called exactly once.
    virtual void download(const std::string& downloadUrl, const std::string& binariesUrl,
                          const std::string& paramsUrl, const std::string& version, Done done) = 0;
    // Puts a version into the cache; no result.
    virtual void downloadAppletOnly(const std::string& url, const std::string& version) = 0;

    static std::unique_ptr<IAppletCache> create(std::unique_ptr<common::IDownloader> downloader);
};

}  // namespace unattended
}  // namespace corvalis
