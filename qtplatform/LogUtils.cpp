#include "qtplatform/LogUtils.h"

#include <array>
#include <cstdint>
#include <cstdio>

std::string LogUtils::pointerToHex(const void* p) {
    char text[2 + 2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(text, sizeof(text), "0x%jx",
                  static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(p)));
    return text;
}

std::string LogUtils::toString(QAbstractSocket::SocketError error) {
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
    if (value == -1) {
        return "UnknownSocketError";
    }
    if (value >= 0 && static_cast<std::size_t>(value) < names.size()) {
        return names[static_cast<std::size_t>(value)];
    }
    return "Unknown";
}
