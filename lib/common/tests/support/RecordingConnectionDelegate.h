#pragma once

#include <string>
#include <vector>

#include "common/connectioncontroller/IConnectionDelegate.h"

namespace testsupport {

// Every report of a connection, as one line each: "connected <host>:<port> <user> <password>",
// "disconnected <reason>", "message <text>", "proxy <text>", "fatal".
class RecordingConnectionDelegate : public common::IConnectionDelegate {
public:
    void onConnectionConnected(std::string host, uint16_t port, std::string user,
                               std::string password) const override {
        events.push_back("connected " + host + ":" + std::to_string(port) + " " + user + " " +
                         password);
    }
    void onConnectionDisconnected(const DisconnectReason& reason) const override {
        events.push_back("disconnected " + std::to_string(static_cast<int>(reason)));
    }
    void onConnectionMessageReceived(const std::vector<uint8_t>& message) const override {
        events.push_back("message " + std::string(message.begin(), message.end()));
    }
    void onConnectionRequestProxyCredentials(const std::string& proxy) override {
        events.push_back("proxy " + proxy);
    }
    void onFatalConnectionError() override { events.push_back("fatal"); }

    mutable std::vector<std::string> events;
};

}  // namespace testsupport
