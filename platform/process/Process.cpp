#include "platform/process/Process.h"

#include <algorithm>

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace standin {

namespace {

// A shell that cannot run a command reports exit code 127.
constexpr int kNotStartedStatus = 127 << 8;

std::vector<char*> argumentVector(const std::string& program,
                                  const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

class FileActions {
public:
    FileActions() { _valid = posix_spawn_file_actions_init(&_actions) == 0; }
    ~FileActions() {
        if (_valid) {
            posix_spawn_file_actions_destroy(&_actions);
        }
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    bool valid() const { return _valid; }
    posix_spawn_file_actions_t* get() { return &_actions; }

private:
    posix_spawn_file_actions_t _actions{};
    bool _valid = false;
};

// Spawns the program; with `outputFd` >= 0 its standard output goes there.
int spawn(const std::string& program, const std::vector<std::string>& arguments, int outputFd,
          pid_t& pid) {
    if (program.empty()) {
        return ENOENT;
    }
    FileActions actions;
    if (!actions.valid()) {
        return ENOMEM;
    }
    if (outputFd >= 0) {
        const int rc = posix_spawn_file_actions_adddup2(actions.get(), outputFd, STDOUT_FILENO);
        if (rc != 0) {
            return rc;
        }
    }
    auto argv = argumentVector(program, arguments);
    return posix_spawnp(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
}

}  // namespace

pid_t Process::start(const std::string& program, const std::vector<std::string>& arguments) {
    pid_t pid = -1;
    const int rc = spawn(program, arguments, -1, pid);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

int Process::wait(pid_t pid) {
    int status = 0;
    for (;;) {
        const pid_t rc = waitpid(pid, &status, 0);
        if (rc == pid) {
            return status;
        }
        if (rc < 0 && errno != EINTR) {
            return -1;
        }
    }
}

int Process::exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Process::Result Process::run(const std::string& program,
                             const std::vector<std::string>& arguments) {
    return run(program, arguments, Options{});
}

Process::Result Process::run(const std::string& program, const std::vector<std::string>& arguments,
                             const Options& options) {
    Result result;
    result.status = kNotStartedStatus;

    int pipeFds[2] = {-1, -1};
    if (options.captureOutput && pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.error = errno;
        return result;
    }

    pid_t pid = -1;
    const int rc = spawn(program, arguments, pipeFds[1], pid);
    if (pipeFds[1] >= 0) {
        close(pipeFds[1]);
    }
    if (rc != 0) {
        if (pipeFds[0] >= 0) {
            close(pipeFds[0]);
        }
        result.error = rc;
        return result;
    }
    result.started = true;

    if (pipeFds[0] >= 0) {
        char chunk[16384];
        for (;;) {
            const ssize_t n = read(pipeFds[0], chunk, sizeof(chunk));
            if (n > 0) {
                const std::size_t room = options.maxOutput > result.output.size()
                                             ? options.maxOutput - result.output.size()
                                             : 0;
                result.output.append(chunk, std::min(room, static_cast<std::size_t>(n)));
            } else if (n == 0 || errno != EINTR) {
                break;
            }
        }
        close(pipeFds[0]);
    }

    const int status = wait(pid);
    if (status == -1) {
        result.error = errno;
        result.status = kNotStartedStatus;
    } else {
        result.status = status;
    }
    return result;
}

std::string shellQuote(const std::string& value) {
    std::string quoted = "'";
    for (const char c : value) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

}  // namespace standin
