#include "qtplatform/IWebSocket.h"

#include "qtplatform/LogUtils.h"

std::string IWebSocket::errorToString(Error error) {
    // The values are Qt's socket errors; the names come from the one table of them.
    const int value = static_cast<int>(error);
    if (value < static_cast<int>(ConnectionRefusedError) ||
        value > static_cast<int>(TemporaryError)) {
        return "Unknown Error";
    }
    return LogUtils::toString(static_cast<QAbstractSocket::SocketError>(value));
}
