#include "foundation/network/HTTPCloseStrategy.h"

namespace network {

namespace {

bool hasToken(const HTTPHeaderList& headers, const char* name, const char* token) {
    for (const std::string& value : headers.GetHeaders(name)) {
        std::size_t start = 0;
        while (start <= value.size()) {
            std::size_t end = value.find(',', start);
            if (end == std::string::npos) {
                end = value.size();
            }
            std::string piece = value.substr(start, end - start);
            const std::size_t b = piece.find_first_not_of(" \t");
            const std::size_t e = piece.find_last_not_of(" \t");
            piece = b == std::string::npos ? std::string() : piece.substr(b, e - b + 1);
            if (EqualsNoCase(piece, token)) {
                return true;
            }
            start = end + 1;
        }
    }
    return false;
}

}  // namespace

bool HTTPCloseStrategy::operator()(bool connectRequest, IHTTPConnection::HTTPVersion version,
                                   int status, const HTTPHeaderList& headers) const {
    if (connectRequest && status == 200) {
        return false;
    }
    const bool close =
        hasToken(headers, "Connection", "close") || hasToken(headers, "Proxy-Connection", "close");
    const bool keepAlive = hasToken(headers, "Connection", "keep-alive") ||
                           hasToken(headers, "Proxy-Connection", "keep-alive");
    if (version == IHTTPConnection::HTTPVersion::HTTP_1_0) {
        return !keepAlive || close;
    }
    return close;
}

}  // namespace network
