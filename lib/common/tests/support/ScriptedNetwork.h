#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/core/NonInitializingBuffer.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/network/HTTPHeaderList.h"
#include "foundation/network/HTTPStatusCode.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/IHTTPRequest.h"
#include "foundation/network/IHTTPResponse.h"
#include "foundation/network/INetworkFactory.h"

namespace testsupport {

// A scripted stand-in for the foundation network library's HTTP client: every submitted
// request is recorded and answered from a script when the test calls `poll` (as the event
// loop would run the completions). Answers come, in this order of preference, from the
// responder function, from the queue of scripted answers, or from the default answer.
//
//     auto network = std::make_shared<ScriptedNetwork>();
//     network->script({200, true, {{"Content-Type", "text/plain"}}, "hello"});
//     auto environment = network->makeEnvironment();   // hand to the code under test
//     ...                                              // code submits requests
//     network->poll();                                 // completions run here
//     network->requests()[0].headers ...
//
// A test program that includes this header links foundation_network, and foundation_extension
// when it uses makeEnvironment.

// One answer: the status, and a response object with headers and body unless `withResponse`
// is false (what the client gives for a transport code or a proxy's 407).
struct ScriptedHTTPAnswer {
    network::HTTPStatusCode status = network::NotIssued;
    bool withResponse = false;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    static ScriptedHTTPAnswer http(int status, std::string body = {},
                                   std::vector<std::pair<std::string, std::string>> headers = {}) {
        return {static_cast<network::HTTPStatusCode>(status), true, std::move(headers),
                std::move(body)};
    }
    static ScriptedHTTPAnswer transport(network::HTTPStatusCode code) {
        return {code, false, {}, {}};
    }
};

// What a request carried when it was submitted.
struct RecordedHTTPRequest {
    std::string url;
    std::string method;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
    std::optional<bool> secure;
    // Submitted through TransferFile: the two file paths.
    std::string uploadFilePath;
    std::string downloadFilePath;

    // The value of the first header of that name (any case), or empty.
    std::string header(const std::string& name) const {
        for (const auto& h : headers) {
            if (network::EqualsNoCase(h.first, name)) {
                return h.second;
            }
        }
        return {};
    }
    // How many headers of that name were added.
    std::size_t headerCount(const std::string& name) const {
        std::size_t count = 0;
        for (const auto& h : headers) {
            count += network::EqualsNoCase(h.first, name) ? 1 : 0;
        }
        return count;
    }
};

class ScriptedHTTPRequest : public network::IHTTPRequest {
public:
    void AddHeader(const std::string& name, const std::string& value) override {
        record.headers.emplace_back(name, value);
    }
    void SetSecure(bool secure) override { record.secure = secure; }
    void SetMethod(const std::string& method) override { record.method = method; }
    void SetContentType(const std::string& contentType) override {
        record.contentType = contentType;
    }
    void SetBody(const core::NonInitializingBuffer<unsigned char>& body) override {
        record.body.assign(body.begin(), body.end());
    }
    void SetBody(core::NonInitializingBuffer<unsigned char>&& body) override {
        record.body.assign(body.begin(), body.end());
        body = core::NonInitializingBuffer<unsigned char>();
    }

    RecordedHTTPRequest record;
};

class ScriptedHTTPResponse : public network::IHTTPResponse {
public:
    ScriptedHTTPResponse(const std::vector<std::pair<std::string, std::string>>& headers,
                         const std::string& body)
        : _body(reinterpret_cast<const unsigned char*>(body.data()), body.size()) {
        for (const auto& header : headers) {
            _headers.Add(header.first, header.second);
        }
    }
    std::string GetHeader(const std::string& name) const override {
        return _headers.GetHeader(name);
    }
    std::vector<std::string> GetHeaders(const std::string& name) const override {
        return _headers.GetHeaders(name);
    }
    core::NonInitializingBuffer<unsigned char> FetchBody() override {
        core::NonInitializingBuffer<unsigned char> body;
        body.swap(_body);
        return body;
    }

private:
    network::HTTPHeaderList _headers;
    core::NonInitializingBuffer<unsigned char> _body;
};

class ScriptedNetwork : public std::enable_shared_from_this<ScriptedNetwork> {
public:
    using Responder = std::function<std::optional<ScriptedHTTPAnswer>(const RecordedHTTPRequest&)>;

    // Appends one answer to the queue of scripted answers.
    void script(ScriptedHTTPAnswer answer) { _scripted.push_back(std::move(answer)); }
    // Appends `count` copies of the answer.
    void script(const ScriptedHTTPAnswer& answer, int count) {
        for (int i = 0; i < count; ++i) {
            _scripted.push_back(answer);
        }
    }
    // The answer for requests that nothing else answers (at first: transport code 1 without
    // a response).
    void setDefault(ScriptedHTTPAnswer answer) { _default = std::move(answer); }
    // Answers first, when it returns an answer.
    void setResponder(Responder responder) { _responder = std::move(responder); }

    // Every request submitted so far, in order.
    const std::vector<RecordedHTTPRequest>& requests() const { return _requests; }
    // Exchanges submitted and not yet completed.
    std::size_t pending() const { return _pending.size(); }
    int connectionsCreated() const { return _connectionsCreated; }

    // Completes the exchanges submitted before this call, in order; answers how many. A
    // completion may submit new exchanges: they wait for the next poll.
    std::size_t poll() {
        std::deque<Exchange> due;
        due.swap(_pending);
        const std::size_t count = due.size();
        for (auto& exchange : due) {
            std::unique_ptr<network::IHTTPResponse> response;
            if (exchange.answer.withResponse) {
                response = std::make_unique<ScriptedHTTPResponse>(exchange.answer.headers,
                                                                  exchange.answer.body);
            }
            auto callback = std::move(exchange.callback);
            exchange.callback = nullptr;
            if (callback) {
                callback(exchange.answer.status, std::move(response));
            }
        }
        return count;
    }

    // Drops the exchanges still pending without completing them.
    void dropPending() { _pending.clear(); }

    class Connection : public network::IHTTPConnection {
    public:
        explicit Connection(std::shared_ptr<ScriptedNetwork> network)
            : _network(std::move(network)) {}

        void SetKeepAlive(bool) override {}
        int SetCookie(const std::string&) override { return 0; }
        int DeleteCookie(const std::string&) override { return 0; }
        std::unique_ptr<network::IHTTPRequest> CreateRequest() override {
            return std::make_unique<ScriptedHTTPRequest>();
        }
        void Submit(std::string url, Callback&& callback) override {
            SubmitRequest(std::move(url), CreateRequest(), std::move(callback));
        }
        void SubmitRequest(std::string url, std::unique_ptr<network::IHTTPRequest> request,
                           Callback&& callback) override {
            RecordedHTTPRequest record;
            if (auto* scripted = dynamic_cast<ScriptedHTTPRequest*>(request.get())) {
                record = scripted->record;
            }
            record.url = std::move(url);
            _network->submit(std::move(record), std::move(callback));
        }
        void TransferFile(std::string url, std::string uploadFilePath, std::string downloadFilePath,
                          std::unique_ptr<network::IHTTPRequest> request, Callback&& callback,
                          ProgressCallback&&, ProgressCallback&&) override {
            RecordedHTTPRequest record;
            if (auto* scripted = dynamic_cast<ScriptedHTTPRequest*>(request.get())) {
                record = scripted->record;
            }
            record.url = std::move(url);
            record.uploadFilePath = std::move(uploadFilePath);
            record.downloadFilePath = std::move(downloadFilePath);
            _network->submit(std::move(record), std::move(callback));
        }
        void Close() override {}
        void Abort() override {}

    private:
        std::shared_ptr<ScriptedNetwork> _network;
    };

    class Factory : public network::INetworkFactory {
    public:
        explicit Factory(std::shared_ptr<ScriptedNetwork> network) : _network(std::move(network)) {}
        std::shared_ptr<network::ITCPSocket> CreateTCPSocket() override { return nullptr; }
        std::shared_ptr<network::IHTTPConnection> CreateHTTPConnection() override {
            ++_network->_connectionsCreated;
            return std::make_shared<Connection>(_network);
        }
        std::shared_ptr<network::IWebSocket> CreateWebSocket() override { return nullptr; }
        std::shared_ptr<network::INetworkConnectivity> GetNetworkConnectivity() override {
            return nullptr;
        }
        std::shared_ptr<network::HTTPCookieStore> GetCookieStore() override { return nullptr; }

    private:
        std::shared_ptr<ScriptedNetwork> _network;
    };

    // A network factory over this script (the network must be owned by a shared pointer).
    std::shared_ptr<network::INetworkFactory> makeFactory() {
        return std::make_shared<Factory>(shared_from_this());
    }
    // An event-loop environment whose network factory is this script.
    std::shared_ptr<extension::EventLoopEnvironment> makeEnvironment() {
        return std::make_shared<extension::EventLoopEnvironment>(makeFactory());
    }

private:
    struct Exchange {
        ScriptedHTTPAnswer answer;
        network::IHTTPConnection::Callback callback;
    };

    void submit(RecordedHTTPRequest record, network::IHTTPConnection::Callback callback) {
        std::optional<ScriptedHTTPAnswer> answer;
        if (_responder) {
            answer = _responder(record);
        }
        if (!answer && !_scripted.empty()) {
            answer = std::move(_scripted.front());
            _scripted.pop_front();
        }
        if (!answer) {
            answer = _default;
        }
        _requests.push_back(std::move(record));
        _pending.push_back({std::move(*answer), std::move(callback)});
    }

    Responder _responder;
    std::deque<ScriptedHTTPAnswer> _scripted;
    ScriptedHTTPAnswer _default;
    std::vector<RecordedHTTPRequest> _requests;
    std::deque<Exchange> _pending;
    int _connectionsCreated = 0;
};

}  // namespace testsupport
