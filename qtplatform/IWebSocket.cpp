#include "qtplatform/IWebSocket.h"

#include <array>

std::string IWebSocket::errorToString(Error error) {
    static const std::array<const char*, 23> names = {
        "ConnectionRefusedError",
        "RemoteHostClosedError",
        "HostNotFoundError",
        "SocketAccessError",
        "SocketResourceError",
        "SocketTimeoutError",
        "DatagramTooLargeError",
        "NetworkError",
        "AddressInUseError",
        "SocketAddressNotAvailableError",
        "UnsupportedSocketOperationError",
        "UnfinishedSocketOperationError",
        "ProxyAuthenticationRequiredError",
        "SslHandshakeFailedError",
        "ProxyConnectionRefusedError",
        "ProxyConnectionClosedError",
        "ProxyConnectionTimeoutError",
        "ProxyNotFoundError",
        "ProxyProtocolError",
        "OperationError",
        "SslInternalError",
        "SslInvalidUserDataError",
        "TemporaryError",
    };
    const int value = static_cast<int>(error);
    if (value >= 0 && static_cast<std::size_t>(value) < names.size()) {
        return names[static_cast<std::size_t>(value)];
    }
    return "Unknown Error";
}
