#pragma once

#include "common/events/BaseEvent.h"

namespace common {
namespace events {

// Base of the concrete events: answers its type from the template argument.
template <BaseEvent::Type T>
class Event : public BaseEvent {
public:
    static constexpr Type kType = T;

    Type type() const override { return T; }
};

}  // namespace events
}  // namespace common
