#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/extension/IEnvironment.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/INetworkFactory.h"

namespace telemetrytest {

// The foundation network interfaces, as far as the uploads use them: every submitted exchange
// is kept with its completion, which the test calls.
class FakeNetwork {
public:
    struct Exchange {
        std::string url;
        std::string method;
        std::string contentType;
        std::string body;
        network::IHTTPConnection::Callback callback;
    };

    class Request : public network::IHTTPRequest {
    public:
        void AddHeader(const std::string&, const std::string&) override {}
        void SetSecure(bool) override {}
        void SetMethod(const std::string& value) override { method = value; }
        void SetContentType(const std::string& value) override { contentType = value; }
        void SetBody(const core::NonInitializingBuffer<unsigned char>& value) override {
            body.assign(reinterpret_cast<const char*>(value.data()), value.size());
        }
        void SetBody(core::NonInitializingBuffer<unsigned char>&& value) override {
            body.assign(reinterpret_cast<const char*>(value.data()), value.size());
            value = core::NonInitializingBuffer<unsigned char>();
        }
        std::string method, contentType, body;
    };

    class Response : public network::IHTTPResponse {
    public:
        explicit Response(std::string body) : _body(std::move(body)) {}
        std::string GetHeader(const std::string&) const override { return std::string(); }
        std::vector<std::string> GetHeaders(const std::string&) const override { return {}; }
        core::NonInitializingBuffer<unsigned char> FetchBody() override {
            core::NonInitializingBuffer<unsigned char> bytes(
                reinterpret_cast<const unsigned char*>(_body.data()), _body.size());
            _body.clear();
            return bytes;
        }

    private:
        std::string _body;
    };

    class Connection : public network::IHTTPConnection {
    public:
        explicit Connection(FakeNetwork& network) : _network(network) {}
        void SetKeepAlive(bool) override {}
        int SetCookie(const std::string&) override { return 0; }
        int DeleteCookie(const std::string&) override { return 0; }
        std::unique_ptr<network::IHTTPRequest> CreateRequest() override {
            return std::make_unique<Request>();
        }
        void Submit(std::string url, Callback&& callback) override {
            SubmitRequest(std::move(url), CreateRequest(), std::move(callback));
        }
        void SubmitRequest(std::string url, std::unique_ptr<network::IHTTPRequest> request,
                           Callback&& callback) override {
            auto* fake = static_cast<Request*>(request.get());
            _network.exchanges.push_back(
                {std::move(url), fake->method, fake->contentType, fake->body, std::move(callback)});
        }
        void TransferFile(std::string, std::string, std::string,
                          std::unique_ptr<network::IHTTPRequest>, Callback&&, ProgressCallback&&,
                          ProgressCallback&&) override {}
        void Close() override {}
        void Abort() override {}

    private:
        FakeNetwork& _network;
    };

    class Factory : public network::INetworkFactory {
    public:
        explicit Factory(FakeNetwork& network) : _network(network) {}
        std::shared_ptr<network::ITCPSocket> CreateTCPSocket() override { return nullptr; }
        std::shared_ptr<network::IHTTPConnection> CreateHTTPConnection() override {
            return std::make_shared<Connection>(_network);
        }
        std::shared_ptr<network::IWebSocket> CreateWebSocket() override { return nullptr; }
        std::shared_ptr<network::INetworkConnectivity> GetNetworkConnectivity() override {
            return nullptr;
        }
        std::shared_ptr<network::HTTPCookieStore> GetCookieStore() override { return nullptr; }

    private:
        FakeNetwork& _network;
    };

    class Environment : public extension::IEnvironment {
    public:
        explicit Environment(std::shared_ptr<network::INetworkFactory> factory)
            : _factory(std::move(factory)) {}
        std::shared_ptr<network::INetworkFactory> GetNetworkFactory() override { return _factory; }
        extension::ISettingsStore* GetPersistentStore() override { return nullptr; }
        void ScheduleTask(std::chrono::steady_clock::time_point, Task&&) override {}
        std::shared_ptr<network::AsyncService> GetJobService() override { return nullptr; }

    private:
        std::shared_ptr<network::INetworkFactory> _factory;
    };

    // Completes the n-th exchange with a status and, for an HTTP status, a response body.
    void complete(std::size_t n, int status, const std::string& body = std::string()) {
        auto callback = std::move(exchanges.at(n).callback);
        std::unique_ptr<network::IHTTPResponse> response;
        if (status >= 100) {
            response = std::make_unique<Response>(body);
        }
        callback(static_cast<network::HTTPStatusCode>(status), std::move(response));
    }

    std::shared_ptr<network::INetworkFactory> factory = std::make_shared<Factory>(*this);
    std::shared_ptr<extension::IEnvironment> environment = std::make_shared<Environment>(factory);
    std::vector<Exchange> exchanges;
};

}  // namespace telemetrytest
