#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <boost/filesystem/path.hpp>
#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

// Runs a program found on PATH with the argument vector (program name first), its standard
// output and error going to /dev/null, and waits for it. The exit code; -1 when it could not be
// started or did not exit normally.
inline int runProgram(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
