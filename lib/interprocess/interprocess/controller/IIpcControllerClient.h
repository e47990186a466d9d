#pragma once

#include <string>

#include "helper/apptype/ApplicationType.h"

namespace interprocess {

// An observer of the IPC controller; every operation is empty by default. Called on the main
// thread.
class IIpcControllerClient {
public:
    virtual ~IIpcControllerClient() = default;

    virtual void onIpcClientConnected(const std::string& /*address*/) {}
    virtual void onIpcClientDisconnected(const std::string& /*address*/) {}
    virtual void onIpcClientMessageReceived(const helper::ApplicationType& /*application*/,
                                            const std::string& /*json*/) {}
    virtual void onIpcClientSynchronousMessageReceived(
        const helper::ApplicationType& /*application*/, const std::string& /*json*/) {}
};

}  // namespace interprocess
