#pragma once

#include <boost/optional/optional.hpp>
#include <string>
#include <vector>

#include "foundation/persistence/JsonSerialization.h"
#include "helper/apptype/ApplicationType.h"

namespace helper {
namespace message {

// Asks the helper tool's agent to start a program in its user's session.
struct RequestLaunchApplication {
    ApplicationType application = ApplicationType::Service;
    // The program's command line after its path, UTF-8.
    boost::optional<std::vector<std::string>> arguments;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("application", application) &
            persistence::member_variable("arguments", arguments);
    }
};

}  // namespace message
}  // namespace helper
