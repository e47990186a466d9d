#include "common/connectioncontroller/IConnectionController.h"

namespace common {

const char* IConnectionController::toString(State state) {
    switch (state) {
        case State::Disconnected:
            return "Disconnected";
        case State::Connecting:
            return "Connecting";
        case State::Connected:
            return "Connected";
        case State::Disconnecting:
            return "Disconnecting";
        case State::Restarting:
            return "Restarting";
    }
    return "Unknown";
}

const char* IConnectionController::toString(Event event) {
    switch (event) {
        case Event::Start:
            return "Start";
        case Event::Stop:
            return "Stop";
        case Event::Restart:
            return "Restart";
        case Event::Connected:
            return "Connected";
        case Event::Disconnected:
            return "Disconnected";
        case Event::MessageReceive:
            return "MessageReceive";
        case Event::MessageSend:
            return "MessageSend";
        case Event::FatalError:
            break;
    }
    return "Unknown";
}

}  // namespace common
