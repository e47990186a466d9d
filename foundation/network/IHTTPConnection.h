#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/network/HTTPStatusCode.h"
#include "foundation/network/IHTTPRequest.h"
#include "foundation/network/IHTTPResponse.h"

namespace network {

// An HTTP/1.1 client connection. Obtain one from INetworkFactory::CreateHTTPConnection. Each
// submitted exchange calls its callback exactly once, later, on the thread that polls the
// library's event loop: with a transport code (below 100) and no response when the exchange
// failed below HTTP, or with the HTTP status and the response otherwise (except a 407 without a
// response: the proxy demanded credentials). The connection keeps itself alive while an
// exchange runs, so the caller may drop its reference right after submitting.
class IHTTPConnection {
public:
    enum class HTTPVersion : int32_t {
        Unknown = 0,
        HTTP_1_0 = 1,
        HTTP_1_1 = 2,
    };

    // Progress of a file transfer; valid only during the call of a progress callback.
    struct TransferProgressData {
        uint64_t total = 0;
        uint64_t transferred = 0;
        uint64_t partSize = 0;
        const unsigned char* partData = nullptr;
    };

    using Callback = std::function<void(HTTPStatusCode, std::unique_ptr<IHTTPResponse>)>;
    using ProgressCallback = std::function<void(const TransferProgressData&)>;

    virtual ~IHTTPConnection() = default;

    // Persistent connection wanted; changes the Connection line of later request heads.
    virtual void SetKeepAlive(bool keepAlive) = 0;
    // Hands one Set-Cookie text to the cookie store: 0 nothing stored, 1 added, 2 replaced,
    // 3 removed.
    virtual int SetCookie(const std::string& setCookieText) = 0;
    // Removes the cookie of that name: 3 when one was removed, 0 otherwise.
    virtual int DeleteCookie(const std::string& name) = 0;
    virtual std::unique_ptr<IHTTPRequest> CreateRequest() = 0;
    // SubmitRequest with a fresh request from CreateRequest.
    virtual void Submit(std::string url, Callback&& callback) = 0;
    // Runs one exchange. The request must come from CreateRequest of this library (or be null).
    virtual void SubmitRequest(std::string url, std::unique_ptr<IHTTPRequest> request,
                               Callback&& callback) = 0;
    // Sends a file as the body and/or stores the response body in a file.
    virtual void TransferFile(std::string url, std::string uploadFilePath,
                              std::string downloadFilePath, std::unique_ptr<IHTTPRequest> request,
                              Callback&& callback, ProgressCallback&& uploadProgress,
                              ProgressCallback&& downloadProgress) = 0;
    // Closes the connection's socket.
    virtual void Close() = 0;
    // Drops the socket with whatever is in flight on it.
    virtual void Abort() = 0;
};

}  // namespace network
