// Masking of secrets in log messages, over any text: it never crashes, takes time in proportion
// to the text, and a secret planted in any text never reaches the log line.

#include <pthread.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/logger/ILoggerSink.h"

namespace {

using common::ILogger;
using Record = common::ILoggerSink::Record;

std::string logLine(const std::string& message) {
    const Record record(Record::Time(), pthread_self(), true, ILogger::Info, "Unattended", "Fuzz",
                        message, "");
    return record.toString(23);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Record::asteriskSensitiveMessage(text);
    Record::asteriskSensitiveMessage(Record::replaceEscapeCharachers(text));
    const std::string line = logLine(text);
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) {
        std::abort();  // a message forged a line of its own
    }

    // A secret inserted at any point of a text that holds no other secret, as plain or
    // pretty-printed JSON, never shows in the log line.
    // (The log line drops backslashes: the text must not hold either word without them.)
    const std::string plain = Record::replaceEscapeCharachers(text);
    if (plain.find("sensitive") != std::string::npos ||
        plain.find("SECRETVALUE") != std::string::npos) {
        return 0;
    }
    const std::string secret = "SECRETVALUE";
    const std::size_t at = size == 0 ? 0 : data[0] % (size + 1);
    for (const char* form :
         {"{\"sensitive\":\"SECRETVALUE\"}", "{ \"sensitive\" : \"SECRETVALUE\" }",
          "{\n    \"sensitive\": \"SECRETVALUE\"\n}"}) {
        const std::string message = text.substr(0, at) + form + text.substr(at);
        if (logLine(message).find(secret) != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
