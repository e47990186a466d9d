#pragma once

#include <string>

namespace corvalis {
namespace unattended {

// Starts the support applet: gets its archive and parameters, unpacks it and runs its daemon.
class IAppletController {
public:
    virtual ~IAppletController() = default;

    // The fields of a backend `DownloadApplet` record; an absent optional one is empty.
    virtual void startApplet(const std::string& downloadUrl, const std::string& binariesUrl,
                             const std::string& paramsUrl, const std::string& version) = 0;
    // Puts a version of the applet into the cache ahead of time.
    virtual void updateApplet(const std::string& url, const std::string& version) = 0;
};

}  // namespace unattended
}  // namespace corvalis
