#pragma once

namespace common {
namespace events {

// An event of the process-wide event bus, identified by its type.
class BaseEvent {
public:
    enum Type : int {
        LogonSessionChange = 0,  // the console user changed
    };

    BaseEvent() = default;
    virtual ~BaseEvent() = default;

    virtual Type type() const = 0;
};

}  // namespace events
}  // namespace common
