#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace helper {

// Runs the helper tool with an argument vector (never through a shell) and waits for it, with a
// bound: a helper tool that has not ended when the time limit passes is killed and counts as
// failed, so the daemon's main thread cannot hang on it.
class HelperCommand {
public:
    struct Result {
        bool started = false;
        bool timedOut = false;
        // The raw wait status, as `system` would give it; 127 << 8 when not started.
        int status = 127 << 8;

        bool succeeded() const { return started && !timedOut && status == 0; }
    };

    static constexpr std::chrono::milliseconds kDefaultTimeLimit = std::chrono::minutes(5);

    static Result run(const std::string& program, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeLimit = kDefaultTimeLimit);
};

}  // namespace helper
