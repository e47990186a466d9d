// Sends log records to a JSON sink over the data link, as a companion program does, for the
// sink's tests.
//
//   jsonsink_forwarder <prefix> <participant>
//
// Sends, in this order: an Info record with a tag, a Warning record holding a secret, a text
// that is not JSON, a record whose "_epochMillis" is a string, a record of level 7, and an
// Error record whose message is far too long for one message. Exits with 0 when the queue took
// every message.
#include <chrono>
#include <string>
#include <vector>

#include "common/jsonsink/ForwardedLogRecord.h"
#include "interprocess/datalink/IDataLink.h"

namespace {

common::ILoggerSink::Record record(common::ILogger::Level level, const std::string& message,
                                   const std::string& tag) {
    common::ILoggerSink::Record r;
    r._app = "Helper";
    r._epochMillis = 1796828727005ULL;
    r._threadId = "0x1f";
    r._isMainThread = true;
    r._level = level;
    r._facility = "Forwarder";
    r._message = message;
    r._tag = tag;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const std::string participant = argv[2];
    auto link = interprocess::IDataLink::create(argv[1], participant);
    const std::size_t limit = common::ForwardedLogRecord::maxPayloadSize(participant);
    const std::vector<std::string> texts = {
        common::ForwardedLogRecord::write(record(common::ILogger::Info, "hello", "checkpoint"),
                                          limit),
        common::ForwardedLogRecord::write(
            record(common::ILogger::Warning, R"(login {"sensitive":"hunter2"} done)", ""), limit),
        "this is not json",
        R"({"_app":"Helper","_epochMillis":"12","_message":"bad time"})",
        R"({"_app":"Helper","_level":7,"_message":"odd level"})",
        common::ForwardedLogRecord::write(
            record(common::ILogger::Error, "long:" + std::string(40000, 'x'), ""), limit),
    };
    int failures = 0;
    for (const auto& text : texts) {
        const std::vector<signed char> payload(text.begin(), text.end());
        if (!link->send(common::ForwardedLogRecord::kParticipant, 0, payload, true)) {
            ++failures;
        }
    }
    link->stop();
    return failures == 0 ? 0 : 1;
}
