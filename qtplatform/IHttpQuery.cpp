#include "qtplatform/IHttpQuery.h"

#include <array>

const char* IHttpQuery::errorName(Error error) {
    static const std::array<const char*, 34> names = {
        "NoError",
        "ConnectionRefusedError",
        "RemoteHostClosedError",
        "HostNotFoundError",
        "TimeoutError",
        "OperationCanceledError",
        "SslHandshakeFailedError",
        "TemporaryNetworkFailureError",
        "NetworkSessionFailedError",
        "BackgroundRequestNotAllowedError",
        "TooManyRedirectsError",
        "InsecureRedirectError",
        "UnknownNetworkError",
        "ProxyConnectionRefusedError",
        "ProxyConnectionClosedError",
        "ProxyNotFoundError",
        "ProxyTimeoutError",
        "ProxyAuthenticationRequiredError",
        "UnknownProxyError",
        "ContentAccessDenied",
        "ContentOperationNotPermittedError",
        "ContentNotFoundError",
        "AuthenticationRequiredError",
        "ContentReSendError",
        "ContentConflictError",
        "ContentGoneError",
        "UnknownContentError",
        "ProtocolUnknownError",
        "ProtocolInvalidOperationError",
        "ProtocolFailure",
        "InternalServerError",
        "OperationNotImplementedError",
        "ServiceUnavailableError",
        "UnknownServerError",
    };
    const int value = static_cast<int>(error);
    if (value < 0 || value >= static_cast<int>(names.size())) {
        return nullptr;
    }
    return names[static_cast<std::size_t>(value)];
}
