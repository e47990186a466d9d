#include "helper/client/HelperCommand.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#include <thread>

#include "platform/process/Process.h"

namespace helper {

constexpr std::chrono::milliseconds HelperCommand::kDefaultTimeLimit;

HelperCommand::Result HelperCommand::run(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         std::chrono::milliseconds timeLimit) {
    Result result;
    const pid_t pid = standin::Process::start(program, arguments);
    if (pid < 0) {
        return result;
    }
    result.started = true;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.status = status;
            return result;
        }
        if (done < 0 && errno != EINTR) {
            result.status = 127 << 8;
            return result;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    // Out of time: end it and reap it, so no zombie is left behind.
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.timedOut = true;
    result.status = status;
    return result;
}

}  // namespace helper
