#pragma once

#include <string>
#include <vector>

#include "foundation/core/NonInitializingBuffer.h"

namespace network {

// A received response. Header names are matched without regard to case.
class IHTTPResponse {
public:
    // The value of the first header of that name; empty when there is none.
    virtual std::string GetHeader(const std::string& name) const = 0;
    // The values of all headers of that name, in arrival order.
    virtual std::vector<std::string> GetHeaders(const std::string& name) const = 0;
    // Moves the body out; a second call returns an empty buffer.
    virtual core::NonInitializingBuffer<unsigned char> FetchBody() = 0;
    virtual ~IHTTPResponse() = default;
};

}  // namespace network
