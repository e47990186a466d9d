// Command lines with any arguments (zero bytes separate them): parsing never crashes, every key
// is lower case and reads back, and a secret's value never shows in the masked forms.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/params/CommandLineParams.h"
#include "common/params/SecretParams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments{"/Applications/Program"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\0') {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    arguments.push_back(current);

    common::CommandLineParams params(arguments);
    for (const auto& key : params.getKeys()) {
        for (const char c : key) {
            if (std::tolower(static_cast<unsigned char>(c)) != static_cast<unsigned char>(c)) {
                std::abort();
            }
        }
        if (!params.hasValue(key)) {
            std::abort();
        }
        params.getValue(key, "");
    }
    params.toString();
    if (params.setValue("a", "b")) {
        std::abort();  // read-only
    }

    const std::vector<std::string> masked = common::SecretParams::maskCommandLine(arguments);
    if (masked.size() != arguments.size()) {
        std::abort();
    }
    const std::string line = common::SecretParams::commandLineForLog(arguments);
    // The value after "-DeviceToken" never shows.
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-DeviceToken" && arguments[i + 1].size() >= 8 &&
            arguments[i + 1][0] != '-' && arguments[i + 1].find("***") == std::string::npos &&
            masked[i + 1].find(arguments[i + 1]) != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
