// The WebSocket frame reader on arbitrary server bytes: fed whole and fed in pieces whose
// sizes come from the first input byte, it must report the same events, never ask for zero
// bytes while not failed, and never deliver more than its size limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/network/WebSocketFrameReader.h"

namespace {

using network::WebSocketFrameReader;

std::vector<std::string> Events(const uint8_t* data, std::size_t size, std::size_t piece) {
    WebSocketFrameReader reader(4096);
    std::vector<std::string> events;
    std::size_t at = 0;
    while (at < size) {
        if (reader.Needed() == 0) {
            std::abort();  // only a failed reader needs nothing
        }
        const std::size_t n = std::min(piece, size - at);
        std::size_t consumed = 0;
        const auto result = reader.Feed(data + at, n, consumed);
        if (consumed == 0 || consumed > n) {
            std::abort();
        }
        at += consumed;
        if (result == WebSocketFrameReader::Result::Error) {
            events.push_back("error " + reader.GetError());
            break;
        }
        if (result != WebSocketFrameReader::Result::NeedMore) {
            const auto payload = reader.TakePayload();
            const bool control = result != WebSocketFrameReader::Result::Message;
            if ((control && payload.size() > WebSocketFrameReader::kMaxControlPayload) ||
                payload.size() > 4096) {
                std::abort();
            }
            events.push_back(std::to_string(static_cast<int>(result)) + ":" +
                             std::string(payload.begin(), payload.end()));
        }
    }
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t piece = 1 + data[0] % 7;
    if (Events(data + 1, size - 1, size) != Events(data + 1, size - 1, piece)) {
        std::abort();
    }
    return 0;
}
