#pragma once

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace launchctltest {

// One invocation recorded by the launchctl or su stand-in of bin/.
struct Invocation {
    std::string program;
    std::vector<std::string> arguments;

    bool operator==(const Invocation& other) const {
        return program == other.program && arguments == other.arguments;
    }
};

// The invocations recorded in `log`, in order; an empty list when the file does not exist.
std::vector<Invocation> readInvocations(const boost::filesystem::path& log);

std::ostream& operator<<(std::ostream& out, const Invocation& invocation);

}  // namespace launchctltest
