#pragma once

#include <string>

#include "common/connectioncontroller/IConnectionControllerDelegate.h"
#include "common/delegate/Delegate.h"
#include "interprocess/controller/IIpcControllerClient.h"
#include "unattended/sessioncontroller/ISessionControllerDelegate.h"

namespace corvalis {
namespace unattended {

// The daemon's session with the backend: the connection, the device report, the backend's
// acceptance, heartbeats, the backend's messages, update checks and the UI agent's requests.
class ISessionController : public common::Delegate<ISessionControllerDelegate>,
                           public common::IConnectionControllerDelegate,
                           public interprocess::IIpcControllerClient {
public:
    using StopReason = ISessionControllerDelegate::StopReason;

    ~ISessionController() override = default;

    virtual void startSession(const std::string& url) = 0;
    virtual void stopSession(StopReason reason) = 0;
    virtual void requestReconnect() = 0;
    virtual void startUnattendedUpdateChecking() = 0;
    virtual void startAppletUpdateChecking() = 0;
    // Reports an error of the daemon to the backend.
    virtual void onFatalErrorOccured(const std::string& text) = 0;
};

}  // namespace unattended
}  // namespace corvalis
