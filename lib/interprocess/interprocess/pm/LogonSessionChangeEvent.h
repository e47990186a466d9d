#pragma once

#include <cstdint>

#include "common/events/Event.h"

namespace common {
namespace events {

// Posted on the event bus when the user at the console changes. The two values are 0 and 5;
// nobody reads them.
class LogonSessionChangeEvent : public Event<0> {
public:
    LogonSessionChangeEvent(std::int32_t first = 0, std::int32_t second = 5)
        : _first(first), _second(second) {}

    std::int32_t first() const { return _first; }
    std::int32_t second() const { return _second; }

private:
    std::int32_t _first;
    std::int32_t _second;
};

}  // namespace events
}  // namespace common
