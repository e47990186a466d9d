#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/core/NonInitializingBuffer.h"
#include "foundation/logging/LogSource.h"
#include "foundation/network/URL.h"

namespace network {

class AsyncHTTPRequest;
class HTTPCookieStore;

// The bytes of one request: head and body in one buffer, written with one socket write.
class AsyncHTTPRequestData : private logging::LogSource {
public:
    explicit AsyncHTTPRequestData(const URL& url);
    ~AsyncHTTPRequestData() override;

    // Appends the head. `length`, when not 0, is the announced body length (a file upload);
    // otherwise the request body's size is announced. False, with nothing usable in the
    // buffer, when the method, a header name or value or the content type holds CR or LF (or
    // the method is not a single word): such a request is never sent.
    bool WriteHeaders(const AsyncHTTPRequest& request, const HTTPCookieStore* cookieStore,
                      bool keepAlive, uint64_t length);
    // Appends the request body after the head.
    void AppendBody(const AsyncHTTPRequest& request);

    const URL& GetURL() const { return _url; }
    bool IsConnect() const { return _connect; }
    bool IsHead() const { return _head; }
    void SetNoContentLength(bool value) { _noContentLength = value; }
    core::NonInitializingBuffer<unsigned char>& GetOutput() { return _output; }
    // The reason WriteHeaders refused the request.
    const std::string& GetRefusal() const { return _refusal; }

    // The head text as logged: every CR removed, the values of Authorization and
    // Proxy-Authorization replaced by "***".
    static std::string MaskedForLog(const std::string& head);

private:
    URL _url;
    core::NonInitializingBuffer<unsigned char> _output;
    bool _connect = false;
    bool _head = false;
    bool _noContentLength = false;
    std::string _refusal;
};

}  // namespace network
