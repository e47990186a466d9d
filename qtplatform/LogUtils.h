#pragma once

#include <QAbstractSocket>
#include <string>

// Texts for the log lines and metric attributes of the Qt layer.
class LogUtils {
public:
    // "0x" and the address in lower-case hexadecimal digits, without leading zeros.
    static std::string pointerToHex(const void* p);
    // The Qt enumerator name of the socket error; "UnknownSocketError" for -1, "Unknown" for
    // values outside Qt's list.
    static std::string toString(QAbstractSocket::SocketError error);
};
