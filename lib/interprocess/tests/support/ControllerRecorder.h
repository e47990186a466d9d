#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "helper/apptype/ApplicationType.h"
#include "interprocess/controller/IIpcControllerClient.h"

namespace ipctest {

// What an IPC controller reported to its client, one line per report.
class ControllerRecorder : public interprocess::IIpcControllerClient {
public:
    void onIpcClientConnected(const std::string& address) override {
        events.push_back("connected " + address);
    }
    void onIpcClientDisconnected(const std::string& address) override {
        events.push_back("disconnected " + address);
    }
    void onIpcClientMessageReceived(const helper::ApplicationType& application,
                                    const std::string& json) override {
        events.push_back("message " + std::to_string(static_cast<int>(application)) + " " + json);
    }
    void onIpcClientSynchronousMessageReceived(const helper::ApplicationType& application,
                                               const std::string& json) override {
        events.push_back("sync " + std::to_string(static_cast<int>(application)) + " " + json);
    }
    bool has(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    std::vector<std::string> events;
};

}  // namespace ipctest
