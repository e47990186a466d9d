#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "qtplatform/SslError.h"

// The WebSocket client of the Qt layer. Operations are called on the main thread; handlers run
// there too, as tasks of the socket's own queue "QtPlatform::WebSocket".
class IWebSocket {
public:
    // The numbering of Qt's QAbstractSocket::SocketError; -1 fits none of the others.
    enum Error : int {
        UnknownSocketError = -1,
        ConnectionRefusedError = 0,
        RemoteHostClosedError = 1,
        HostNotFoundError = 2,
        SocketAccessError = 3,
        SocketResourceError = 4,
        SocketTimeoutError = 5,
        DatagramTooLargeError = 6,
        NetworkError = 7,
        AddressInUseError = 8,
        SocketAddressNotAvailableError = 9,
        UnsupportedSocketOperationError = 10,
        UnfinishedSocketOperationError = 11,
        ProxyAuthenticationRequiredError = 12,
        SslHandshakeFailedError = 13,
        ProxyConnectionRefusedError = 14,
        ProxyConnectionClosedError = 15,
        ProxyConnectionTimeoutError = 16,
        ProxyNotFoundError = 17,
        ProxyProtocolError = 18,
        OperationError = 19,
        SslInternalError = 20,
        SslInvalidUserDataError = 21,
        TemporaryError = 22,
    };

    using BinaryMessageReceivedHandler = std::function<void(std::vector<uint8_t>)>;
    using MessageSentHandler = std::function<void(bool)>;
    using TextMessageReceivedHandler = std::function<void(std::string)>;
    using ConnectedHandler =
        std::function<void(const std::string& proxyHost, uint16_t proxyPort,
                           const std::string& proxyUser, const std::string& proxyPassword)>;
    using DisconnectedHandler = std::function<void()>;
    using ErrorHandler = std::function<void(Error)>;
    using SslErrorHandler = std::function<void(std::vector<SslError::ErrorCode>)>;
    using PongHandler = std::function<void(uint64_t elapsedMs, std::vector<uint8_t> payload)>;
    using ProxyAuthenticationRequiredHandler = std::function<void(std::string host, uint16_t port)>;

    virtual ~IWebSocket() = default;

    // Opens the URL (UTF-8); a leading "https://" is opened as "wss://".
    virtual void open(const std::string& url) = 0;
    virtual void close() = 0;
    // Sent with every later opening handshake; a second call with the same name replaces it.
    virtual void setRawHeader(const std::string& name, const std::string& value) = 0;
    virtual void setProxyCredentials(const std::wstring& user, const std::wstring& password) = 0;
    virtual void sendBinaryMessage(const std::vector<uint8_t>& data) = 0;
    virtual void sendTextMessage(const std::string& message) = 0;
    virtual void ping(const std::vector<uint8_t>& payload) = 0;
    virtual void ignoreSslErrors(const std::vector<SslError::ErrorCode>& codes) = 0;
    // Drops every installed handler; reports already posted then call nothing.
    virtual void resetEventHandlers() = 0;
    virtual void setBinaryMessageReceivedHandler(BinaryMessageReceivedHandler&& handler) = 0;
    virtual void setBinaryMessageSentHandler(MessageSentHandler&& handler) = 0;
    virtual void setTextMessageReceivedHandler(TextMessageReceivedHandler&& handler) = 0;
    virtual void setTextMessageSentHandler(MessageSentHandler&& handler) = 0;
    virtual void setConnectedHandler(ConnectedHandler&& handler) = 0;
    virtual void setDisconnectedHandler(DisconnectedHandler handler) = 0;
    virtual void setErrorHandler(ErrorHandler&& handler) = 0;
    virtual void setSslErrorHandler(SslErrorHandler&& handler) = 0;
    virtual void setPongHandler(PongHandler&& handler) = 0;
    virtual void setProxyAuthenticationRequiredHandler(
        ProxyAuthenticationRequiredHandler&& handler) = 0;

    // The enumerator's name for 0..22, "Unknown Error" for anything else.
    static std::string errorToString(Error error);
};
