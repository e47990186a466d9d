#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <boost/system/error_code.hpp>

#include "foundation/core/NonInitializingBuffer.h"
#include "foundation/core/SharedFromThis.h"
#include "foundation/logging/LogSource.h"
#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/AsyncHTTPRequestData.h"
#include "foundation/network/HTTPResponseParser.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/URL.h"

namespace network {

class AsyncService;
class AsyncSSLContext;
class AsyncTCPSocket;
class HTTPCookieStore;
class INetworkConnectivity;

// HTTP/1.1 exchanges, one at a time, over one socket: connect (through the system proxy and
// with TLS as the URL asks), write the head and body, read the response, decide whether to
// keep the connection, retry once on a reused socket that turned out dead, and follow
// redirects. Either it makes its own sockets, or it works on a supplied, connected socket (the
// proxy tunnel, the WebSocket upgrade) that it never replaces. Every step of an exchange has
// a deadline: an exchange that makes no progress for the exchange timeout fails with
// TransferFailed. Must be owned by a shared pointer.
class AsyncHTTPConnection : public IHTTPConnection,
                            private logging::LogSource,
                            public core::SharedFromThis {
public:
    using CompletionCallback = std::function<void()>;
    using AsyncHTTPRequestData = network::AsyncHTTPRequestData;

    static constexpr std::chrono::milliseconds kDefaultExchangeTimeout{60000};

    // A connection that makes its own sockets.
    AsyncHTTPConnection(std::shared_ptr<AsyncService> service,
                        std::shared_ptr<AsyncSSLContext> sslContext,
                        std::shared_ptr<INetworkConnectivity> connectivity,
                        std::shared_ptr<HTTPCookieStore> cookieStore);
    // A connection over a supplied, connected socket, with a cookie store of its own.
    explicit AsyncHTTPConnection(std::shared_ptr<AsyncTCPSocket> socket, bool makesSockets = false);
    ~AsyncHTTPConnection() override;

    void SetKeepAlive(bool keepAlive) override { _keepAlive = keepAlive; }
    int SetCookie(const std::string& setCookieText) override;
    int DeleteCookie(const std::string& name) override;
    std::unique_ptr<IHTTPRequest> CreateRequest() override;
    void Submit(std::string url, Callback&& callback) override;
    void SubmitRequest(std::string url, std::unique_ptr<IHTTPRequest> request,
                       Callback&& callback) override;
    void TransferFile(std::string url, std::string uploadFilePath, std::string downloadFilePath,
                      std::unique_ptr<IHTTPRequest> request, Callback&& callback,
                      ProgressCallback&& uploadProgress,
                      ProgressCallback&& downloadProgress) override;
    void Close() override;
    void Abort() override;

    // The form the pool and the owned-request form use; the request stays shared.
    virtual void SubmitRequest(std::string url, std::shared_ptr<AsyncHTTPRequest> request,
                               Callback&& callback);

    void AsyncClose(CompletionCallback&& completion);
    void AsyncAbort(CompletionCallback&& completion);

    // TCP keep-alive for the sockets this connection makes.
    void SetTCPKeepAlive(bool keepAlive) { _tcpKeepAlive = keepAlive; }
    // The longest time one step of an exchange (write, or a read of the response) may take.
    void SetExchangeTimeout(std::chrono::milliseconds timeout) { _exchangeTimeout = timeout; }

    const std::shared_ptr<AsyncTCPSocket>& GetSocket() const { return _socket; }
    bool HasPendingRequest() const { return _pending; }
    // Bytes that arrived behind the last response (after a 101 head: the first bytes of the
    // protocol that follows), moved out.
    core::NonInitializingBuffer<unsigned char> TakeUnreadBytes();

private:
    struct Exchange;

    void Dispatched(const std::string& urlText, std::shared_ptr<AsyncHTTPRequest> request,
                    Callback callback);
    void SubmitSingleRequest(const URL& url, std::shared_ptr<AsyncHTTPRequest> request,
                             Callback callback, bool followRedirects);
    Callback RedirectHandler(const URL& url, std::shared_ptr<AsyncHTTPRequest> request,
                             Callback callback);
    void ConnectSendRequest(std::shared_ptr<Exchange> exchange);
    void SendRequest(std::shared_ptr<Exchange> exchange);
    void ReadResponse(std::shared_ptr<Exchange> exchange);
    void OnRead(std::shared_ptr<Exchange> exchange, const boost::system::error_code& error,
                std::size_t bytes);
    void OnHeadComplete(Exchange& exchange);
    void RetryAfterFailure(std::shared_ptr<Exchange> exchange);
    void Reset(std::shared_ptr<Exchange> exchange, HTTPStatusCode status);
    void ResetWithResponse(std::shared_ptr<Exchange> exchange);
    void Deliver(std::shared_ptr<Exchange> exchange);
    void ArmDeadline(const std::shared_ptr<Exchange>& exchange);
    std::shared_ptr<AsyncTCPSocket> MakeSocket();
    void LogPending();

    std::shared_ptr<AsyncService> _service;
    std::shared_ptr<AsyncSSLContext> _sslContext;
    std::shared_ptr<INetworkConnectivity> _connectivity;
    std::shared_ptr<AsyncTCPSocket> _socket;
    bool _makesSockets;
    bool _tcpKeepAlive = false;
    std::shared_ptr<HTTPCookieStore> _cookieStore;
    bool _keepAlive = false;
    bool _pending = false;
    std::chrono::milliseconds _exchangeTimeout = kDefaultExchangeTimeout;
    core::NonInitializingBuffer<unsigned char> _unreadBytes;
};

}  // namespace network
