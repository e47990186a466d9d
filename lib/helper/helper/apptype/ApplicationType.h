#pragma once

#include <cstdint>
#include <string>

namespace helper {

// The kinds of program of the system. JSON form: the integer. 0 stands for no known kind.
enum class ApplicationType : std::int32_t {
    Service = 1,         // the daemon
    AppletUi = 2,        // no program of this system runs under this kind
    ProcessChecker = 3,  // the helper tool's agent
    UnattendedUi = 4,    // the UI agent
};

// The kind's name ("Service", "AppletUi", "ProcessChecker", "UnattendedUi"); an empty text for
// 0 and for values above 4.
const char* ToString(const ApplicationType& application);

// The kind whose name begins the address, trying Service, AppletUi and UnattendedUi in this
// order ("UnattendedUi-501" is UnattendedUi); 0 when none does.
ApplicationType getApplicationFromAddress(const std::string& address);

}  // namespace helper
