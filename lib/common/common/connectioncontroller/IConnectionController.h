#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/connectioncontroller/IConnectionControllerDelegate.h"
#include "common/delegate/Delegate.h"

namespace common {

// The backend connection as its user sees it: start, stop, restart, send, and the headers and
// proxy credentials of the connection. Requests run later as tasks of the controller's queue.
class IConnectionController : public Delegate<IConnectionControllerDelegate> {
public:
    enum class State : int32_t {
        Disconnected = 0,
        Connecting = 1,
        Connected = 2,
        Disconnecting = 3,
        Restarting = 4,
    };

    enum class Event : int32_t {
        Start = 0,
        Stop = 1,
        Restart = 2,
        Connected = 3,
        Disconnected = 4,
        MessageReceive = 5,
        MessageSend = 6,
        FatalError = 7,
    };

    ~IConnectionController() override = default;

    virtual void requestStart(const std::string& url) = 0;
    virtual void requestStop() = 0;
    virtual void requestRestart() = 0;
    // The completion gets true once the connection has written the message, false otherwise.
    virtual void requestSendMessage(const std::vector<uint8_t>& message,
                                    std::function<void(bool)> completion) = 0;
    virtual void setProxyUserPass(const std::wstring& user, const std::wstring& password) = 0;
    virtual void addToConnectionHeader(const std::string& name, const std::string& value) = 0;
    virtual void clearConnectionHeader() = 0;

    // The names the controller logs; "Unknown" for any other value.
    static const char* toString(State state);
    static const char* toString(Event event);
};

}  // namespace common
