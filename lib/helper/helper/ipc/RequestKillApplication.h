#pragma once

#include "foundation/persistence/JsonSerialization.h"
#include "helper/apptype/ApplicationType.h"

namespace helper {
namespace message {

// Asks the helper tool's agent to stop a program it started.
struct RequestKillApplication {
    ApplicationType application = ApplicationType::Service;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("application", application);
    }
};

}  // namespace message
}  // namespace helper
