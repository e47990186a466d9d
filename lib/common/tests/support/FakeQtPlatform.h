#pragma once

#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qtplatform/IQtPlatform.h"

namespace testsupport {

// A Qt WebSocket that records what it is asked and lets the test play the Qt socket's reports.
// The reports call the installed handlers at once, as the socket's tasks would on the main
// thread.
class FakeWebSocket : public IWebSocket {
public:
    struct Log {
        std::vector<std::string> opened;
        int closes = 0;
        std::map<std::string, std::string> headers;
        std::vector<std::pair<std::wstring, std::wstring>> credentials;
        std::vector<std::vector<uint8_t>> sent;
        bool handlersReset = false;
        bool destroyed = false;
    };

    explicit FakeWebSocket(std::shared_ptr<Log> log) : _log(std::move(log)) {}
    ~FakeWebSocket() override { _log->destroyed = true; }

    void open(const std::string& url) override { _log->opened.push_back(url); }
    void close() override { ++_log->closes; }
    void setRawHeader(const std::string& name, const std::string& value) override {
        _log->headers[name] = value;
    }
    void setProxyCredentials(const std::wstring& user, const std::wstring& password) override {
        _log->credentials.emplace_back(user, password);
    }
    void sendBinaryMessage(const std::vector<uint8_t>& data) override {
        _log->sent.push_back(data);
    }
    void sendTextMessage(const std::string&) override {}
    void ping(const std::vector<uint8_t>&) override {}
    void ignoreSslErrors(const std::vector<SslError::ErrorCode>&) override {}
    void resetEventHandlers() override {
        handlers = Handlers();
        _log->handlersReset = true;
    }
    void setBinaryMessageReceivedHandler(BinaryMessageReceivedHandler&& handler) override {
        handlers.binaryReceived = std::move(handler);
    }
    void setBinaryMessageSentHandler(MessageSentHandler&& handler) override {
        handlers.binarySent = std::move(handler);
    }
    void setTextMessageReceivedHandler(TextMessageReceivedHandler&& handler) override {
        handlers.textReceived = std::move(handler);
    }
    void setTextMessageSentHandler(MessageSentHandler&& handler) override {
        handlers.textSent = std::move(handler);
    }
    void setConnectedHandler(ConnectedHandler&& handler) override {
        handlers.connected = std::move(handler);
    }
    void setDisconnectedHandler(DisconnectedHandler handler) override {
        handlers.disconnected = std::move(handler);
    }
    void setErrorHandler(ErrorHandler&& handler) override { handlers.error = std::move(handler); }
    void setSslErrorHandler(SslErrorHandler&& handler) override {
        handlers.sslError = std::move(handler);
    }
    void setPongHandler(PongHandler&& handler) override { handlers.pong = std::move(handler); }
    void setProxyAuthenticationRequiredHandler(
        ProxyAuthenticationRequiredHandler&& handler) override {
        handlers.proxyAuthenticationRequired = std::move(handler);
    }

    struct Handlers {
        BinaryMessageReceivedHandler binaryReceived;
        MessageSentHandler binarySent;
        TextMessageReceivedHandler textReceived;
        MessageSentHandler textSent;
        ConnectedHandler connected;
        DisconnectedHandler disconnected;
        ErrorHandler error;
        SslErrorHandler sslError;
        PongHandler pong;
        ProxyAuthenticationRequiredHandler proxyAuthenticationRequired;
    } handlers;

private:
    std::shared_ptr<Log> _log;
};

// One scripted answer of a FakeHttpQuery: success with headers and body, or an error (the
// error handler, then the finished handler with false, as the Qt query reports a failure).
struct ScriptedQtAnswer {
    bool ok = true;
    IHttpQuery::Error error = IHttpQuery::NoError;
    std::map<std::string, std::string> headers;
    std::string body;
};

// An HTTP query that records its request and, once executed, waits for the test to deliver the
// next scripted answer (FakeQtPlatform::deliver), as the Qt thread's task would.
class FakeHttpQuery : public IHttpQuery {
public:
    struct Request {
        std::string url;
        Operation operation = Get;
        std::vector<std::pair<std::string, std::string>> headers;
    };

    FakeHttpQuery(std::function<void(FakeHttpQuery*)> onExecute,
                  std::function<void(FakeHttpQuery*)> onDestroy)
        : _onExecute(std::move(onExecute)), _onDestroy(std::move(onDestroy)) {}
    ~FakeHttpQuery() override {
        if (_onDestroy) {
            _onDestroy(this);
        }
    }

    void setUrl(const std::string& url) override { request.url = url; }
    void setOperation(Operation operation) override { request.operation = operation; }
    void setRawHeader(const std::string& name, const std::string& value) override {
        request.headers.emplace_back(name, value);
    }
    void setFinishedHandler(std::function<void(bool)>&& handler) override {
        _handlers->finished = std::move(handler);
    }
    void setErrorHandler(std::function<void(Error)>&& handler) override {
        _handlers->error = std::move(handler);
    }
    void setSslErrorHandler(std::function<void(std::vector<SslError::ErrorCode>)>&&) override {}
    void setBody(const std::string&) override {}
    void setContentType(const std::string&) override {}
    const std::vector<char>& getResponse() const override { return _response; }
    const std::string& getStringResponse() const override { return _stringResponse; }
    const std::map<std::string, std::string>& getRawHeaderList() const override { return _headers; }
    std::string getHeader(const std::string& name) const override {
        for (const auto& header : _headers) {
            if (header.first.size() == name.size() &&
                std::equal(name.begin(), name.end(), header.first.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                })) {
                return header.second;
            }
        }
        return {};
    }
    void execute() override {
        if (_onExecute) {
            _onExecute(this);
        }
    }
    void transferFile(const std::string&) override {}
    void reset() override {}
    bool waitForFinished(int) override { return true; }
    void ignoreSslErrors(const std::vector<SslError::ErrorCode>&) override {}
    void resetEventHandlers() override { _handlers = std::make_shared<Handlers>(); }

    // Plays the answer through the installed handlers as the query's tasks would: each one
    // holds the handler set weakly and calls nothing once the set was reset (or the query
    // destroyed). The handlers may destroy the query.
    void answer(const ScriptedQtAnswer& answer) {
        _headers = answer.headers;
        _stringResponse = answer.body;
        _response.assign(answer.body.begin(), answer.body.end());
        std::weak_ptr<Handlers> handlers = _handlers;
        if (!answer.ok) {
            if (auto set = handlers.lock(); set && set->error) {
                set->error(answer.error);
            }
        }
        if (auto set = handlers.lock(); set && set->finished) {
            set->finished(answer.ok);
        }
    }

    Request request;

private:
    std::function<void(FakeHttpQuery*)> _onExecute;
    std::function<void(FakeHttpQuery*)> _onDestroy;
    struct Handlers {
        std::function<void(bool)> finished;
        std::function<void(Error)> error;
    };
    std::shared_ptr<Handlers> _handlers = std::make_shared<Handlers>();
    std::vector<char> _response;
    std::string _stringResponse;
    std::map<std::string, std::string> _headers;
};

// A Qt platform of fakes: one FakeWebSocket per createWebSocket, and HTTP queries that are
// answered from a script when the test calls `deliver`. The deleters reset the handlers first,
// as the real platform's do.
class FakeQtPlatform : public IQtPlatform {
public:
    std::unique_ptr<IHttpQuery, std::function<void(IHttpQuery*)>> createQuery() const override {
        auto* self = const_cast<FakeQtPlatform*>(this);
        auto* query = new FakeHttpQuery([self](FakeHttpQuery* q) { self->_executed.push_back(q); },
                                        [self](FakeHttpQuery* q) { self->forget(q); });
        ++self->queriesCreated;
        return {query, [](IHttpQuery* q) {
                    if (q != nullptr) {
                        q->resetEventHandlers();
                        delete q;
                    }
                }};
    }
    std::unique_ptr<IWebSocket, std::function<void(IWebSocket*)>> createWebSocket() const override {
        auto* self = const_cast<FakeQtPlatform*>(this);
        auto* socket = new FakeWebSocket(self->socketLog);
        self->lastSocket = socket;
        return {socket, [](IWebSocket* s) {
                    if (s != nullptr) {
                        s->resetEventHandlers();
                        delete s;
                    }
                }};
    }
    void setProxyCredentialsAcceptedHandler(ProxyCredentialsAcceptedHandler&&) override {}
    void setProxyCredentialsRequestedHandler(ProxyCredentialsRequestedHandler&&) override {}
    void setMetricsCollector(std::weak_ptr<common::metrics::IMetricsCollector>) override {}
    void setQtLoggingSink(std::unique_ptr<IQtLoggingSink>&&) override {}

    // The queries executed and not yet answered, oldest first.
    const std::deque<FakeHttpQuery*>& pending() const { return _executed; }

    // Answers the oldest executed query; false when none is waiting.
    bool deliver(const ScriptedQtAnswer& answer) {
        if (_executed.empty()) {
            return false;
        }
        FakeHttpQuery* query = _executed.front();
        _executed.pop_front();
        requests.push_back(query->request);
        query->answer(answer);
        return true;
    }

    std::shared_ptr<FakeWebSocket::Log> socketLog = std::make_shared<FakeWebSocket::Log>();
    FakeWebSocket* lastSocket = nullptr;
    int queriesCreated = 0;
    int queriesDestroyed = 0;
    // Every request that was answered, in order.
    std::vector<FakeHttpQuery::Request> requests;

private:
    void forget(FakeHttpQuery* query) {
        ++queriesDestroyed;
        for (auto it = _executed.begin(); it != _executed.end(); ++it) {
            if (*it == query) {
                _executed.erase(it);
                break;
            }
        }
    }

    std::deque<FakeHttpQuery*> _executed;
};

}  // namespace testsupport
