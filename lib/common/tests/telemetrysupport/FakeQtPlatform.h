#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qtplatform/IQtPlatform.h"

namespace telemetrytest {

// An HTTP query that records what it was given; the test plays its outcome.
class FakeHttpQuery : public IHttpQuery {
public:
    struct Seen {
        std::string url;
        Operation operation = Get;
        std::string contentType;
        std::string body;
        bool executed = false;
        bool destroyed = false;
        int waitedMs = -2;
    };

    explicit FakeHttpQuery(std::shared_ptr<Seen> seen) : _seen(std::move(seen)) {}
    ~FakeHttpQuery() override { _seen->destroyed = true; }

    void setUrl(const std::string& url) override { _seen->url = url; }
    void setOperation(Operation operation) override { _seen->operation = operation; }
    void setRawHeader(const std::string&, const std::string&) override {}
    void setFinishedHandler(std::function<void(bool)>&& handler) override {
        finished = std::move(handler);
    }
    void setErrorHandler(std::function<void(Error)>&& handler) override {
        error = std::move(handler);
    }
    void setSslErrorHandler(std::function<void(std::vector<SslError::ErrorCode>)>&&) override {}
    void setBody(const std::string& body) override { _seen->body = body; }
    void setContentType(const std::string& contentType) override {
        _seen->contentType = contentType;
    }
    const std::vector<char>& getResponse() const override { return _bytes; }
    const std::string& getStringResponse() const override { return response; }
    const std::map<std::string, std::string>& getRawHeaderList() const override { return _headers; }
    std::string getHeader(const std::string&) const override { return std::string(); }
    void execute() override { _seen->executed = true; }
    void transferFile(const std::string&) override {}
    void reset() override {}
    bool waitForFinished(int ms) override {
        _seen->waitedMs = ms;
        return false;
    }
    void ignoreSslErrors(const std::vector<SslError::ErrorCode>&) override {}
    void resetEventHandlers() override {
        finished = nullptr;
        error = nullptr;
    }

    // Plays an outcome as the platform would: the error first, then the finished handler.
    void fail(Error code) {
        auto onError = error;
        auto onFinished = finished;
        if (onError) {
            onError(code);
        }
        if (onFinished) {
            onFinished(false);
        }
    }
    void succeed(const std::string& body) {
        response = body;
        auto onFinished = finished;
        if (onFinished) {
            onFinished(true);
        }
    }

    std::function<void(bool)> finished;
    std::function<void(Error)> error;
    std::string response;

private:
    std::shared_ptr<Seen> _seen;
    std::vector<char> _bytes;
    std::map<std::string, std::string> _headers;
};

// Hands out FakeHttpQuery objects and keeps a raw pointer to each live one.
class FakeQtPlatform : public IQtPlatform {
public:
    HttpQueryPtr createQuery() const override {
        auto seen = std::make_shared<FakeHttpQuery::Seen>();
        auto* query = new FakeHttpQuery(seen);
        queries.push_back(query);
        seens.push_back(seen);
        return HttpQueryPtr(query, [this](IHttpQuery* q) {
            q->resetEventHandlers();
            for (auto& live : queries) {
                if (live == q) {
                    live = nullptr;
                }
            }
            delete q;
        });
    }
    WebSocketPtr createWebSocket() const override {
        return WebSocketPtr(nullptr, [](IWebSocket*) {});
    }
    void setProxyCredentialsAcceptedHandler(ProxyCredentialsAcceptedHandler&&) override {}
    void setProxyCredentialsRequestedHandler(ProxyCredentialsRequestedHandler&&) override {}
    void setMetricsCollector(std::weak_ptr<common::metrics::IMetricsCollector>) override {}
    void setQtLoggingSink(std::unique_ptr<IQtLoggingSink>&& sink) override {
        loggingSink = std::move(sink);
    }

    // The live query made n-th (null once it was released).
    FakeHttpQuery* query(std::size_t n) const { return n < queries.size() ? queries[n] : nullptr; }
    const FakeHttpQuery::Seen& seen(std::size_t n) const { return *seens.at(n); }
    std::size_t created() const { return queries.size(); }

    std::unique_ptr<IQtLoggingSink> loggingSink;

private:
    mutable std::vector<FakeHttpQuery*> queries;
    mutable std::vector<std::shared_ptr<FakeHttpQuery::Seen>> seens;
};

}  // namespace telemetrytest
