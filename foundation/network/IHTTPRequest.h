#pragma once

#include <string>

#include "foundation/core/NonInitializingBuffer.h"

namespace network {

// One HTTP request as its caller fills it; made by IHTTPConnection::CreateRequest. A new request
// has no method (chosen when the head is written: GET, or POST with a body), no headers, no
// body, TLS chosen from the URL (scheme https or port 443) and a budget of 5 redirects.
class IHTTPRequest {
public:
    // Appends the pair; nothing is replaced or merged. A header whose name or value holds CR or
    // LF makes the exchange fail with NotIssued before anything is sent.
    virtual void AddHeader(const std::string& name, const std::string& value) = 0;
    // Forces TLS on or off, whatever the URL says.
    virtual void SetSecure(bool secure) = 0;
    virtual void SetMethod(const std::string& method) = 0;
    virtual void SetContentType(const std::string& contentType) = 0;
    // Copies the bytes.
    virtual void SetBody(const core::NonInitializingBuffer<unsigned char>& body) = 0;
    // Takes the buffer over; the argument is left empty.
    virtual void SetBody(core::NonInitializingBuffer<unsigned char>&& body) = 0;
    virtual ~IHTTPRequest() = default;
};

}  // namespace network
