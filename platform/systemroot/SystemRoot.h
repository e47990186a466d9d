#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

namespace standin {

// The folder that stands for "/" wherever the programs touch a system location. It is "/"
// unless the environment variable ORV_SYSTEM_ROOT names another folder (tests always do).
class SystemRoot {
public:
    static boost::filesystem::path path();
    // The system location `absolute` (written as on the real system, e.g. "/Library/...")
    // below the system root.
    static boost::filesystem::path resolve(const std::string& absolute);
};

}  // namespace standin
