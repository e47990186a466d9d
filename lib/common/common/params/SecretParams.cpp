#include "common/params/SecretParams.h"

#include "common/params/ParamText.h"

namespace common {

using paramtext::isCommandLineKey;
using paramtext::lowerCase;

namespace {

const char* const kMask = "***";

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

bool SecretParams::isSecret(const std::string& name) {
    const std::string lower = lowerCase(name);
    return endsWith(lower, "token") || endsWith(lower, "password") || lower == "encrypted" ||
           lower == "salt";
}

std::string SecretParams::mask(const std::string& name, const std::string& value) {
    if (value.empty() || !isSecret(name)) {
        return value;
    }
    return kMask;
}

std::vector<std::string> SecretParams::maskCommandLine(const std::vector<std::string>& arguments) {
    std::vector<std::string> result(arguments);
    for (size_t i = 1; i < result.size(); ++i) {
        if (!isCommandLineKey(arguments[i])) {
            continue;
        }
        const bool hasValue = i + 1 < arguments.size() && !isCommandLineKey(arguments[i + 1]);
        if (hasValue) {
            result[i + 1] = mask(arguments[i].substr(1), arguments[i + 1]);
            ++i;
        }
    }
    return result;
}

std::string SecretParams::commandLineForLog(const std::vector<std::string>& arguments) {
    std::string line;
    bool first = true;
    for (const auto& argument : maskCommandLine(arguments)) {
        if (!first) {
            line += ' ';
        }
        line += argument;
        first = false;
    }
    return line;
}

}  // namespace common
