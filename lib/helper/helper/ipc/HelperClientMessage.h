#pragma once

#include <boost/variant/variant.hpp>

#include "foundation/persistence/JsonSerialization.h"
#include "helper/ipc/RequestKillApplication.h"
#include "helper/ipc/RequestLaunchApplication.h"

namespace helper {
namespace message {

// One request of the helper request queue:
// {"message":{...,"$":"RequestLaunchApplication"}} or
// {"message":{...,"$":"RequestKillApplication"}}.
struct HelperClientMessage {
    boost::variant<RequestLaunchApplication, RequestKillApplication> message;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("message", message);
    }
};

}  // namespace message
}  // namespace helper
