// Property: the response reader gives the same result (state, failure code, status, headers,
// body and the bytes left over) whether the stream arrives in one piece or split at any points;
// the first two input bytes choose the split points and the request kind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/network/HTTPResponseParser.h"

namespace {

struct Result {
    bool complete;
    bool failed;
    int code;
    int status;
    std::string headers;
    std::string body;
    std::string rest;

    bool operator==(const Result& o) const {
        return complete == o.complete && failed == o.failed && code == o.code &&
               status == o.status && headers == o.headers && body == o.body && rest == o.rest;
    }
};

Result run(const uint8_t* data, size_t size, const std::vector<size_t>& cuts, bool end,
           network::HTTPResponseParser::Options options) {
    network::HTTPResponseParser parser(options);
    Result result{};
    size_t start = 0;
    std::vector<size_t> bounds = cuts;
    bounds.push_back(size);
    for (const size_t bound : bounds) {
        if (bound < start || bound > size) {
            continue;
        }
        const size_t consumed = parser.Feed(data + start, bound - start);
        if (consumed > bound - start) {
            std::abort();
        }
        result.rest.append(reinterpret_cast<const char*>(data + start + consumed),
                           bound - start - consumed);
        start = bound;
    }
    if (end) {
        parser.FeedEnd();
    }
    result.complete = parser.IsComplete();
    result.failed = parser.HasFailed();
    if (result.failed) {
        result.rest.clear();
    }
    result.code = result.failed ? static_cast<int>(parser.GetFailureCode()) : -1;
    result.status = parser.GetStatus();
    for (const auto& header : parser.GetHeaders()) {
        result.headers += header.first + '\0' + header.second + '\0';
    }
    const auto body = parser.TakeBody();
    result.body.assign(body.begin(), body.end());
    if (result.complete && result.failed) {
        std::abort();
    }
    if (result.complete && (result.status < 100 || result.status > 999)) {
        std::abort();
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t control = data[0];
    const uint8_t step = static_cast<uint8_t>(data[1] | 1);
    data += 2;
    size -= 2;
    network::HTTPResponseParser::Options options;
    options.connectRequest = (control & 1) != 0;
    options.headRequest = (control & 2) != 0;
    const bool end = (control & 4) != 0;

    const Result whole = run(data, size, {}, end, options);
    std::vector<size_t> cuts;
    for (size_t at = step; at < size; at += step + (control >> 4)) {
        cuts.push_back(at);
    }
    if (!(run(data, size, cuts, end, options) == whole)) {
        std::abort();
    }
    std::vector<size_t> everyByte;
    for (size_t at = 1; at < size && size < 2048; ++at) {
        everyByte.push_back(at);
    }
    if (!(run(data, size, everyByte, end, options) == whole)) {
        std::abort();
    }
    return 0;
}
