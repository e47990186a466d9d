#pragma once

#include <cstdint>

namespace network {

// The outcome of one HTTP exchange. A value of 100 or more is the status code of a response that
// was received and parsed (3xx statuses that were not followed included). A value below 100 is a
// transport code of the client; only the four named ones are produced. A completion with 407 and
// no response object means the proxy in front of the target demanded credentials while the
// tunnel was set up.
enum HTTPStatusCode : int32_t {
    // The first response line is not a valid status line.
    InvalidResponse = 0,
    // Refused before anything was sent: no socket, a socket of another endpoint, a closed pool
    // handle, a request the pool policy refused, or a request that cannot be written safely.
    NotIssued = 1,
    // TCP connect, proxy tunnel, TLS handshake or an unreachable network.
    ConnectFailed = 3,
    // Writing the request or reading the response failed, the peer closed early, the framing was
    // wrong, the exchange ran past its deadline or the body did not decode.
    TransferFailed = 5,
};

// True for the transport codes (values below 100).
inline bool IsTransportCode(HTTPStatusCode status) {
    return static_cast<int32_t>(status) < 100;
}

}  // namespace network
