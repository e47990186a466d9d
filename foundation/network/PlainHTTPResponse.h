#pragma once

#include "foundation/network/HTTPHeaderList.h"
#include "foundation/network/IHTTPResponse.h"

namespace network {

// A response as received: header list and body.
class PlainHTTPResponse : public IHTTPResponse {
public:
    PlainHTTPResponse(HTTPHeaderList headers, core::NonInitializingBuffer<unsigned char> body);

    std::string GetHeader(const std::string& name) const override;
    std::vector<std::string> GetHeaders(const std::string& name) const override;
    core::NonInitializingBuffer<unsigned char> FetchBody() override;

    const HTTPHeaderList& GetHeaderList() const { return _headers; }

private:
    HTTPHeaderList _headers;
    core::NonInitializingBuffer<unsigned char> _body;
};

}  // namespace network
