#include "qtplatform/HttpQuery.h"

#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QHttpPart>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QThread>
#include <QUrl>
#include <chrono>

#include "common/metrics/Tag.h"
#include "qtplatform/LogCategories.h"
#include "qtplatform/LogUtils.h"
#include "qtplatform/ProxyAuthenticator.h"

#define QUERY_LOG(level) qC##level(HttpQueryLog) << "[" << static_cast<const void*>(this) << "]"

HttpQuery::HttpQuery(QThread* thread, QNetworkAccessManager* manager,
                     ProxyAuthenticator& authenticator, common::ITaskQueue& taskQueue,
                     std::weak_ptr<common::metrics::IMetricsCollector> metricsCollector)
    : _networkAccessManager(manager),
      _proxyAuthenticator(authenticator),
      _request(QUrl()),
      _taskQueue(taskQueue),
      _metricsCollector(std::move(metricsCollector)),
      _bytesReceived(common::metrics::Tag::HttpQuery::BytesReceived, _metricsCollector),
      _handlers(std::make_shared<Handlers>()) {
    _bytesReceived.addFixedAttribute("object", LogUtils::pointerToHex(this));
    moveToThread(thread);
}

HttpQuery::~HttpQuery() {
    // A reply still running belongs to the manager: end it so that it does not stay behind.
    if (_reply) {
        _reply->disconnect(this);
        _reply->abort();
        _reply->deleteLater();
    }
}

void HttpQuery::setUrl(const std::string& url) {
    _request.setUrl(
        QUrl(QString::fromUtf8(url.data(), static_cast<int>(url.size())), QUrl::TolerantMode));
}

void HttpQuery::setOperation(Operation operation) {
    _operation = operation;
}

void HttpQuery::setRawHeader(const std::string& name, const std::string& value) {
    // A line break would let the value write headers (or a request) of its own.
    if (name.find_first_of("\r\n") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos) {
        QUERY_LOG(Warning) << "refusing a header with a line break:"
                           << QByteArray(name.data(), static_cast<int>(name.size()));
        return;
    }
    _request.setRawHeader(QByteArray(name.data(), static_cast<int>(name.size())),
                          QByteArray(value.data(), static_cast<int>(value.size())));
}

void HttpQuery::setFinishedHandler(std::function<void(bool)>&& handler) {
    std::lock_guard<std::mutex> lock(_mutex);
    _handlers->finished = std::move(handler);
}

void HttpQuery::setErrorHandler(std::function<void(Error)>&& handler) {
    std::lock_guard<std::mutex> lock(_mutex);
    _handlers->error = std::move(handler);
}

void HttpQuery::setSslErrorHandler(
    std::function<void(std::vector<SslError::ErrorCode>)>&& handler) {
    std::lock_guard<std::mutex> lock(_mutex);
    _handlers->sslError = std::move(handler);
}

void HttpQuery::setBody(const std::string& body) {
    _body = QByteArray(body.data(), static_cast<int>(body.size()));
}

void HttpQuery::setContentType(const std::string& contentType) {
    _request.setHeader(QNetworkRequest::ContentTypeHeader,
                       QString::fromUtf8(contentType.data(), static_cast<int>(contentType.size())));
}

const std::vector<char>& HttpQuery::getResponse() const {
    return _response;
}

const std::string& HttpQuery::getStringResponse() const {
    return _stringResponse;
}

const std::map<std::string, std::string>& HttpQuery::getRawHeaderList() const {
    return _responseHeaders;
}

std::string HttpQuery::getHeader(const std::string& name) const {
    const QString wanted = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
    for (const auto& header : _responseHeaders) {
        const QString candidate =
            QString::fromLatin1(header.first.data(), static_cast<int>(header.first.size()));
        if (candidate.compare(wanted, Qt::CaseInsensitive) == 0) {
            return header.second;
        }
    }
    return std::string();
}

void HttpQuery::execute() {
    _responseHeaders.clear();
    if (!QMetaObject::invokeMethod(this, &HttpQuery::internalExecute, Qt::QueuedConnection)) {
        QUERY_LOG(Critical) << "failed to call internalExecute";
    }
}

void HttpQuery::transferFile(const std::string& filePath) {
    _responseHeaders.clear();
    if (!QMetaObject::invokeMethod(
            this, "internalTransferFile", Qt::QueuedConnection,
            Q_ARG(QString,
                  QString::fromUtf8(filePath.data(), static_cast<int>(filePath.size()))))) {
        QUERY_LOG(Critical) << "failed to call internalTransferFile";
    }
}

void HttpQuery::reset() {
    _request = QNetworkRequest(QUrl());
    _body.clear();
    _response.clear();
    _stringResponse.clear();
}

bool HttpQuery::waitForFinished(int ms) {
    std::unique_lock<std::mutex> lock(_mutex);
    if (ms < 0) {
        _doneChanged.wait(lock, [this] { return _done; });
        return true;
    }
    _doneChanged.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms),
                            [this] { return _done; });
    return _done;
}

void HttpQuery::ignoreSslErrors(const std::vector<SslError::ErrorCode>& codes) {
    _ignoredErrors.clear();
    for (const SslError::ErrorCode code : codes) {
        _ignoredErrors.append(SslError::toQSslError(code));
    }
    QUERY_LOG(Warning) << "ignoring SSL errors:" << _ignoredErrors;
}

void HttpQuery::resetEventHandlers() {
    std::lock_guard<std::mutex> lock(_mutex);
    _handlers->revoked = true;
    _handlers = std::make_shared<Handlers>();
}

void HttpQuery::setTransferTimeout(int ms) {
    _transferTimeoutMs = ms < 0 ? 0 : ms;
}

IHttpQuery::Error HttpQuery::toError(QNetworkReply::NetworkError code) {
    const int value = static_cast<int>(code);
    if (value >= 0 && value <= 11) {
        return static_cast<Error>(value);
    }
    switch (value) {
        case 101:
            return ProxyConnectionRefusedError;
        case 102:
            return ProxyConnectionClosedError;
        case 103:
            return ProxyNotFoundError;
        case 104:
            return ProxyTimeoutError;
        case 105:
            return ProxyAuthenticationRequiredError;
        case 199:
            return UnknownProxyError;
        case 201:
            return ContentAccessDenied;
        case 202:
            return ContentOperationNotPermittedError;
        case 203:
            return ContentNotFoundError;
        case 204:
            return AuthenticationRequiredError;
        case 205:
            return ContentReSendError;
        case 206:
            return ContentConflictError;
        case 207:
            return ContentGoneError;
        case 299:
            return UnknownContentError;
        case 301:
            return ProtocolUnknownError;
        case 302:
            return ProtocolInvalidOperationError;
        case 399:
            return ProtocolFailure;
        case 401:
            return InternalServerError;
        case 402:
            return OperationNotImplementedError;
        case 403:
            return ServiceUnavailableError;
        case 499:
            return UnknownServerError;
        default:
            return UnknownNetworkError;
    }
}

QByteArray HttpQuery::toVerb(Operation operation) {
    switch (static_cast<int>(operation)) {
        case Post:
            return QByteArrayLiteral("POST");
        case Put:
            return QByteArrayLiteral("PUT");
        case Patch:
            return QByteArrayLiteral("PATCH");
        case Delete:
            return QByteArrayLiteral("DELETE");
        default:
            return QByteArrayLiteral("GET");
    }
}

void HttpQuery::internalExecute() {
    const QByteArray verb = toVerb(_operation);
    disableHSTS();
    _request.setTransferTimeout(_transferTimeoutMs);
    QNetworkReply* reply = _networkAccessManager->sendCustomRequest(_request, verb, _body);
    connectReplySignals(reply);
}

void HttpQuery::internalTransferFile(QString filePath) {
    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    auto* file = new QFile(filePath, multiPart);
    if (!file->open(QIODevice::ReadOnly)) {
        delete multiPart;
        return;
    }
    const QString disposition =
        QStringLiteral("attachment; filename=\"") + QFileInfo(*file).fileName() + QChar('"');
    // The body is the multipart form; Qt declares its own content type (with the boundary)
    // and length for it.
    _request.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
    part.setBodyDevice(file);
    multiPart->append(part);
    disableHSTS();
    _request.setTransferTimeout(_transferTimeoutMs);
    QNetworkReply* reply = _networkAccessManager->put(_request, multiPart);
    multiPart->setParent(reply);
    connectReplySignals(reply);
}

void HttpQuery::disableHSTS() {
    if (!_ignoredErrors.isEmpty() && _networkAccessManager->isStrictTransportSecurityEnabled()) {
        QUERY_LOG(Warning) << "disabling HSTS";
        _networkAccessManager->setStrictTransportSecurityEnabled(false);
    }
}

void HttpQuery::connectReplySignals(QNetworkReply* reply) {
    _reply = reply;
    connect(reply, &QNetworkReply::sslErrors, this, &HttpQuery::onReplySslErrors);
    connect(reply, &QNetworkReply::finished, this, &HttpQuery::onReplyFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &HttpQuery::onReplyError);
    connect(reply, &QNetworkReply::readyRead, this, &HttpQuery::onReplyReadyRead);
}

void HttpQuery::readAvailable(QNetworkReply* reply) {
    const qint64 available = reply->bytesAvailable();
    if (available <= 0) {
        return;
    }
    _bytesReceived.accumulate("size", available);
    const QByteArray bytes = reply->readAll();
    _response.insert(_response.end(), bytes.constData(), bytes.constData() + bytes.size());
    _stringResponse.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void HttpQuery::onReplyReadyRead() {
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (reply == nullptr) {
        QUERY_LOG(Warning) << "onReplyReadyRead caller is not a QNetworkReply";
        return;
    }
    readAvailable(reply);
}

void HttpQuery::onReplyFinished() {
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (reply == nullptr) {
        qCWarning(HttpQueryLog) << "onReplyFinished called from another object";
        setDone();
        return;
    }
    // Bytes that arrived without a readyRead of their own still belong to the body.
    readAvailable(reply);
    for (const QByteArray& name : reply->rawHeaderList()) {
        _responseHeaders[name.toStdString()] = reply->rawHeader(name).toStdString();
    }
    const bool hasHandler = static_cast<bool>(currentHandlers()->finished);
    if (hasHandler) {
        const bool success = reply->error() == QNetworkReply::NoError;
        if (success) {
            _proxyAuthenticator.credentialsAccepted();
        }
        setDone();
        postTask([success](Handlers& handlers) {
            if (handlers.finished) {
                handlers.finished(success);
            }
        });
    } else {
        QUERY_LOG(Warning) << "Finished handler is missing.";
        setDone();
    }
    // The reply (and an upload's multipart body hanging from it) is not needed any more.
    reply->deleteLater();
    if (_reply == reply) {
        _reply = nullptr;
    }
}

void HttpQuery::onReplyError(QNetworkReply::NetworkError code) {
    QUERY_LOG(Critical) << "network error:" << code;
    if (currentHandlers()->error) {
        const Error mapped = toError(code);
        setDone();
        postTask([mapped](Handlers& handlers) {
            if (handlers.error) {
                handlers.error(mapped);
            }
        });
    } else {
        QUERY_LOG(Warning) << "Error handler is missing.";
        setDone();
    }
}

void HttpQuery::onReplySslErrors(const QList<QSslError>& errors) {
    QUERY_LOG(Critical) << "SSL errors:" << errors;
    const QList<QSslError> matched = SslError::findByErrorCode(errors, _ignoredErrors);
    QUERY_LOG(Debug) << "matched errors:" << matched;
    if (matched.size() != errors.size()) {
        QUERY_LOG(Warning) << "one or more errors won't be ignored";
    }
    if (matched.isEmpty()) {
        if (currentHandlers()->sslError) {
            std::vector<SslError::ErrorCode> codes;
            codes.reserve(static_cast<std::size_t>(errors.size()));
            for (const QSslError& error : errors) {
                codes.push_back(SslError::toErrorCode(error));
            }
            setDone();
            postTask([codes](Handlers& handlers) {
                if (handlers.sslError) {
                    handlers.sslError(codes);
                }
            });
        } else {
            QUERY_LOG(Warning) << "sslError handler is missing.";
            setDone();
        }
        return;
    }
    QUERY_LOG(Warning) << "ignoring SSL errors:" << matched;
    if (auto* reply = qobject_cast<QNetworkReply*>(sender())) {
        reply->ignoreSslErrors(matched);
    }
    setDone();
}

void HttpQuery::setDone() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _done = true;
    }
    _doneChanged.notify_one();
}

std::shared_ptr<HttpQuery::Handlers> HttpQuery::currentHandlers() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _handlers;
}

void HttpQuery::postTask(std::function<void(Handlers&)> call) {
    std::weak_ptr<Handlers> handlers = currentHandlers();
    _taskQueue.push(
        [handlers, call = std::move(call)](bool&, unsigned long) {
            if (auto alive = handlers.lock(); alive && !alive->revoked) {
                call(*alive);
            }
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}
