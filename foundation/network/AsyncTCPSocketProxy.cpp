// The HTTP CONNECT negotiation of AsyncTCPSocket: a plain CONNECT without proxy
// authentication (a 407 answer ends with ProxyAuthenticationRequired).
#include <istream>
#include <memory>
#include <ostream>
#include <sstream>

#include <boost/asio/streambuf.hpp>

#include "foundation/conversion/LexicalCast.h"
#include "foundation/network/AsyncTCPSocket.h"

namespace network {
namespace {

const std::size_t kMaximumHead = 64 * 1024;

// The status of "HTTP/1.x SSS reason"; 0 when the line is not a status line.
int StatusOf(const std::string& line) {
    if (line.compare(0, 7, "HTTP/1.") != 0 || line.size() < 12 || line[8] != ' ') {
        return 0;
    }
    int status = 0;
    for (std::size_t i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        status = status * 10 + (line[i] - '0');
    }
    return status >= 100 ? status : 0;
}

}  // namespace

void AsyncTCPSocket::AsyncProxyAuthenticate(const std::string& host, uint16_t port, bool secure,
                                            const std::string& proxyHost, uint16_t proxyPort,
                                            ConnectCallback callback) {
    Log(logging::Debug) << "Sending HTTP CONNECT to proxy <" << proxyHost << ":" << proxyPort
                        << ">";
    auto request = std::make_shared<boost::asio::streambuf>();
    {
        std::ostream out(request.get());
        out << "CONNECT " << host << ":" << port << " HTTP/1.1\r\n"
            << "Host: " << host;
        if (port != 80) {
            out << ":" << port;
        }
        out << "\r\nProxy-Connection: keep-alive\r\n\r\n";
    }

    auto self = shared_from_this();
    auto expired = std::make_shared<bool>(false);
    auto deadline = StartDeadline(m_Timeout, expired);
    AsyncWrite(*request, [self, request, deadline, expired, host, secure, callback](
                             const boost::system::error_code& error, std::size_t) {
        if (error) {
            deadline->cancel();
            self->Log(logging::Error)
                << "TCP write error; reason: " << error.message() << " [" << error.value() << "]";
            callback(ProxyNegotiationFailure);
            return;
        }
        auto response = std::make_shared<boost::asio::streambuf>(kMaximumHead);
        self->AsyncReadUntil(*response, "\r\n\r\n",
                             [self, response, deadline, expired, host, secure, callback](
                                 const boost::system::error_code& readError, std::size_t) {
                                 deadline->cancel();
                                 if (readError) {
                                     self->Log(logging::Error)
                                         << "TCP read error; reason: " << readError.message()
                                         << " [" << readError.value() << "]";
                                     callback(ProxyNegotiationFailure);
                                     return;
                                 }
                                 std::istream in(response.get());
                                 std::string line;
                                 std::getline(in, line);
                                 const int status = StatusOf(line);
                                 self->Log(logging::Debug)
                                     << "Proxy responds to HTTP CONNECT with status " << status;
                                 if (status == 200) {
                                     if (secure) {
                                         self->Handshake(host, callback);
                                     } else {
                                         callback(Success);
                                     }
                                 } else if (status == 407) {
                                     callback(ProxyAuthenticationRequired);
                                 } else {
                                     callback(ProxyNegotiationFailure);
                                 }
                             });
    });
}

}  // namespace network
