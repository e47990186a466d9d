#include "foundation/network/AsyncHTTPRequest.h"

namespace network {

void AsyncHTTPRequest::AddHeader(const std::string& name, const std::string& value) {
    _headers.Add(name, value);
}

void AsyncHTTPRequest::SetBody(const core::NonInitializingBuffer<unsigned char>& body) {
    if (&body == &_body) {
        return;
    }
    _body.clear();
    _body.append(body.data(), body.size());
}

void AsyncHTTPRequest::SetBody(core::NonInitializingBuffer<unsigned char>&& body) {
    if (&body == &_body) {
        return;
    }
    _body = std::move(body);
    body = core::NonInitializingBuffer<unsigned char>();
}

}  // namespace network
