#pragma once

#include <functional>
#include <string>

#include "interprocess/controller/IIpcControllerClient.h"
#include "unattended/backendmessages/BackendMessages.h"

namespace corvalis {
namespace unattended {

// The daemon's REST client: applet download parameters (with a PIN, or empty for the periodic
// check) and self-update parameters.
class IBackendEndpointCalls : public interprocess::IIpcControllerClient {
public:
    ~IBackendEndpointCalls() override = default;

    // False when the base address is empty (`done` is then never called); otherwise true, and
    // `done` is called once later.
    virtual bool requestAppletDownloadParam(
        const std::string& pinCode, std::function<void(bool, const DownloadApplet&)> done) = 0;
    virtual bool requestUnattendedUpdateParams(
        std::function<void(bool, const UpdateYourself&)> done) = 0;
};

}  // namespace unattended
}  // namespace corvalis
