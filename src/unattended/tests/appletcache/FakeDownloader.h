#pragma once

#include <boost/filesystem/operations.hpp>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/downloader/IDownloader.h"
#include "testsupport/TempDir.h"

namespace unattendedtest {

// Serves files and texts from a table; every request is recorded. A URL missing from the table
// fails. Completions run at once.
class FakeDownloader : public common::IDownloader {
public:
    struct Served {
        std::map<std::string, std::pair<std::string, std::string>> files;  // url -> name, bytes
        std::map<std::string, std::pair<int, std::string>> texts;          // url -> status, body
        std::vector<std::string> requests;
    };

    explicit FakeDownloader(Served& served) : _served(served) {}

    void download(const std::string& url, const boost::filesystem::path& folder,
                  std::function<void(bool, const boost::filesystem::path&)> completion,
                  unsigned int) override {
        _served.requests.push_back("download " + url);
        const auto it = _served.files.find(url);
        if (it == _served.files.end()) {
            completion(false, boost::filesystem::path());
            return;
        }
        const auto file = folder / it->second.first;
        std::ofstream(file.string(), std::ios::binary) << it->second.second;
        completion(true, file);
    }
    void removeTempFolder() override {}
    void get(const std::string& url,
             std::function<void(const network::HTTPStatusCode&, const std::string&)> completion)
        override {
        _served.requests.push_back("get " + url);
        const auto it = _served.texts.find(url);
        const int status = it == _served.texts.end() ? 404 : it->second.first;
        completion(static_cast<network::HTTPStatusCode>(status),
                   it == _served.texts.end() ? std::string() : it->second.second);
    }

private:
    Served& _served;
};

}  // namespace unattendedtest
