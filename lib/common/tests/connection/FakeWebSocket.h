#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/INetworkFactory.h"
#include "foundation/network/IWebSocket.h"

namespace connectiontest {

// What one FakeWebSocket was asked to do; the test completes its operations.
struct WebSocketScript {
    std::string url;
    std::map<std::string, std::string> headers;
    network::IWebSocket::ConnectCallback connect;
    std::vector<network::IWebSocket::SendCallback> sends;
    std::vector<std::string> sent;
    std::vector<network::IWebSocket::ReceiveCallback> receives;
    std::vector<network::IWebSocket::CloseCallback> closes;

    void completeConnect(int status) {
        auto done = std::move(connect);
        connect = nullptr;
        done(static_cast<network::HTTPStatusCode>(status), nullptr);
    }
    void completeReceive(network::ITCPSocket::ErrorCode code, const std::string& payload = {}) {
        auto done = std::move(receives.back());
        receives.pop_back();
        done(code, network::IWebSocket::Payload(
                       reinterpret_cast<const unsigned char*>(payload.data()), payload.size()));
    }
};

class FakeWebSocket : public network::IWebSocket {
public:
    explicit FakeWebSocket(std::shared_ptr<WebSocketScript> script) : _script(std::move(script)) {}
    void Connect(const std::string& url, ConnectCallback&& done) override {
        Connect(url, {}, std::move(done));
    }
    void Connect(const std::string& url, std::map<std::string, std::string>&& headers,
                 ConnectCallback&& done) override {
        _script->url = url;
        _script->headers = std::move(headers);
        _script->connect = std::move(done);
    }
    void Send(Payload&& payload, SendCallback&& done) override {
        _script->sent.emplace_back(payload.begin(), payload.end());
        _script->sends.push_back(std::move(done));
    }
    void Receive(ReceiveCallback&& done) override { _script->receives.push_back(std::move(done)); }
    void Close(CloseCallback&& done) override { _script->closes.push_back(std::move(done)); }

private:
    std::shared_ptr<WebSocketScript> _script;
};

class FakeConnectivity : public network::INetworkConnectivity {
public:
    void NotifyDataTransfer() override {}
    bool IsNetworkReachable() override { return true; }
    void DisableNetworkConnectivity(bool) override {}
    void SetAutomaticProxyEnabled(bool) override {}
    void SetProxy(const network::URL& url) override { proxy = url; }
    void SetProxyCredentials(const std::string& u, const std::string& p) override {
        user = u;
        password = p;
        ++credentialCalls;
    }
    void GetProxyCredentials(std::string& u, std::string& p) override {
        u = user;
        p = password;
    }
    network::URL GetProxyForURL(const std::string&) override { return proxy; }
    network::SocketSignals& GetSocketSignals() override { return signals; }

    network::URL proxy;
    std::string user;
    std::string password;
    int credentialCalls = 0;
    network::SocketSignals signals;
};

// Hands out FakeWebSockets, each with a script the test reads.
class FakeFactory : public network::INetworkFactory {
public:
    std::shared_ptr<network::ITCPSocket> CreateTCPSocket() override { return nullptr; }
    std::shared_ptr<network::IHTTPConnection> CreateHTTPConnection() override { return nullptr; }
    std::shared_ptr<network::IWebSocket> CreateWebSocket() override {
        scripts.push_back(std::make_shared<WebSocketScript>());
        return std::make_shared<FakeWebSocket>(scripts.back());
    }
    std::shared_ptr<network::INetworkConnectivity> GetNetworkConnectivity() override {
        return connectivity;
    }
    std::shared_ptr<network::HTTPCookieStore> GetCookieStore() override { return nullptr; }

    std::vector<std::shared_ptr<WebSocketScript>> scripts;
    std::shared_ptr<FakeConnectivity> connectivity = std::make_shared<FakeConnectivity>();
};

}  // namespace connectiontest
