#include "foundation/network/PlainHTTPResponse.h"

namespace network {

PlainHTTPResponse::PlainHTTPResponse(HTTPHeaderList headers,
                                     core::NonInitializingBuffer<unsigned char> body)
    : _headers(std::move(headers)), _body(std::move(body)) {}

std::string PlainHTTPResponse::GetHeader(const std::string& name) const {
    return _headers.GetHeader(name);
}

std::vector<std::string> PlainHTTPResponse::GetHeaders(const std::string& name) const {
    return _headers.GetHeaders(name);
}

core::NonInitializingBuffer<unsigned char> PlainHTTPResponse::FetchBody() {
    core::NonInitializingBuffer<unsigned char> body = std::move(_body);
    _body = core::NonInitializingBuffer<unsigned char>();
    return body;
}

}  // namespace network
