#pragma once

#include <rapidjson/document.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

namespace telemetrytest {

// The aiohttp stand-in of the monitoring service (monitoring_stub.py) on a free loopback port,
// with the answers of `routesJson` (see the script) and a log of every request it received.
class MonitoringStub {
public:
    struct Request {
        std::string method;
        std::string path;
        std::string query;
        std::string contentType;
        std::string body;
        std::vector<std::pair<std::string, std::string>> form;

        std::string field(const std::string& name) const {
            for (const auto& entry : form) {
                if (entry.first == name) {
                    return entry.second;
                }
            }
            return std::string();
        }
    };

    explicit MonitoringStub(const std::string& routesJson)
        : _port(testsupport::freePort()),
          _config(_dir.write("routes.json", routesJson)),
          _log(_dir / "requests.jsonl") {
        const char* source = std::getenv("ORV_SOURCE_DIR");
        const std::string script = std::string(source != nullptr ? source : ".") +
                                   "/lib/common/tests/telemetrysupport/monitoring_stub.py";
        _server = std::make_unique<testsupport::ServerProcess>(
            std::vector<std::string>{"/usr/bin/python3", script, "--port", std::to_string(_port),
                                     "--config", _config.string(), "--log", _log.string()},
            std::vector<std::string>{}, (_dir / "stub.out").string());
        _ready = _server->waitForPort("127.0.0.1", _port);
    }

    bool ready() const { return _ready; }
    unsigned short port() const { return _port; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(_port); }

    // The requests received so far, in order.
    std::vector<Request> requests() const {
        std::vector<Request> result;
        const std::string text = testsupport::TempDir::read(_log);
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = text.find('\n', at);
            if (end == std::string::npos) {
                break;  // a line still being written
            }
            rapidjson::Document line;
            line.Parse(text.c_str() + at, end - at);
            at = end + 1;
            if (line.HasParseError() || !line.IsObject()) {
                continue;
            }
            Request request;
            request.method = line["method"].GetString();
            request.path = line["path"].GetString();
            request.query = line["query"].GetString();
            request.contentType = line["contentType"].GetString();
            request.body = line["body"].GetString();
            if (line.HasMember("form") && line["form"].IsObject()) {
                for (const auto& member : line["form"].GetObject()) {
                    request.form.emplace_back(member.name.GetString(), member.value.GetString());
                }
            }
            result.push_back(std::move(request));
        }
        return result;
    }

    // Waits (bounded by `limit`) until at least `count` requests have arrived.
    std::vector<Request> waitForRequests(std::size_t count,
                                         std::chrono::milliseconds limit = std::chrono::seconds(60),
                                         const std::function<void()>& poll = {}) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        auto received = requests();
        while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
            if (poll) {
                poll();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            received = requests();
        }
        return received;
    }

private:
    testsupport::TempDir _dir;
    unsigned short _port;
    boost::filesystem::path _config;
    boost::filesystem::path _log;
    std::unique_ptr<testsupport::ServerProcess> _server;
    bool _ready = false;
};

}  // namespace telemetrytest
