#pragma once

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace common {

// The property list of one launchd job, in the XML form of property lists.
struct LaunchJob {
    std::string label;
    // The program path, then every argument in order.
    std::vector<std::string> programArguments;
    std::string workingDirectory;
    // Agents are limited to the "Aqua" and "LoginWindow" session types.
    bool agent = false;
};

class LaunchJobPlist {
public:
    // The XML text; false (and no text) when a value cannot be carried by an XML property list
    // (invalid UTF-8, or a control character other than tab, line feed and carriage return).
    static bool render(const LaunchJob& job, std::string& xml);

    // Writes the property list at `file` (created 0644 or truncated, not atomically). A symbolic
    // link at `file` is not followed and anything but a plain file with one link is left alone;
    // those, and every write error, answer false. A file left incomplete is removed.
    static bool write(const boost::filesystem::path& file, const LaunchJob& job);
};

}  // namespace common
