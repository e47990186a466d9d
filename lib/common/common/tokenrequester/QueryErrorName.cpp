#include "common/tokenrequester/QueryErrorName.h"

namespace common {

std::string queryErrorName(IHttpQuery::Error error) {
    static const char* const kNames[] = {
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
    const auto value = static_cast<int32_t>(error);
    if (value >= 0 && static_cast<std::size_t>(value) < sizeof(kNames) / sizeof(kNames[0])) {
        return kNames[value];
    }
    return std::to_string(value);
}

}  // namespace common
