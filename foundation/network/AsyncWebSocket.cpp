#include "foundation/network/AsyncWebSocket.h"

#include <boost/asio/post.hpp>
#include <utility>

#include "foundation/conversion/Base64.h"
#include "foundation/cryptography/RandomSequence.h"
#include "foundation/cryptography/SHA1.h"
#include "foundation/network/AsyncHTTPConnection.h"
#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/INetworkConnectivity.h"

namespace network {

namespace {

const char kAcceptGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

}  // namespace

AsyncWebSocket::AsyncWebSocket(std::shared_ptr<AsyncService> service,
                               std::shared_ptr<AsyncSSLContext> sslContext,
                               std::shared_ptr<INetworkConnectivity> connectivity)
    : logging::LogSource("AsyncWebSocketConnection"),
      m_Socket(std::make_shared<AsyncTCPSocket>(std::move(service), std::move(sslContext),
                                                std::move(connectivity))) {}

AsyncWebSocket::~AsyncWebSocket() {
    if (m_CloseTimer) {
        m_CloseTimer->cancel();
    }
}

boost::asio::io_context& AsyncWebSocket::Io() {
    return m_Socket->GetService()->GetImplementation();
}

std::string AsyncWebSocket::AcceptValue(const std::string& keyText) {
    cryptography::SHA1 sha;
    sha.Update(keyText + kAcceptGuid);
    return conversion::Base64Encode(sha.ToByteBuffer());
}

void AsyncWebSocket::Connect(const std::string& url, ConnectCallback&& done) {
    Connect(url, std::map<std::string, std::string>(), std::move(done));
}

void AsyncWebSocket::Connect(const std::string& url, std::map<std::string, std::string>&& headers,
                             ConnectCallback&& done) {
    auto self = SharedFromThisAs<AsyncWebSocket>();
    URL parsed;
    if (!ParseURL(url, parsed) || parsed.host.empty()) {
        Log(logging::Error) << "Invalid web socket URL <" << url << ">";
        boost::asio::post(Io(), [self, done = std::move(done)]() { done(NotIssued, nullptr); });
        return;
    }
    parsed.Normalize();
    parsed.SetDefaultPort();
    const bool secure = parsed.scheme == "https" || parsed.scheme == "wss";
    const URL proxy = m_Socket->GetNetworkConnectivity()
                          ? m_Socket->GetNetworkConnectivity()->GetProxyForURL(parsed.ToURLString())
                          : URL();
    m_Socket->AsyncConnect(
        parsed.host, static_cast<uint16_t>(parsed.port), secure, proxy.host,
        static_cast<uint16_t>(proxy.port),
        [self, parsed, proxy, headers = std::move(headers),
         done = std::move(done)](ITCPSocket::ErrorCode code) mutable {
            if (code == ITCPSocket::Success) {
                self->Negotiate(parsed, std::move(headers), std::move(done));
                return;
            }
            if (code == ITCPSocket::ProxyAuthenticationRequired) {
                self->Log(logging::Debug)
                    << "Authentication required when connecting to web socket proxy <"
                    << proxy.ToURLString() << ">";
                done(static_cast<HTTPStatusCode>(407), nullptr);
                return;
            }
            self->Log(logging::Error)
                << "Connection failed while negotiating web socket connection";
            done(
                code == ITCPSocket::SecureHandshakeFailure ? kSecureHandshakeFailed : ConnectFailed,
                nullptr);
        });
}

void AsyncWebSocket::Negotiate(const URL& url, std::map<std::string, std::string>&& headers,
                               ConnectCallback&& done) {
    auto self = SharedFromThisAs<AsyncWebSocket>();
    auto connection = std::make_shared<AsyncHTTPConnection>(m_Socket);

    // A version 4 UUID from the operating system's random source.
    unsigned char key[16];
    cryptography::RandomSequence(key, sizeof(key), 0);
    key[6] = static_cast<unsigned char>((key[6] & 0x0F) | 0x40);
    key[8] = static_cast<unsigned char>((key[8] & 0x3F) | 0x80);
    const std::string keyText = conversion::Base64Encode(key, sizeof(key));

    auto request = std::make_shared<AsyncHTTPRequest>();
    request->SetMethod("GET");
    request->AddHeader("Cache-Control", "no-cache");
    request->AddHeader("Pragma", "no-cache");
    request->AddHeader("Upgrade", "websocket");
    request->AddHeader("Connection", "upgrade");
    request->AddHeader("Sec-WebSocket-Key", keyText);
    request->AddHeader("Sec-WebSocket-Version", "13");
    for (const auto& header : headers) {
        request->AddHeader(header.first, header.second);
    }
    const std::string expected = AcceptValue(keyText);

    // The HTTP client speaks http and https: the upgrade goes to the same place under those.
    URL target = url;
    target.scheme = (url.scheme == "wss" || url.scheme == "https") ? "https" : "http";
    request->SetSecure(m_Socket->IsSecureHandshakeComplete());

    // The connection keeps itself alive while the exchange runs; the completion must not own it.
    std::weak_ptr<AsyncHTTPConnection> weakConnection = connection;
    connection->SubmitRequest(
        target.ToURLString(), request,
        [self, weakConnection, expected, done = std::move(done)](
            HTTPStatusCode status, std::unique_ptr<IHTTPResponse> response) mutable {
            if (status != 101) {
                self->Log(logging::Error)
                    << "Unexpected HTTP status code " << static_cast<int>(status)
                    << " while negotiating web socket connection";
                done(status, std::move(response));
                return;
            }
            const std::string accept =
                response ? response->GetHeader("Sec-WebSocket-Accept") : std::string();
            if (accept.empty()) {
                self->Log(logging::Error) << "Missing header 'Sec-WebSocket-Accept' while "
                                             "negotiating web socket connection";
                done(static_cast<HTTPStatusCode>(400), std::move(response));
                return;
            }
            if (accept != expected) {
                self->Log(logging::Error)
                    << "Invalid value for header 'Sec-WebSocket-Accept' while "
                       "negotiating web socket connection";
                done(static_cast<HTTPStatusCode>(400), std::move(response));
                return;
            }
            if (auto connection = weakConnection.lock()) {
                self->m_Unread = connection->TakeUnreadBytes();
            }
            self->m_Reader.Reset();
            self->m_Open = true;
            done(status, std::move(response));
        });
}

IWebSocket::Payload AsyncWebSocket::BuildFrame(WebSocketOperationCode opcode,
                                               const unsigned char* payload, std::size_t length,
                                               const std::array<unsigned char, 4>& key) {
    const std::size_t header = length < 126 ? 2 : (length <= 65535 ? 4 : 10);
    Payload frame(header + 4 + length);
    unsigned char* out = frame.data();
    out[0] = static_cast<unsigned char>(0x80 | (static_cast<int>(opcode) & 0x0F));
    if (length < 126) {
        out[1] = static_cast<unsigned char>(0x80 | length);
    } else if (length <= 65535) {
        out[1] = 0x80 | 126;
        out[2] = static_cast<unsigned char>(length >> 8);
        out[3] = static_cast<unsigned char>(length);
    } else {
        out[1] = 0x80 | 127;
        const uint64_t value = length;
        for (int i = 0; i < 8; ++i) {
            out[2 + i] = static_cast<unsigned char>(value >> (56 - 8 * i));
        }
    }
    std::copy(key.begin(), key.end(), out + header);
    unsigned char* masked = out + header + 4;
    for (std::size_t i = 0; i < length; ++i) {
        masked[i] = static_cast<unsigned char>(payload[i] ^ key[i & 3]);
    }
    return frame;
}

void AsyncWebSocket::Send(Payload&& payload, SendCallback&& done) {
    if (!m_Open) {
        auto self = SharedFromThisAs<AsyncWebSocket>();
        boost::asio::post(Io(), [self, done = std::move(done)]() {
            if (done) {
                done(ITCPSocket::WriteFailure);
            }
        });
        return;
    }
    Send(OpBinary, std::move(payload), std::move(done));
}

void AsyncWebSocket::Send(WebSocketOperationCode opcode, Payload&& payload, SendCallback&& done) {
    auto self = SharedFromThisAs<AsyncWebSocket>();
    std::array<unsigned char, 4> key{};
    cryptography::RandomSequence(key.data(), key.size(), 0);
    Payload frame = BuildFrame(opcode, payload.data(), payload.size(), key);
    payload = Payload();
    if (opcode == OpClose) {
        m_Open = false;
    }
    m_Socket->AsyncSend(CBYTESubBuffer(std::move(frame)),
                        [self, done = std::move(done)](ITCPSocket::ErrorCode code, uint64_t) {
                            if (done) {
                                done(code);
                            }
                        });
}

void AsyncWebSocket::Close(CloseCallback&& done) {
    auto self = SharedFromThisAs<AsyncWebSocket>();
    if (!m_Open) {
        boost::asio::post(Io(), [self, done = std::move(done)]() {
            if (done) {
                done();
            }
        });
        return;
    }
    Send(OpClose, Payload(), [self, done = std::move(done)](ITCPSocket::ErrorCode) {
        if (done) {
            done();
        }
    });
    StartCloseTimer();
}

void AsyncWebSocket::StartCloseTimer() {
    if (m_CloseTimer) {
        return;
    }
    m_CloseTimer = std::make_shared<boost::asio::steady_timer>(Io(), kCloseAnswerTimeout);
    std::weak_ptr<AsyncWebSocket> weak = SharedFromThisAs<AsyncWebSocket>();
    m_CloseTimer->async_wait([weak](const boost::system::error_code& error) {
        auto self = weak.lock();
        if (error || !self) {
            return;
        }
        self->Log(logging::Warning)
            << "The server did not answer the close frame in time; the socket is closed.";
        self->m_Socket->AsyncClose(nullptr);
    });
}

void AsyncWebSocket::Receive(ReceiveCallback&& done) {
    ReceiveFrame(std::move(done));
}

void AsyncWebSocket::ReceiveFrame(ReceiveCallback done) {
    auto self = SharedFromThisAs<AsyncWebSocket>();
    if (!m_Unread.empty()) {
        // Bytes that arrived with the upgrade answer come first, one step per handler.
        boost::asio::post(Io(), [self, done = std::move(done)]() mutable {
            self->ConsumeUnread(std::move(done));
        });
        return;
    }
    const std::size_t needed = m_Reader.Needed();
    m_Socket->AsyncReceive(needed, [self, needed, done = std::move(done)](
                                       ITCPSocket::ErrorCode code, CBYTESubBuffer&& data) mutable {
        if (code != ITCPSocket::Success || data.GetLength() < needed ||
            data.GetBuffer() == nullptr) {
            self->m_Reader.Reset();
            done(code != ITCPSocket::Success ? code : ITCPSocket::ReadFailure, Payload());
            return;
        }
        std::size_t consumed = 0;
        const auto result = self->m_Reader.Feed(
            data.GetBuffer(), static_cast<std::size_t>(data.GetLength()), consumed);
        self->Act(result, std::move(done));
    });
}

void AsyncWebSocket::ConsumeUnread(ReceiveCallback done) {
    std::size_t consumed = 0;
    const auto result = m_Reader.Feed(m_Unread.data(), m_Unread.size(), consumed);
    m_Unread.consume(consumed);
    Act(result, std::move(done));
}

void AsyncWebSocket::CloseSocketThen(ReceiveCallback done, ITCPSocket::ErrorCode code) {
    auto self = SharedFromThisAs<AsyncWebSocket>();
    m_Open = false;
    m_Unread = Payload();
    if (m_CloseTimer) {
        m_CloseTimer->cancel();
    }
    m_Socket->AsyncClose(
        [self, code, done = std::move(done)](ITCPSocket::ErrorCode) { done(code, Payload()); });
}

void AsyncWebSocket::Act(WebSocketFrameReader::Result result, ReceiveCallback done) {
    using Result = WebSocketFrameReader::Result;
    auto self = SharedFromThisAs<AsyncWebSocket>();
    switch (result) {
        case Result::NeedMore:
            ReceiveFrame(std::move(done));
            return;
        case Result::Message:
            done(ITCPSocket::Success, m_Reader.TakePayload());
            return;
        case Result::Pong:
            m_Reader.TakePayload();
            ReceiveFrame(std::move(done));
            return;
        case Result::Ping:
            Send(OpPong, m_Reader.TakePayload(),
                 [self, done = std::move(done)](ITCPSocket::ErrorCode) mutable {
                     self->ReceiveFrame(std::move(done));
                 });
            return;
        case Result::Close: {
            Payload payload = m_Reader.TakePayload();
            if (!m_Open) {
                CloseSocketThen(std::move(done), ITCPSocket::OperationCancelled);
                return;
            }
            Send(OpClose, std::move(payload),
                 [self, done = std::move(done)](ITCPSocket::ErrorCode) mutable {
                     self->CloseSocketThen(std::move(done), ITCPSocket::OperationCancelled);
                 });
            return;
        }
        case Result::Error: {
            Log(logging::Warning) << "Bad frame from the server (" << m_Reader.GetError()
                                  << "); the web socket connection is failed.";
            const uint16_t status = m_Reader.GetErrorCloseCode();
            m_Reader.Reset();
            if (!m_Open) {
                CloseSocketThen(std::move(done), ITCPSocket::ReadFailure);
                return;
            }
            Payload payload;
            payload.push_back(static_cast<unsigned char>(status >> 8));
            payload.push_back(static_cast<unsigned char>(status & 0xFF));
            Send(OpClose, std::move(payload),
                 [self, done = std::move(done)](ITCPSocket::ErrorCode) mutable {
                     self->CloseSocketThen(std::move(done), ITCPSocket::ReadFailure);
                 });
            return;
        }
    }
}

}  // namespace network
