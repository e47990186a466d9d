#include "foundation/network/AsyncHTTPConnection.h"

#include <sstream>
#include <vector>

#include <boost/asio/buffer.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/steady_timer.hpp>

#include "foundation/conversion/HexString.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/DecodedHTTPResponse.h"
#include "foundation/network/HTTPCloseStrategy.h"
#include "foundation/network/HTTPCookieStore.h"
#include "foundation/network/HTTPRedirect.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/PlainHTTPResponse.h"

namespace network {

namespace {

constexpr std::size_t kReadSize = 256 * 1024;
constexpr std::size_t kLoggedDataBytes = 256;

std::string errorText(const boost::system::error_code& error) {
    std::ostringstream out;
    out << error.message() << " [" << error.value() << "]";
    return out.str();
}

bool isEndOfStream(const boost::system::error_code& error) {
    return error == boost::asio::error::eof || error == boost::asio::ssl::error::stream_truncated;
}

}  // namespace

struct AsyncHTTPConnection::Exchange {
    URL url;
    std::shared_ptr<AsyncHTTPRequest> request;
    Callback callback;
    std::shared_ptr<AsyncTCPSocket> socket;
    bool reused = false;
    bool retried = false;
    bool finished = false;
    bool timedOut = false;
    bool headLogged = false;
    std::shared_ptr<AsyncHTTPRequestData> data;
    std::unique_ptr<HTTPResponseParser> parser;
    std::vector<unsigned char> readBuffer;
    core::NonInitializingBuffer<unsigned char> leftover;
    std::shared_ptr<boost::asio::steady_timer> deadline;
};

AsyncHTTPConnection::AsyncHTTPConnection(std::shared_ptr<AsyncService> service,
                                         std::shared_ptr<AsyncSSLContext> sslContext,
                                         std::shared_ptr<INetworkConnectivity> connectivity,
                                         std::shared_ptr<HTTPCookieStore> cookieStore)
    : logging::LogSource("AsyncHTTPConnection"),
      _service(std::move(service)),
      _sslContext(std::move(sslContext)),
      _connectivity(std::move(connectivity)),
      _makesSockets(true),
      _cookieStore(std::move(cookieStore)) {}

AsyncHTTPConnection::AsyncHTTPConnection(std::shared_ptr<AsyncTCPSocket> socket, bool makesSockets)
    : logging::LogSource("AsyncHTTPConnection"),
      _socket(std::move(socket)),
      _makesSockets(makesSockets),
      _cookieStore(std::make_shared<HTTPCookieStore>()) {
    if (_socket) {
        _service = _socket->GetService();
        _sslContext = _socket->GetSSLContext();
        _connectivity = _socket->GetNetworkConnectivity();
    }
}

AsyncHTTPConnection::~AsyncHTTPConnection() = default;

int AsyncHTTPConnection::SetCookie(const std::string& setCookieText) {
    return _cookieStore ? _cookieStore->Set(setCookieText) : 0;
}

int AsyncHTTPConnection::DeleteCookie(const std::string& name) {
    return _cookieStore ? _cookieStore->Delete(name) : 0;
}

std::unique_ptr<IHTTPRequest> AsyncHTTPConnection::CreateRequest() {
    return std::make_unique<AsyncHTTPRequest>();
}

void AsyncHTTPConnection::Submit(std::string url, Callback&& callback) {
    SubmitRequest(std::move(url), CreateRequest(), std::move(callback));
}

void AsyncHTTPConnection::SubmitRequest(std::string url, std::unique_ptr<IHTTPRequest> request,
                                        Callback&& callback) {
    std::shared_ptr<AsyncHTTPRequest> shared(static_cast<AsyncHTTPRequest*>(request.release()));
    if (!shared) {
        shared = std::make_shared<AsyncHTTPRequest>();
    }
    SubmitRequest(std::move(url), std::move(shared), std::move(callback));
}

void AsyncHTTPConnection::TransferFile(std::string url, std::string, std::string,
                                       std::unique_ptr<IHTTPRequest>, Callback&& callback,
                                       ProgressCallback&&, ProgressCallback&&) {
    Log(logging::Error) << "File transfer to <" << url << "> is not available.";
    callback(NotIssued, nullptr);
}

std::shared_ptr<AsyncTCPSocket> AsyncHTTPConnection::MakeSocket() {
    auto socket = std::make_shared<AsyncTCPSocket>(_service, _sslContext, _connectivity);
    socket->SetKeepAlive(_tcpKeepAlive);
    return socket;
}

void AsyncHTTPConnection::SubmitRequest(std::string url, std::shared_ptr<AsyncHTTPRequest> request,
                                        Callback&& callback) {
    if (_makesSockets && !_socket) {
        Log(logging::Debug) << "Instantiating a new TCP socket while connecting to " << url;
        _socket = MakeSocket();
    }
    if (!_socket) {
        Log(logging::Error) << "TCP socket object absent even though HTTP connection expected to "
                               "operate on existing supplied socket.";
        callback(NotIssued, nullptr);
        return;
    }
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    boost::asio::dispatch(_service->GetImplementation(),
                          [self, url = std::move(url), request = std::move(request),
                           callback = std::move(callback)]() mutable {
                              self->Dispatched(url, std::move(request), std::move(callback));
                          });
}

void AsyncHTTPConnection::Dispatched(const std::string& urlText,
                                     std::shared_ptr<AsyncHTTPRequest> request, Callback callback) {
    URL url;
    const bool parsed = ParseURL(urlText, url);
    url.Normalize();
    url.SetDefaultPort();
    if (!parsed || url.host.empty() || url.port == 0 || url.port > 65535 ||
        (url.scheme != "http" && url.scheme != "https")) {
        Log(logging::Error) << "Invalid URL <" << urlText << ">; the request is not sent.";
        callback(NotIssued, nullptr);
        return;
    }
    if (EqualsNoCase(request->GetMethod(), "CONNECT")) {
        SubmitSingleRequest(url, std::move(request), std::move(callback), false);
        return;
    }
    Callback redirects = RedirectHandler(url, request, std::move(callback));
    SubmitSingleRequest(url, std::move(request), std::move(redirects), true);
}

AsyncHTTPConnection::Callback AsyncHTTPConnection::RedirectHandler(
    const URL& url, std::shared_ptr<AsyncHTTPRequest> request, Callback callback) {
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    return [self, url, request, callback](HTTPStatusCode status,
                                          std::unique_ptr<IHTTPResponse> response) {
        const int code = static_cast<int>(status);
        const bool redirect = code == 301 || code == 302 || code == 303 || code == 307;
        if (!response || !redirect || request->GetRedirectBudget() <= 0) {
            callback(status, std::move(response));
            return;
        }
        const std::string location = response->GetHeader("Location");
        URL target;
        if (location.empty() || !ResolveRedirectLocation(url, location, target)) {
            self->Log(logging::Warning)
                << "Redirect " << code << " without a usable Location is not followed.";
            callback(status, std::move(response));
            return;
        }
        if (url.scheme == "https" && target.scheme != "https") {
            self->Log(logging::Warning)
                << "Redirect from <" << url.ToURLString() << "> to <" << target.ToURLString()
                << "> is not followed: it leaves https.";
            callback(status, std::move(response));
            return;
        }
        if (!EqualsNoCase(target.host, url.host) && request->RemoveHeaders("Authorization") > 0) {
            self->Log(logging::Debug) << "Authorization header dropped for the redirect to "
                                         "another host.";
        }
        if (code == 303) {
            request->ClearBody();
            if (!EqualsNoCase(request->GetMethod(), "HEAD")) {
                request->SetMethod("GET");
            }
        }
        request->SetRedirectBudget(request->GetRedirectBudget() - 1);
        self->Log(logging::Debug) << "Following redirect " << code << " to <"
                                  << target.ToURLString() << ">";
        if (!self->_makesSockets) {
            const auto& socket = self->_socket;
            if (!socket || socket->GetActiveEndpoint().host != target.host ||
                socket->GetActiveEndpoint().port != target.port) {
                callback(NotIssued, nullptr);
                return;
            }
        }
        Callback next = self->RedirectHandler(target, request, callback);
        self->SubmitSingleRequest(target, request, std::move(next), true);
    };
}

void AsyncHTTPConnection::SubmitSingleRequest(const URL& url,
                                              std::shared_ptr<AsyncHTTPRequest> request,
                                              Callback callback, bool) {
    if (!_socket && _makesSockets) {
        _socket = MakeSocket();
    }
    if (!_socket) {
        Log(logging::Debug) << "Ignoring HTTP request, the socket has been pro-actively closed.";
        callback(NotIssued, nullptr);
        return;
    }
    auto exchange = std::make_shared<Exchange>();
    exchange->url = url;
    exchange->request = std::move(request);
    exchange->callback = std::move(callback);
    exchange->socket = _socket;
    _pending = true;

    if (!_makesSockets) {
        SendRequest(exchange);
        return;
    }
    const bool reusable =
        (url.scheme == "http" && _socket->IsConnected() && !_socket->IsSecureHandshakeComplete()) ||
        (url.scheme == "https" && _socket->IsSecureHandshakeComplete());
    if (reusable && _socket->GetActiveEndpoint().host == url.host &&
        _socket->GetActiveEndpoint().port == url.port) {
        exchange->reused = true;
        SendRequest(exchange);
        return;
    }
    if (reusable) {
        // Connected to another endpoint: this connection moves (a redirect or a pooled
        // connection taken over by another request) and connects anew.
        Log(logging::Debug) << "Socket connected to another endpoint; connecting to <"
                            << url.ToURLString() << ">";
    }
    ConnectSendRequest(exchange);
}

void AsyncHTTPConnection::ConnectSendRequest(std::shared_ptr<Exchange> exchange) {
    auto socket = exchange->socket;
    if (!socket) {
        Reset(exchange, NotIssued);
        return;
    }
    URL proxy;
    if (_connectivity) {
        proxy = _connectivity->GetProxyForURL(exchange->url.ToURLString());
    }
    const URL& url = exchange->url;
    const auto secureFlag = exchange->request->GetSecure();
    const bool secure = boost::logic::indeterminate(secureFlag)
                            ? (url.port == 443 || url.scheme == "https")
                            : static_cast<bool>(secureFlag);
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    socket->AsyncConnect(
        url.host, static_cast<uint16_t>(url.port), secure, proxy.host,
        static_cast<uint16_t>(proxy.port), [self, exchange, proxy](ITCPSocket::ErrorCode code) {
            if (exchange->finished) {
                return;
            }
            if (code == ITCPSocket::Success) {
                exchange->reused = false;
                self->SendRequest(exchange);
            } else if (code == ITCPSocket::ProxyAuthenticationRequired) {
                self->Log(logging::Debug) << "Authentication required when connecting to proxy <"
                                          << proxy.ToURLString() << ">";
                self->Reset(exchange, static_cast<HTTPStatusCode>(407));
            } else {
                self->Log(logging::Error)
                    << "Error while connecting to <" << exchange->url.ToURLString() << ">";
                self->Reset(exchange, ConnectFailed);
            }
        });
}

void AsyncHTTPConnection::ArmDeadline(const std::shared_ptr<Exchange>& exchange) {
    if (!exchange->deadline) {
        exchange->deadline =
            std::make_shared<boost::asio::steady_timer>(_service->GetImplementation());
    }
    exchange->deadline->expires_after(_exchangeTimeout);
    std::weak_ptr<Exchange> weak = exchange;
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    exchange->deadline->async_wait([self, weak](const boost::system::error_code& error) {
        auto exchange = weak.lock();
        if (error || !exchange || exchange->finished) {
            return;
        }
        exchange->timedOut = true;
        self->Log(logging::Error) << "HTTP exchange with <" << exchange->url.ToURLString()
                                  << "> made no progress for " << self->_exchangeTimeout.count()
                                  << " ms; the connection is closed.";
        if (exchange->socket) {
            exchange->socket->AsyncClose(nullptr);
        }
    });
}

void AsyncHTTPConnection::SendRequest(std::shared_ptr<Exchange> exchange) {
    auto socket = exchange->socket;
    if (!socket) {
        Reset(exchange, NotIssued);
        return;
    }
    exchange->data = std::make_shared<AsyncHTTPRequestData>(exchange->url);
    const bool connect = EqualsNoCase(exchange->request->GetMethod(), "CONNECT");
    if (!exchange->data->WriteHeaders(*exchange->request, connect ? nullptr : _cookieStore.get(),
                                      _keepAlive, 0)) {
        Log(logging::Error) << "HTTP request to <" << exchange->url.ToURLString()
                            << "> refused: " << exchange->data->GetRefusal();
        Reset(exchange, NotIssued);
        return;
    }
    exchange->data->AppendBody(*exchange->request);
    ArmDeadline(exchange);
    auto& output = exchange->data->GetOutput();
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    socket->AsyncWrite(
        boost::asio::buffer(output.data(), output.size()),
        [self, exchange](const boost::system::error_code& error, std::size_t bytes) {
            if (exchange->finished) {
                return;
            }
            if (error || bytes == 0) {
                if (self->_makesSockets && exchange->reused && !exchange->retried &&
                    !exchange->timedOut) {
                    self->RetryAfterFailure(exchange);
                    return;
                }
                self->Log(logging::Error)
                    << "Error while sending HTTP headers; reason: "
                    << (exchange->timedOut ? std::string("timed out") : errorText(error));
                self->Reset(exchange, TransferFailed);
                return;
            }
            HTTPResponseParser::Options options;
            options.connectRequest = exchange->data->IsConnect();
            options.headRequest = exchange->data->IsHead();
            exchange->parser = std::make_unique<HTTPResponseParser>(options);
            self->ReadResponse(exchange);
        });
}

void AsyncHTTPConnection::ReadResponse(std::shared_ptr<Exchange> exchange) {
    if (exchange->readBuffer.empty()) {
        exchange->readBuffer.resize(kReadSize);
    }
    ArmDeadline(exchange);
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    exchange->socket->AsyncReadSome(
        boost::asio::buffer(exchange->readBuffer),
        [self, exchange](const boost::system::error_code& error, std::size_t bytes) {
            self->OnRead(exchange, error, bytes);
        });
}

void AsyncHTTPConnection::OnHeadComplete(Exchange& exchange) {
    exchange.headLogged = true;
    const HTTPResponseParser& parser = *exchange.parser;
    Log(logging::Debug) << "HTTP response status line:\n" << parser.GetStatusLine();
    std::string headers;
    bool cookies = false;
    for (const auto& header : parser.GetHeaders()) {
        if (EqualsNoCase(header.first, "Set-Cookie")) {
            cookies = true;
            if (_cookieStore) {
                _cookieStore->Set(header.second, exchange.url.host);
            }
            continue;
        }
        headers += header.first + ": " + header.second + "\n";
    }
    Log(logging::Debug) << "HTTP response headers:\n" << headers;
    if (cookies) {
        Log(logging::Debug) << "HTTP 'Set-Cookie' response headers omitted from log.";
    }
}

void AsyncHTTPConnection::OnRead(std::shared_ptr<Exchange> exchange,
                                 const boost::system::error_code& error, std::size_t bytes) {
    if (exchange->finished) {
        return;
    }
    HTTPResponseParser& parser = *exchange->parser;
    if (bytes > 0) {
        const unsigned char* data = exchange->readBuffer.data();
        const std::size_t consumed = parser.Feed(data, bytes);
        if (!exchange->headLogged && parser.IsHeadComplete()) {
            OnHeadComplete(*exchange);
        }
        if (parser.IsComplete()) {
            exchange->leftover.append(data + consumed, bytes - consumed);
            ResetWithResponse(exchange);
            return;
        }
        if (!parser.HasFailed()) {
            ReadResponse(exchange);
            return;
        }
        Log(logging::Debug) << "Data received: "
                            << conversion::StringToHex(data, std::min(bytes, kLoggedDataBytes),
                                                       false);
    } else if (parser.IsUntouched() && _makesSockets && exchange->reused && !exchange->retried &&
               !exchange->timedOut) {
        // The reused connection was closed by the peer while it lay idle.
        RetryAfterFailure(exchange);
        return;
    } else if (isEndOfStream(error)) {
        parser.FeedEnd();
        if (parser.IsComplete()) {
            ResetWithResponse(exchange);
            return;
        }
    } else {
        Log(logging::Error) << "Error while receiving HTTP response from <"
                            << exchange->url.ToURLString() << ">; reason: "
                            << (exchange->timedOut ? std::string("timed out") : errorText(error));
        Reset(exchange, TransferFailed);
        return;
    }
    if (parser.GetFailureCode() == InvalidResponse) {
        Log(logging::Error) << "Invalid response received from <" << exchange->url.ToURLString()
                            << ">";
    } else {
        Log(logging::Error) << "Error while reading HTTP response from <"
                            << exchange->url.ToURLString()
                            << ">; reason: " << parser.GetFailureReason();
    }
    Reset(exchange, parser.GetFailureCode());
}

void AsyncHTTPConnection::RetryAfterFailure(std::shared_ptr<Exchange> exchange) {
    exchange->retried = true;
    exchange->reused = false;
    exchange->parser.reset();
    exchange->headLogged = false;
    if (exchange->deadline) {
        exchange->deadline->cancel();
    }
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    AsyncAbort([self, exchange]() {
        exchange->socket = self->_socket;
        self->ConnectSendRequest(exchange);
    });
}

void AsyncHTTPConnection::Reset(std::shared_ptr<Exchange> exchange, HTTPStatusCode status) {
    if (exchange->finished) {
        return;
    }
    exchange->finished = true;
    if (exchange->deadline) {
        exchange->deadline->cancel();
    }
    _pending = false;
    Callback callback = std::move(exchange->callback);
    if (IsTransportCode(status) && _makesSockets) {
        AsyncAbort([callback, status]() { callback(status, nullptr); });
        return;
    }
    callback(status, nullptr);
}

void AsyncHTTPConnection::ResetWithResponse(std::shared_ptr<Exchange> exchange) {
    HTTPResponseParser& parser = *exchange->parser;
    const bool connect = exchange->data && exchange->data->IsConnect();
    const int status = parser.GetStatus();
    const bool handsOver = status == 101 || (connect && status >= 200 && status < 300);
    bool close = HTTPCloseStrategy()(connect, parser.GetVersion(), status, parser.GetHeaders());
    if (parser.GetFraming() == HTTPResponseParser::Framing::ToClose) {
        close = true;  // the peer has ended the stream
    }
    if (!exchange->leftover.empty()) {
        if (handsOver) {
            _unreadBytes.append(exchange->leftover.data(), exchange->leftover.size());
        } else {
            Log(logging::Warning) << "Unexpected data after the response from <"
                                  << exchange->url.ToURLString() << ">; the connection is closed.";
            close = true;
        }
    }
    if (close) {
        auto self = SharedFromThisAs<AsyncHTTPConnection>();
        AsyncClose([self, exchange]() { self->Deliver(exchange); });
        return;
    }
    Deliver(exchange);
}

void AsyncHTTPConnection::Deliver(std::shared_ptr<Exchange> exchange) {
    if (exchange->finished) {
        return;
    }
    HTTPResponseParser& parser = *exchange->parser;
    HTTPHeaderList headers = std::move(parser.GetHeaders());
    const std::string encoding = headers.GetHeader("Content-Encoding");
    std::unique_ptr<IHTTPResponse> response =
        std::make_unique<PlainHTTPResponse>(std::move(headers), parser.TakeBody());
    if (!encoding.empty()) {
        auto decoded = std::make_unique<DecodedHTTPResponse>(std::move(response));
        if (!decoded->Decode()) {
            Log(logging::Error) << "The body from <" << exchange->url.ToURLString()
                                << "> does not decode as " << encoding << ".";
            Reset(exchange, TransferFailed);
            return;
        }
        response = std::move(decoded);
    }
    exchange->finished = true;
    if (exchange->deadline) {
        exchange->deadline->cancel();
    }
    _pending = false;
    Callback callback = std::move(exchange->callback);
    callback(static_cast<HTTPStatusCode>(parser.GetStatus()), std::move(response));
}

void AsyncHTTPConnection::LogPending() {
    Log(logging::Debug) << (_pending ? "Connection has pending request."
                                     : "Connection has no pending request.");
}

void AsyncHTTPConnection::Close() {
    AsyncClose(CompletionCallback());
}

void AsyncHTTPConnection::Abort() {
    AsyncAbort(CompletionCallback());
}

void AsyncHTTPConnection::AsyncClose(CompletionCallback&& completion) {
    LogPending();
    auto socket = std::move(_socket);
    _socket.reset();
    if (!socket) {
        if (completion) {
            completion();
        }
        return;
    }
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    socket->AsyncClose([self, socket, completion = std::move(completion)](ITCPSocket::ErrorCode) {
        if (completion) {
            completion();
        }
    });
}

void AsyncHTTPConnection::AsyncAbort(CompletionCallback&& completion) {
    LogPending();
    if (!_makesSockets) {
        if (completion) {
            completion();
        }
        return;
    }
    auto old = std::move(_socket);
    _socket = MakeSocket();
    if (!old) {
        if (completion) {
            completion();
        }
        return;
    }
    auto self = SharedFromThisAs<AsyncHTTPConnection>();
    old->AsyncClose([self, old, completion = std::move(completion)](ITCPSocket::ErrorCode) {
        if (completion) {
            completion();
        }
    });
}

core::NonInitializingBuffer<unsigned char> AsyncHTTPConnection::TakeUnreadBytes() {
    core::NonInitializingBuffer<unsigned char> bytes = std::move(_unreadBytes);
    _unreadBytes = core::NonInitializingBuffer<unsigned char>();
    return bytes;
}

}  // namespace network
