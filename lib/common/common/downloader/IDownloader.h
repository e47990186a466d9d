#pragma once

#include <boost/filesystem/path.hpp>
#include <functional>
#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "foundation/network/HTTPStatusCode.h"

class IQtPlatform;

namespace extension {
class EventLoopEnvironment;
}

namespace common {

// Fetches a URL with an HTTP GET, into a file of a folder (`download`, retried) or into a text
// (`get`, once), over the Qt path or the foundation network library as "UseLegacyNetworking"
// chooses.
class IDownloader {
public:
    virtual ~IDownloader() = default;

    // The completion is called once: true and the written file; false and the file that could
    // not be written; or false and an empty path when every try failed. Callers pass 0 tries.
    virtual void download(const std::string& url, const boost::filesystem::path& folder,
                          std::function<void(bool, const boost::filesystem::path&)> completion,
                          unsigned int tries) = 0;
    // Removes the folder of the last download that failed for good (a file or an empty folder).
    virtual void removeTempFolder() = 0;
    // One GET without retries; the completion gets the status and the body as text.
    virtual void get(
        const std::string& url,
        std::function<void(const network::HTTPStatusCode&, const std::string&)> completion) = 0;

    static std::unique_ptr<IDownloader> create(
        const std::shared_ptr<extension::EventLoopEnvironment>& environment,
        const IQtPlatform& platform, const IParams& params, std::unique_ptr<ITaskQueue> queue,
        std::unique_ptr<ILogger> logger);
};

}  // namespace common
