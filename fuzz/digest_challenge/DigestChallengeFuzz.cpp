// Property: any challenge text parses without fault, and the answer built from it stays on one
// header line (no CR or LF) with every quoted value properly closed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/network/DigestAuthentication.h"
#include "foundation/network/DigestKeyValueDictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto map = network::DigestKeyValueDictionary::ParseString(text);
    for (const auto& entry : map) {
        if (entry.first.empty()) {
            std::abort();
        }
    }

    network::DigestAuthentication digest(
        [](std::string& user, std::string& password) {
            user = "us\"er";
            password = "pass\\word";
        },
        "CONNECT", "host:443", "0a4f113b");
    digest.SetToken(text);
    const std::string token = digest.GetToken();
    if (token.find_first_of("\r\n") != std::string::npos) {
        std::abort();
    }
    // Outside quoted strings there is an even number of unescaped quotes.
    bool inQuotes = false;
    for (size_t i = 0; i < token.size(); ++i) {
        if (inQuotes && token[i] == '\\') {
            ++i;
            continue;
        }
        if (token[i] == '"') {
            inQuotes = !inQuotes;
        }
    }
    if (inQuotes) {
        std::abort();
    }
    return 0;
}
