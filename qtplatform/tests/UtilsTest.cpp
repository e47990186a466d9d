// Pure helpers of the Qt layer: SSL error codes, log texts, error and verb tables, URL rule.

#include <gtest/gtest.h>

#include <QSslError>

#include "qtplatform/HttpQuery.h"
#include "qtplatform/IWebSocket.h"
#include "qtplatform/LogUtils.h"
#include "qtplatform/QtUtils.h"
#include "qtplatform/SslError.h"
#include "qtplatform/WebSocket.h"

TEST(SslErrorCodes, ConvertOnlyQtsOwnRange) {
    EXPECT_EQ(SslError::toQSslError(SslError::SelfSignedCertificate),
              QSslError::SelfSignedCertificate);
    EXPECT_EQ(SslError::toQSslError(SslError::OcspStatusUnknown), QSslError::OcspStatusUnknown);
    EXPECT_EQ(SslError::toQSslError(static_cast<SslError::ErrorCode>(37)),
              QSslError::UnspecifiedError);
    EXPECT_EQ(SslError::toQSslError(static_cast<SslError::ErrorCode>(-5)),
              QSslError::UnspecifiedError);
    EXPECT_EQ(SslError::toErrorCode(QSslError(QSslError::HostNameMismatch)),
              SslError::HostNameMismatch);
    EXPECT_EQ(SslError::toErrorCode(QSslError(QSslError::UnspecifiedError)),
              SslError::UnspecifiedError);
}

TEST(SslErrorCodes, FindByErrorCodeTakesTheFirstErrorOfEachCodeInCodeOrder) {
    const QList<QSslError> errors{QSslError(QSslError::SelfSignedCertificate),
                                  QSslError(QSslError::HostNameMismatch),
                                  QSslError(QSslError::SelfSignedCertificate)};
    EXPECT_TRUE(SslError::findByErrorCode(errors, {}).isEmpty());
    const QList<QSslError> selected = SslError::findByErrorCode(
        errors, {QSslError::HostNameMismatch, QSslError::CertificateExpired,
                 QSslError::SelfSignedCertificate});
    ASSERT_EQ(selected.size(), 2);
    EXPECT_EQ(selected[0].error(), QSslError::HostNameMismatch);
    EXPECT_EQ(selected[1].error(), QSslError::SelfSignedCertificate);
}

TEST(LogTexts, PointerToHexAndSocketErrorNames) {
    EXPECT_EQ(LogUtils::pointerToHex(nullptr), "0x0");
    EXPECT_EQ(LogUtils::pointerToHex(reinterpret_cast<const void*>(255)), "0xff");
    EXPECT_EQ(LogUtils::toString(QAbstractSocket::ConnectionRefusedError),
              "ConnectionRefusedError");
    EXPECT_EQ(LogUtils::toString(QAbstractSocket::TemporaryError), "TemporaryError");
    EXPECT_EQ(LogUtils::toString(QAbstractSocket::UnknownSocketError), "UnknownSocketError");
    EXPECT_EQ(LogUtils::toString(static_cast<QAbstractSocket::SocketError>(23)), "Unknown");
}

TEST(LogTexts, WebSocketErrorNames) {
    EXPECT_EQ(IWebSocket::errorToString(IWebSocket::ConnectionRefusedError),
              "ConnectionRefusedError");
    EXPECT_EQ(IWebSocket::errorToString(IWebSocket::TemporaryError), "TemporaryError");
    EXPECT_EQ(IWebSocket::errorToString(IWebSocket::UnknownSocketError), "Unknown Error");
    EXPECT_EQ(IWebSocket::errorToString(static_cast<IWebSocket::Error>(23)), "Unknown Error");
}

TEST(HttpQueryTables, QtErrorsAreRenumberedDensely) {
    const std::vector<std::pair<int, IHttpQuery::Error>> table{
        {0, IHttpQuery::NoError},
        {6, IHttpQuery::SslHandshakeFailedError},
        {11, IHttpQuery::InsecureRedirectError},
        {99, IHttpQuery::UnknownNetworkError},
        {100, IHttpQuery::UnknownNetworkError},
        {500, IHttpQuery::UnknownNetworkError},
        {-1, IHttpQuery::UnknownNetworkError},
        {101, IHttpQuery::ProxyConnectionRefusedError},
        {105, IHttpQuery::ProxyAuthenticationRequiredError},
        {199, IHttpQuery::UnknownProxyError},
        {201, IHttpQuery::ContentAccessDenied},
        {203, IHttpQuery::ContentNotFoundError},
        {207, IHttpQuery::ContentGoneError},
        {299, IHttpQuery::UnknownContentError},
        {301, IHttpQuery::ProtocolUnknownError},
        {399, IHttpQuery::ProtocolFailure},
        {401, IHttpQuery::InternalServerError},
        {403, IHttpQuery::ServiceUnavailableError},
        {499, IHttpQuery::UnknownServerError},
    };
    for (const auto& entry : table) {
        EXPECT_EQ(HttpQuery::toError(static_cast<QNetworkReply::NetworkError>(entry.first)),
                  entry.second)
            << "Qt value " << entry.first;
    }
}

TEST(HttpQueryTables, VerbsWithGetForUnknownOperations) {
    EXPECT_EQ(HttpQuery::toVerb(IHttpQuery::Get), "GET");
    EXPECT_EQ(HttpQuery::toVerb(IHttpQuery::Post), "POST");
    EXPECT_EQ(HttpQuery::toVerb(IHttpQuery::Put), "PUT");
    EXPECT_EQ(HttpQuery::toVerb(IHttpQuery::Patch), "PATCH");
    EXPECT_EQ(HttpQuery::toVerb(IHttpQuery::Delete), "DELETE");
    EXPECT_EQ(HttpQuery::toVerb(static_cast<IHttpQuery::Operation>(7)), "GET");
    EXPECT_EQ(HttpQuery::toVerb(static_cast<IHttpQuery::Operation>(-1)), "GET");
}

TEST(WebSocketRules, OnlyALeadingHttpsSchemeBecomesWss) {
    EXPECT_EQ(WebSocket::toWebSocketUrl("https://host/x"), "wss://host/x");
    EXPECT_EQ(WebSocket::toWebSocketUrl("HTTPS://host/x"), "wss://host/x");
    EXPECT_EQ(WebSocket::toWebSocketUrl("https://host/x?next=https://other/"),
              "wss://host/x?next=https://other/");
    EXPECT_EQ(WebSocket::toWebSocketUrl("wss://host/?a=https://b"), "wss://host/?a=https://b");
    EXPECT_EQ(WebSocket::toWebSocketUrl("ws://host/"), "ws://host/");
    EXPECT_EQ(WebSocket::toWebSocketUrl("http://host/"), "http://host/");
}

TEST(WebSocketRules, SocketErrorsMapToTheirNumberOrUnknown) {
    EXPECT_EQ(WebSocket::mapError(-1), IWebSocket::UnknownSocketError);
    EXPECT_EQ(WebSocket::mapError(0), IWebSocket::ConnectionRefusedError);
    EXPECT_EQ(WebSocket::mapError(1), IWebSocket::UnknownSocketError);
    EXPECT_EQ(WebSocket::mapError(2), IWebSocket::HostNotFoundError);
    EXPECT_EQ(WebSocket::mapError(13), IWebSocket::SslHandshakeFailedError);
    EXPECT_EQ(WebSocket::mapError(22), IWebSocket::TemporaryError);
    EXPECT_EQ(WebSocket::mapError(23), IWebSocket::UnknownSocketError);
    EXPECT_EQ(WebSocket::mapError(-2), IWebSocket::UnknownSocketError);
}

TEST(QtUtilsTimeZone, GivesANonEmptyName) {
    EXPECT_FALSE(QtUtils::getTimeZone().empty());
}
