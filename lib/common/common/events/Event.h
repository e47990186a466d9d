#pragma once

#include "common/events/BaseEvent.h"

namespace common {
namespace events {

// Base of the concrete events: answers its type from the template argument. The argument is
// the type's number, so both Event<0> and Event<BaseEvent::LogonSessionChange> name the same
// class.
template <int T>
class Event : public BaseEvent {
public:
    static constexpr Type kType = static_cast<Type>(T);

    Type type() const override { return kType; }
};

}  // namespace events
}  // namespace common
