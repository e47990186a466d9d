#pragma once

#include <boost/filesystem/path.hpp>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/downloader/IDownloader.h"
#include "qtplatform/IHttpQuery.h"

namespace network {
class IHTTPConnection;
}

namespace common {

// IDownloader over the Qt HTTP query and the foundation HTTP client. A failed download is tried
// again 2000 ms later, at most five times; tries 3 to 5 go over the path that the parameter
// does not select. Every request carries "User-Agent: Mac OS X 10_13_6".
class Downloader : public IDownloader {
public:
    using Completion = std::function<void(bool, const boost::filesystem::path&)>;
    using GetCompletion = std::function<void(const network::HTTPStatusCode&, const std::string&)>;

    static constexpr unsigned int kLastTry = 5;
    static constexpr std::chrono::milliseconds kRetryDelay{2000};

    Downloader(const std::shared_ptr<extension::EventLoopEnvironment>& environment,
               const IQtPlatform& platform, const IParams& params,
               std::unique_ptr<ITaskQueue> queue, std::unique_ptr<ILogger> logger);
    ~Downloader() override;

    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    void download(const std::string& url, const boost::filesystem::path& folder,
                  Completion completion, unsigned int tries) override;
    void removeTempFolder() override;
    void get(const std::string& url, GetCompletion completion) override;

    // The text of a Qt query error as the failure line writes it.
    static std::string toString(IHttpQuery::Error error);
    // The file name a Content-Disposition value asks for, reduced to a safe base name: the
    // value of its filename parameter without quotes, folders, ".." or control characters;
    // "file" when nothing usable is left.
    static std::string fileNameFromContentDisposition(const std::string& header);

private:
    struct Attempt {
        std::string url;
        boost::filesystem::path folder;
        Completion completion;
        unsigned int tries = 0;
        bool legacy = false;
    };

    void attempt(Attempt attempt);
    void attemptOverFoundation(Attempt attempt);
    void attemptOverQt(Attempt attempt);
    void succeeded(const Attempt& attempt, const std::string& contentDisposition,
                   const std::vector<char>& body);
    void failed(const Attempt& attempt, const std::string& error);
    bool writeFile(const boost::filesystem::path& path, const std::vector<char>& body) const;
    bool useLegacyNetworking() const;
    using QueryPtr = std::unique_ptr<IHttpQuery, std::function<void(IHttpQuery*)>>;
    QueryPtr takeQuery(int id);
    std::shared_ptr<network::IHTTPConnection> createConnection() const;

    std::unique_ptr<ITaskQueue> _queue;
    std::unique_ptr<ILogger> _logger;
    std::shared_ptr<extension::EventLoopEnvironment> _environment;
    boost::filesystem::path _tempFolder;
    const IQtPlatform& _platform;
    const IParams& _params;
    std::map<int, QueryPtr> _queries;
    int _nextQueryId = 0;
    std::string _osName;
    // Completions of the foundation client hold it weakly: once the downloader is gone they
    // do nothing.
    std::shared_ptr<int> _alive = std::make_shared<int>(0);
};

}  // namespace common
