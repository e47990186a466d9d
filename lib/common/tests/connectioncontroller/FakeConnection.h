#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/connectioncontroller/IConnection.h"

namespace connectiontest {

// What a FakeConnection was asked to do; kept by the test after the connection was handed over,
// and valid after the connection is gone.
struct ConnectionLog {
    std::vector<std::string> connects;
    int disconnects = 0;
    std::vector<common::IConnectionDelegate::DisconnectReason> reasons;
    std::vector<std::pair<std::string, std::string>> headers;
    int headerClears = 0;
    std::vector<std::pair<std::wstring, std::wstring>> credentials;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::function<void(bool)>> sendCallbacks;
    bool destroyed = false;

    common::IConnectionDelegate::DisconnectReason reason() const {
        return reasons.empty() ? common::IConnectionDelegate::Reconnect : reasons.back();
    }
};

// A connection that records every call and lets the test play the socket's reports.
class FakeConnection : public common::IConnection {
public:
    explicit FakeConnection(std::shared_ptr<ConnectionLog> log) : _log(std::move(log)) {}
    ~FakeConnection() override { _log->destroyed = true; }

    std::map<std::string, std::string> getConnectionHeaders() override { return {}; }
    void addToConnectionHeader(const std::string& name, const std::string& value) override {
        _log->headers.emplace_back(name, value);
    }
    void clearConnectionHeader() override {
        _log->headers.clear();
        ++_log->headerClears;
    }
    void connect(const std::string& url) override { _log->connects.push_back(url); }
    void disconnect() override { ++_log->disconnects; }
    void send(const std::vector<uint8_t>& message, std::function<void(bool)> callback) override {
        _log->sent.push_back(message);
        _log->sendCallbacks.push_back(std::move(callback));
    }
    void setProxyUserPass(const std::wstring& user, const std::wstring& password) override {
        _log->credentials.emplace_back(user, password);
    }
    void setDisconnectReason(common::IConnectionDelegate::DisconnectReason reason) override {
        _log->reasons.push_back(reason);
    }

    // The socket's reports, as a real connection gives them to its delegate (if any).
    void reportConnected(const std::string& host = "", uint16_t port = 0) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionConnected(host, port, "", "");
        }
    }
    // With the stored reason, as the contract asks.
    void reportDisconnected() {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionDisconnected(_log->reason());
        }
    }
    void reportDisconnected(common::IConnectionDelegate::DisconnectReason reason) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionDisconnected(reason);
        }
    }
    void reportMessage(const std::vector<uint8_t>& message) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionMessageReceived(message);
        }
    }
    void reportProxyCredentialsRequired(const std::string& proxy) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionRequestProxyCredentials(proxy);
        }
    }
    void reportFatalError() {
        if (auto* delegate = getDelegate()) {
            delegate->onFatalConnectionError();
        }
    }

private:
    std::shared_ptr<ConnectionLog> _log;
};

}  // namespace connectiontest
