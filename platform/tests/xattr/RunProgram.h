#pragma once

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

#include "platform/process/Process.h"

namespace testsupport {

// Runs a program found on PATH with the argument vector (program name first) and waits for it;
// its standard output is collected and dropped. The exit code; -1 when it could not be started
// or did not exit normally.
inline int runProgram(const std::vector<std::string>& arguments) {
    standin::Process::Options quiet;
    quiet.captureOutput = true;
    const auto result = standin::Process::run(
        arguments.front(), std::vector<std::string>(arguments.begin() + 1, arguments.end()), quiet);
    return result.started ? result.exitCode() : -1;
}

// Sets the extended attribute `name` (the full name, "user.…") of `path` to `value` with the
// `setfattr` command. Values starting with "0x" are taken by setfattr as hexadecimal bytes.
inline bool setAttribute(const boost::filesystem::path& path, const std::string& name,
                         const std::string& value) {
    return runProgram({"setfattr", "-n", name, "-v", value, path.string()}) == 0;
}

// Whether the file system of `folder` keeps user extended attributes.
inline bool userAttributesSupported(const boost::filesystem::path& folder) {
    return setAttribute(folder, "user.orv.probe", "1") &&
           runProgram({"setfattr", "-x", "user.orv.probe", folder.string()}) == 0;
}

}  // namespace testsupport
