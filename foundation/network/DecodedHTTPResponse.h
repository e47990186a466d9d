#pragma once

#include <memory>

#include "foundation/network/IHTTPResponse.h"

namespace network {

// A response with a Content-Encoding: headers from the inner response, the body decoded when
// the encoding is gzip (any case, blanks around it ignored) and passed through unchanged for
// every other encoding.
class DecodedHTTPResponse : public IHTTPResponse {
public:
    explicit DecodedHTTPResponse(std::unique_ptr<IHTTPResponse> inner);

    // Decodes the body now. False when it is labelled gzip and does not decode (corrupt,
    // truncated or larger than the decompression bound); the response must then not be handed
    // on as a success.
    bool Decode();

    std::string GetHeader(const std::string& name) const override;
    std::vector<std::string> GetHeaders(const std::string& name) const override;
    // The decoded body (decoding now when Decode was not called; a gzip body that does not
    // decode then gives an empty buffer).
    core::NonInitializingBuffer<unsigned char> FetchBody() override;

    // Whether the response's Content-Encoding is gzip.
    static bool IsGzip(const std::string& contentEncoding);

private:
    std::unique_ptr<IHTTPResponse> _inner;
    bool _decoded = false;
    core::NonInitializingBuffer<unsigned char> _body;
};

}  // namespace network
