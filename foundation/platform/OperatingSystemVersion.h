#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

namespace platform {

// The operating system's major, minor and maintenance version numbers in decimal joined by "."
// ("12.0.0", "22.4.0"), from VERSION_ID of /etc/os-release below the system root; numbers it
// does not give are 0. Empty when the file or the value is missing or does not begin with a
// number.
std::string GetOperatingSystemVersion();
// The same below another root folder.
std::string GetOperatingSystemVersion(const boost::filesystem::path& root);

}  // namespace platform
