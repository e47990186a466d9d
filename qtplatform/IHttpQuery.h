#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "qtplatform/SslError.h"

// One HTTP or HTTPS request run on the Qt thread and driven from the main thread. Handlers
// run on the main thread, as tasks of the queue "QtPlatform::HttpQuery".
class IHttpQuery {
public:
    // The verb of the request; any other value sends "GET".
    enum Operation : int32_t {
        Get = 0,
        Post = 1,
        Put = 2,
        Patch = 3,
        Delete = 4,
    };

    // Qt's QNetworkReply::NetworkError in order and names, numbered densely. HTTP error
    // statuses arrive through these values (403 as ContentAccessDenied, 404 as
    // ContentNotFoundError).
    enum Error : int32_t {
        NoError = 0,
        ConnectionRefusedError = 1,
        RemoteHostClosedError = 2,
        HostNotFoundError = 3,
        TimeoutError = 4,
        OperationCanceledError = 5,
        SslHandshakeFailedError = 6,
        TemporaryNetworkFailureError = 7,
        NetworkSessionFailedError = 8,
        BackgroundRequestNotAllowedError = 9,
        TooManyRedirectsError = 10,
        InsecureRedirectError = 11,
        UnknownNetworkError = 12,
        ProxyConnectionRefusedError = 13,
        ProxyConnectionClosedError = 14,
        ProxyNotFoundError = 15,
        ProxyTimeoutError = 16,
        ProxyAuthenticationRequiredError = 17,
        UnknownProxyError = 18,
        ContentAccessDenied = 19,
        ContentOperationNotPermittedError = 20,
        ContentNotFoundError = 21,
        AuthenticationRequiredError = 22,
        ContentReSendError = 23,
        ContentConflictError = 24,
        ContentGoneError = 25,
        UnknownContentError = 26,
        ProtocolUnknownError = 27,
        ProtocolInvalidOperationError = 28,
        ProtocolFailure = 29,
        InternalServerError = 30,
        OperationNotImplementedError = 31,
        ServiceUnavailableError = 32,
        UnknownServerError = 33,
    };

    virtual ~IHttpQuery() = default;

    // The enumerator's name ("ContentAccessDenied", ...); null for a value without one.
    static const char* errorName(Error error);

    virtual void setUrl(const std::string& url) = 0;
    virtual void setOperation(Operation operation) = 0;
    virtual void setRawHeader(const std::string& name, const std::string& value) = 0;
    virtual void setFinishedHandler(std::function<void(bool)>&& handler) = 0;
    virtual void setErrorHandler(std::function<void(Error)>&& handler) = 0;
    virtual void setSslErrorHandler(
        std::function<void(std::vector<SslError::ErrorCode>)>&& handler) = 0;
    virtual void setBody(const std::string& body) = 0;
    virtual void setContentType(const std::string& contentType) = 0;
    virtual const std::vector<char>& getResponse() const = 0;
    virtual const std::string& getStringResponse() const = 0;
    virtual const std::map<std::string, std::string>& getRawHeaderList() const = 0;
    // The value of the first response header whose name matches without regard to case;
    // empty when there is none.
    virtual std::string getHeader(const std::string& name) const = 0;
    virtual void execute() = 0;
    virtual void transferFile(const std::string& filePath) = 0;
    virtual void reset() = 0;
    // Blocks until the query is done or `ms` milliseconds have passed (no limit when
    // negative); true when it is done.
    virtual bool waitForFinished(int ms) = 0;
    virtual void ignoreSslErrors(const std::vector<SslError::ErrorCode>& codes) = 0;
    // Drops every installed handler; results already posted then call nothing.
    virtual void resetEventHandlers() = 0;
    // Ends the request with an error when no data moves for `ms` milliseconds (0: no limit).
    // Without a call the limit is 60000 ms.
    virtual void setTransferTimeout(int ms) { (void)ms; }
};
