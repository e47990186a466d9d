#pragma once

#include <string>
#include <vector>

namespace helper {

// The forms of helper command lines and helper requests that go into the log: the value after
// every secret option ("-MonitoringToken", any name ending in "Token" or "Password", "Encrypted",
// "Salt") shows as "***".
class RequestLogText {
public:
    // The arguments with every element that follows a secret option replaced by "***" (an
    // empty value stays empty). The daemon writes its options and values pairwise, so the
    // element after an option is its value even when that value begins with "-".
    static std::vector<std::string> maskArguments(const std::vector<std::string>& arguments);

    // The arguments masked and joined with single spaces.
    static std::string commandLine(const std::vector<std::string>& arguments);

    // A request text with the values of secret options in its "arguments" list masked; any
    // other text, or one that is not a launch request, unchanged.
    static std::string requestText(const std::string& text);
};

}  // namespace helper
