#pragma once

#include <memory>
#include <vector>

#include "unattended/appletcache/IAppletCache.h"

namespace common {
class ILogger;
}

namespace corvalis {
namespace unattended {

class AppletCache : public IAppletCache {
public:
    // `mainPath` is the folder that holds the application bundle (its "downloads" folder is
    // the cache); empty means the running program's.
    AppletCache(std::unique_ptr<common::IDownloader> downloader,
                boost::filesystem::path mainPath = {});
    ~AppletCache() override;

    void download(const std::string& downloadUrl, const std::string& binariesUrl,
                  const std::string& paramsUrl, const std::string& version, Done done) override;
    void downloadAppletOnly(const std::string& url, const std::string& version) override;

    // Whether a version text may name a cache folder: letters, digits, ".", "_" and "-", and
    // neither "." nor "..".
    static bool isSafeVersion(const std::string& version);

private:
    boost::filesystem::path getDestinationFolder(const std::string& version) const;
    static std::vector<boost::filesystem::path> getFilesFromFolder(
        const boost::filesystem::path& folder);
    boost::filesystem::path getStoredBinariesPath(const std::string& version) const;
    void downloadApplet(const std::string& url, const std::string& version,
                        std::function<void(const boost::filesystem::path&)> done);
    void downloadParams(const std::string& paramsUrl, const boost::filesystem::path& archive,
                        Done done, const std::string& fallbackUrl);
    void notify(int state);

    std::unique_ptr<common::IDownloader> _downloader;
    std::unique_ptr<common::ILogger> _logger;
    boost::filesystem::path _mainPath;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace unattended
}  // namespace corvalis
