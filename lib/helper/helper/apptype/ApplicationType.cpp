#include "helper/apptype/ApplicationType.h"

namespace helper {

const char* ToString(const ApplicationType& application) {
    switch (application) {
        case ApplicationType::Service:
            return "Service";
        case ApplicationType::AppletUi:
            return "AppletUi";
        case ApplicationType::ProcessChecker:
            return "ProcessChecker";
        case ApplicationType::UnattendedUi:
            return "UnattendedUi";
    }
    return "";
}

ApplicationType getApplicationFromAddress(const std::string& address) {
    for (const ApplicationType kind :
         {ApplicationType::Service, ApplicationType::AppletUi, ApplicationType::UnattendedUi}) {
        const std::string name = ToString(kind);
        if (address.compare(0, name.size(), name) == 0) {
            return kind;
        }
    }
    return static_cast<ApplicationType>(0);
}

}  // namespace helper
