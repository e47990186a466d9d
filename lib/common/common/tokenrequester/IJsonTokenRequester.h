#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace common {

// Asks the backend for a fresh monitoring URL and monitoring token.
class IJsonTokenRequester {
public:
    enum RequestResult : int32_t {
        // The received URL and token are passed on.
        Success = 0,
        // The request failed or was not made (bad base URL or token, HTTP or network error,
        // unreadable answer).
        Failed = 1,
        // No token to authenticate with.
        NoToken = 2,
        // The backend rejected the request.
        Rejected = 3,
    };

    using ResultFunction =
        std::function<void(RequestResult result, const std::string& url, const std::string& token)>;

    virtual ~IJsonTokenRequester() = default;

    virtual void requestToken(ResultFunction&& result) = 0;
};

}  // namespace common
