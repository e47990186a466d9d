#pragma once

#include <string>
#include <vector>

namespace common {

// Parameters whose values never appear in a log in clear: names ending in "Token" or
// "Password", and "Encrypted" and "Salt" (compared without regard to case, since the
// command-line layer keeps its names in lower case).
class SecretParams {
public:
    static bool isSecret(const std::string& name);

    // "***" in place of a secret parameter's non-empty value; any other value unchanged.
    static std::string mask(const std::string& name, const std::string& value);

    // A command line (program path first) with the value after every secret "-Name" replaced
    // by "***", read with the rules of the command-line layer.
    static std::vector<std::string> maskCommandLine(const std::vector<std::string>& arguments);

    // The masked command line joined with single spaces, for a log line.
    static std::string commandLineForLog(const std::vector<std::string>& arguments);
};

}  // namespace common
