#pragma once

#include <string>

// Small Qt-backed helpers for the daemon.
class QtUtils {
public:
    // The long display name of the system time zone for standard time in the default locale,
    // as UTF-8.
    static std::string getTimeZone();
};
