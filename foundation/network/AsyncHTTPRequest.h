#pragma once

#include <cstdint>
#include <string>

#include <boost/logic/tribool.hpp>

#include "foundation/network/HTTPHeaderList.h"
#include "foundation/network/IHTTPRequest.h"

namespace network {

// The library's request object. Shared between the caller's submission and the exchange, so
// one redirect budget covers redirects and the retry.
class AsyncHTTPRequest : public IHTTPRequest {
public:
    static constexpr int32_t kDefaultRedirectBudget = 5;

    void AddHeader(const std::string& name, const std::string& value) override;
    void SetSecure(bool secure) override { _secure = secure; }
    void SetMethod(const std::string& method) override { _method = method; }
    void SetContentType(const std::string& contentType) override { _contentType = contentType; }
    void SetBody(const core::NonInitializingBuffer<unsigned char>& body) override;
    void SetBody(core::NonInitializingBuffer<unsigned char>&& body) override;

    // Indeterminate: TLS when the URL's scheme is https or its port 443.
    boost::logic::tribool GetSecure() const { return _secure; }
    const std::string& GetMethod() const { return _method; }
    const std::string& GetContentType() const { return _contentType; }
    const HTTPHeaderList& GetHeaders() const { return _headers; }
    const core::NonInitializingBuffer<unsigned char>& GetBody() const { return _body; }
    void ClearBody() { _body.clear(); }
    // Removes every header of that name (an Authorization header that must not follow a
    // redirect to another host).
    std::size_t RemoveHeaders(const std::string& name) { return _headers.Remove(name); }
    int32_t GetRedirectBudget() const { return _redirectBudget; }
    void SetRedirectBudget(int32_t budget) { _redirectBudget = budget; }

private:
    boost::logic::tribool _secure = boost::logic::indeterminate;
    std::string _method;
    std::string _contentType;
    HTTPHeaderList _headers;
    core::NonInitializingBuffer<unsigned char> _body;
    int32_t _redirectBudget = kDefaultRedirectBudget;
};

}  // namespace network
