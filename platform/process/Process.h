#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace standin {

// Starts external programs with an argument vector and waits for them. Nothing goes through a
// shell: the program is found on PATH when its name holds no "/", and every argument reaches it
// exactly as given (an empty argument stays an empty argument).
class Process {
public:
    struct Options {
        // Collect the program's standard output (its standard error stays inherited).
        bool captureOutput = false;
        // At most this many bytes of output are kept; the rest is read and dropped.
        std::size_t maxOutput = 16 * 1024 * 1024;
    };

    struct Result {
        // False when the program could not be started; `status` then reads as exit code 127,
        // as from a shell that could not run the command.
        bool started = false;
        // The raw wait status as `waitpid` (and `system`) give it.
        int status = 0;
        // errno of a failed start or wait, else 0.
        int error = 0;
        std::string output;

        // The exit code when the program exited normally, else -1.
        int exitCode() const { return Process::exitCode(status); }
        // True when the program exited normally with code 0.
        bool succeeded() const { return started && exitCode() == 0; }
    };

    // Runs `program` with `arguments` (argv[1..]; argv[0] is `program`) and waits until it ends.
    static Result run(const std::string& program, const std::vector<std::string>& arguments,
                      const Options& options);
    static Result run(const std::string& program, const std::vector<std::string>& arguments);

    // Starts `program` without waiting; answers its process id, or -1 with errno set.
    static pid_t start(const std::string& program, const std::vector<std::string>& arguments);
    // Waits for (and so reaps) a child started with `start`; answers the raw wait status, or -1
    // with errno set.
    static int wait(pid_t pid);

    // The exit code of a raw wait status when the program exited normally, else -1.
    static int exitCode(int status);
};

// `value` as one word of a POSIX shell command: in single quotes, each single quote written as
// '\'' . The shell reads it back byte for byte and expands nothing inside.
std::string shellQuote(const std::string& value);

}  // namespace standin
