#include "common/downloader/Downloader.h"

#include <array>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/system/error_code.hpp>

#include "common/util/Util.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/INetworkFactory.h"
#include "foundation/platform/SystemInformation.h"
#include "qtplatform/IQtPlatform.h"

namespace common {

namespace {

constexpr const char* kUseLegacyNetworking = "UseLegacyNetworking";
constexpr const char* kUserAgentName = "User-Agent";
constexpr const char* kUserAgentValue = "Mac OS X 10_13_6";

const char* boolText(bool value) {
    return value ? "true" : "false";
}

// A Qt reply that finished without error but carries a "Location" is a redirect that Qt did not
// follow (3xx); its body is not the file.
bool isUnfollowedRedirect(const IHttpQuery& query) {
    return !query.getHeader("Location").empty();
}

}  // namespace

std::unique_ptr<IDownloader> IDownloader::create(
    const std::shared_ptr<extension::EventLoopEnvironment>& environment,
    const IQtPlatform& platform, const IParams& params, std::unique_ptr<ITaskQueue> queue,
    std::unique_ptr<ILogger> logger) {
    return std::make_unique<Downloader>(environment, platform, params, std::move(queue),
                                        std::move(logger));
}

Downloader::Downloader(const std::shared_ptr<extension::EventLoopEnvironment>& environment,
                       const IQtPlatform& platform, const IParams& params,
                       std::unique_ptr<ITaskQueue> queue, std::unique_ptr<ILogger> logger)
    : _queue(std::move(queue)),
      _logger(std::move(logger)),
      _environment(environment),
      _platform(platform),
      _params(params),
      _osName(util::toString(platform::SystemInformation().GetOSName())) {}

Downloader::~Downloader() {
    _alive.reset();
    // Downloads and retries not yet started are dropped; their completions are never called.
    _queue->finish([](bool&, unsigned long) {}, true);
    // Releasing the queries detaches their handlers first.
    _queries.clear();
}

bool Downloader::useLegacyNetworking() const {
    return _params.getValueAs<bool>(kUseLegacyNetworking, false);
}

void Downloader::download(const std::string& url, const boost::filesystem::path& folder,
                          Completion completion, unsigned int tries) {
    _logger->info("download started from: %s with UserAgent: %s", url.c_str(), _osName.c_str());
    Attempt next{url, folder, std::move(completion), tries, false};
    _queue->push([this, next](bool&, unsigned long) { attempt(next); },
                 std::chrono::milliseconds(0), ITaskQueue::Normal);
}

void Downloader::attempt(Attempt attempt) {
    // Tries 0 to 2 use the path the parameter selects, tries 3 to 5 the other one.
    attempt.legacy = useLegacyNetworking() != (attempt.tries > 2);
    if (attempt.legacy) {
        attemptOverFoundation(std::move(attempt));
    } else {
        attemptOverQt(std::move(attempt));
    }
}

void Downloader::attemptOverFoundation(Attempt attempt) {
    auto connection = createConnection();
    if (!connection) {
        _logger->error("no network factory for the download from: %s", attempt.url.c_str());
        failed(attempt, std::to_string(static_cast<int>(network::NotIssued)));
        return;
    }
    auto request = connection->CreateRequest();
    request->SetMethod("GET");
    request->AddHeader(kUserAgentName, kUserAgentValue);
    _logger->info("download started from: %s", attempt.url.c_str());
    std::weak_ptr<int> alive = _alive;
    const std::string url = attempt.url;
    connection->SubmitRequest(
        url, std::move(request),
        [this, alive, attempt](network::HTTPStatusCode status,
                               std::unique_ptr<network::IHTTPResponse> response) {
            if (alive.expired()) {
                return;
            }
            if (static_cast<int>(status) != 200 || !response) {
                failed(attempt, std::to_string(static_cast<int>(status)));
                return;
            }
            const auto body = response->FetchBody();
            succeeded(attempt, response->GetHeader("content-disposition"),
                      std::vector<char>(body.begin(), body.end()));
        });
}

void Downloader::attemptOverQt(Attempt attempt) {
    const int id = _nextQueryId++;
    auto query = _platform.createQuery();
    if (!query) {
        failed(attempt, toString(IHttpQuery::UnknownNetworkError));
        return;
    }
    IHttpQuery* raw = query.get();
    raw->setOperation(IHttpQuery::Get);
    raw->setRawHeader(kUserAgentName, kUserAgentValue);
    raw->setUrl(attempt.url);
    raw->setErrorHandler(
        [this, attempt](IHttpQuery::Error error) { failed(attempt, toString(error)); });
    raw->setFinishedHandler([this, attempt, id, raw](bool ok) {
        // Out of the map first: the completion may end the downloader itself.
        const auto finished = takeQuery(id);
        if (!ok) {
            return;
        }
        if (isUnfollowedRedirect(*raw)) {
            failed(attempt, "Redirect");
        } else {
            succeeded(attempt, raw->getHeader("Content-Disposition"), raw->getResponse());
        }
    });
    _queries.emplace(id, std::move(query));
    raw->execute();
}

std::string Downloader::fileNameFromContentDisposition(const std::string& header) {
    static const std::string kParameter = "filename=";
    const auto start = header.find(kParameter);
    if (start == std::string::npos) {
        return "file";
    }
    std::string value = header.substr(start + kParameter.size());
    // A quoted value ends at its closing quote, a bare one at the next parameter.
    if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
        const auto close = value.find(value[0], 1);
        value = value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        value = value.substr(0, value.find(';'));
    }
    // Only the last path element counts, in either separator.
    const auto slash = value.find_last_of("/\\");
    if (slash != std::string::npos) {
        value = value.substr(slash + 1);
    }
    std::string name;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"' || c == '\'') {
            continue;
        }
        name.push_back(c);
    }
    const auto first = name.find_first_not_of(' ');
    const auto last = name.find_last_not_of(' ');
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (name.empty() || name == "." || name == ".." || name.find("..") != std::string::npos ||
        name.size() > 255) {
        return "file";
    }
    return name;
}

void Downloader::succeeded(const Attempt& attempt, const std::string& contentDisposition,
                           const std::vector<char>& body) {
    _logger->info("download succeeded from: %s Legacy networking: %s", attempt.url.c_str(),
                  boolText(attempt.legacy));
    const boost::filesystem::path path =
        attempt.folder / fileNameFromContentDisposition(contentDisposition);
    if (!writeFile(path, body)) {
        _logger->error("downloaded file write failed: %s", path.string().c_str());
        if (attempt.completion) {
            attempt.completion(false, path);
        }
        return;
    }
    _logger->info("downloaded file write succeeded: %s", path.string().c_str());
    if (attempt.completion) {
        attempt.completion(true, path);
    }
}

bool Downloader::writeFile(const boost::filesystem::path& path,
                           const std::vector<char>& body) const {
    // Written under a temporary name beside the target and renamed once complete, so the
    // target never holds a partial file.
    boost::system::error_code error;
    const auto temporary =
        path.parent_path() / boost::filesystem::unique_path(".download-%%%%-%%%%-%%%%.part", error);
    if (error) {
        return false;
    }
    {
        boost::filesystem::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file.is_open()) {
            return false;
        }
        file.write(body.data(), static_cast<std::streamsize>(body.size()));
        file.flush();
        file.close();
        if (file.fail()) {
            boost::filesystem::remove(temporary, error);
            return false;
        }
    }
    boost::filesystem::rename(temporary, path, error);
    if (error) {
        boost::system::error_code ignored;
        boost::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

void Downloader::failed(const Attempt& attempt, const std::string& error) {
    _logger->error("Download failed from: %s with Error Code: %s Legacy networking: %s",
                   attempt.url.c_str(), error.c_str(), boolText(attempt.legacy));
    if (attempt.tries >= kLastTry) {
        _tempFolder = attempt.folder;
        if (attempt.completion) {
            attempt.completion(false, boost::filesystem::path());
        }
        return;
    }
    _logger->error("Try to download again from: %s, try count: %d", attempt.url.c_str(),
                   static_cast<int>(attempt.tries));
    const Attempt next = attempt;
    _queue->push(
        [this, next](bool&, unsigned long) {
            download(next.url, next.folder, next.completion, next.tries + 1);
        },
        kRetryDelay, ITaskQueue::Normal);
}

std::shared_ptr<network::IHTTPConnection> Downloader::createConnection() const {
    if (!_environment) {
        return nullptr;
    }
    // Called through the interface the environment implements.
    extension::IEnvironment& environment = *_environment;
    auto factory = environment.GetNetworkFactory();
    return factory ? factory->CreateHTTPConnection() : nullptr;
}

Downloader::QueryPtr Downloader::takeQuery(int id) {
    QueryPtr query;
    const auto found = _queries.find(id);
    if (found != _queries.end()) {
        query = std::move(found->second);
        _queries.erase(found);
    }
    return query;
}

void Downloader::removeTempFolder() {
    if (_tempFolder.empty()) {
        return;
    }
    boost::system::error_code error;
    boost::filesystem::remove(_tempFolder, error);
    if (error) {
        _logger->warning("could not remove %s: %s", _tempFolder.string().c_str(),
                         error.message().c_str());
    }
}

void Downloader::get(const std::string& url, GetCompletion completion) {
    _logger->info("GET from: %s", url.c_str());
    if (useLegacyNetworking()) {
        auto connection = createConnection();
        if (!connection) {
            _logger->error("no network factory for the GET from: %s", url.c_str());
            if (completion) {
                completion(network::NotIssued, std::string());
            }
            return;
        }
        auto request = connection->CreateRequest();
        request->SetMethod("GET");
        request->AddHeader(kUserAgentName, kUserAgentValue);
        std::weak_ptr<int> alive = _alive;
        connection->SubmitRequest(
            url, std::move(request),
            [this, alive, completion](network::HTTPStatusCode status,
                                      std::unique_ptr<network::IHTTPResponse> response) {
                if (alive.expired()) {
                    return;
                }
                std::string body;
                if (response) {
                    const auto bytes = response->FetchBody();
                    body.assign(bytes.begin(), bytes.end());
                } else {
                    _logger->warning("Response is empty. StatusCode: %d", static_cast<int>(status));
                }
                if (completion) {
                    completion(status, body);
                }
            });
        return;
    }

    const int id = _nextQueryId++;
    auto query = _platform.createQuery();
    if (!query) {
        if (completion) {
            completion(network::NotIssued, std::string());
        }
        return;
    }
    IHttpQuery* raw = query.get();
    raw->setOperation(IHttpQuery::Get);
    raw->setRawHeader(kUserAgentName, kUserAgentValue);
    raw->setUrl(url);
    raw->setErrorHandler([completion](IHttpQuery::Error) {
        if (completion) {
            completion(network::NotIssued, std::string());
        }
    });
    raw->setFinishedHandler([this, completion, id, raw](bool ok) {
        const auto finished = takeQuery(id);
        if (!ok || !completion) {
            return;
        }
        if (isUnfollowedRedirect(*raw)) {
            completion(network::NotIssued, std::string());
        } else {
            completion(static_cast<network::HTTPStatusCode>(200), raw->getStringResponse());
        }
    });
    _queries.emplace(id, std::move(query));
    raw->execute();
}

std::string Downloader::toString(IHttpQuery::Error error) {
    const char* name = IHttpQuery::errorName(error);
    return name != nullptr ? name : "UnknownError";
}

}  // namespace common
