#pragma once

#include <atomic>

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/metrics/IMetricsCollector.h"
#include "common/metrics/MetricsAccumulator.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "qtplatform/IHttpQuery.h"

class QNetworkAccessManager;
class QThread;
class ProxyAuthenticator;

// An HTTP query run by the network access manager on the Qt thread. Configured and read on the
// main thread; its handlers run there as tasks of the shared queue "QtPlatform::HttpQuery".
// Destroyed only through the platform's deleter (on the Qt thread).
class HttpQuery : public QObject, public IHttpQuery {
    Q_OBJECT

public:
    struct Handlers {
        std::function<void(bool)> finished;
        std::function<void(IHttpQuery::Error)> error;
        std::function<void(std::vector<SslError::ErrorCode>)> sslError;
        // Set when the table is replaced: a report already posted, or being posted on the Qt
        // thread while it still holds the table, then calls nothing.
        std::atomic<bool> revoked{false};
    };

    // The limit of a transfer in which no data moves, unless the caller sets another.
    static constexpr int kDefaultTransferTimeoutMs = 60000;

    HttpQuery(QThread* thread, QNetworkAccessManager* manager, ProxyAuthenticator& authenticator,
              common::ITaskQueue& taskQueue,
              std::weak_ptr<common::metrics::IMetricsCollector> metricsCollector);
    ~HttpQuery() override;

    void setUrl(const std::string& url) override;
    void setOperation(Operation operation) override;
    void setRawHeader(const std::string& name, const std::string& value) override;
    void setFinishedHandler(std::function<void(bool)>&& handler) override;
    void setErrorHandler(std::function<void(Error)>&& handler) override;
    void setSslErrorHandler(
        std::function<void(std::vector<SslError::ErrorCode>)>&& handler) override;
    void setBody(const std::string& body) override;
    void setContentType(const std::string& contentType) override;
    const std::vector<char>& getResponse() const override;
    const std::string& getStringResponse() const override;
    const std::map<std::string, std::string>& getRawHeaderList() const override;
    std::string getHeader(const std::string& name) const override;
    void execute() override;
    void transferFile(const std::string& filePath) override;
    void reset() override;
    bool waitForFinished(int ms) override;
    void ignoreSslErrors(const std::vector<SslError::ErrorCode>& codes) override;
    void resetEventHandlers() override;
    void setTransferTimeout(int ms) override;

    // The dense error value of a Qt network error (UnknownNetworkError for unlisted ones).
    static Error toError(QNetworkReply::NetworkError code);
    // The verb of an operation ("GET" for unknown values).
    static QByteArray toVerb(Operation operation);

private slots:
    void internalTransferFile(QString filePath);

private:
    void internalExecute();
    void disableHSTS();
    void connectReplySignals(QNetworkReply* reply);
    void onReplySslErrors(const QList<QSslError>& errors);
    void onReplyFinished();
    void onReplyError(QNetworkReply::NetworkError code);
    void onReplyReadyRead();
    void readAvailable(QNetworkReply* reply);
    void setDone();
    std::shared_ptr<Handlers> currentHandlers() const;
    // Posts `call` with the handler set current now; it runs only while that set lives.
    void postTask(std::function<void(Handlers&)> call);

    QNetworkAccessManager* _networkAccessManager;
    ProxyAuthenticator& _proxyAuthenticator;
    QNetworkRequest _request;
    Operation _operation = Get;
    QByteArray _body;
    std::vector<char> _response;
    std::string _stringResponse;
    common::ITaskQueue& _taskQueue;
    std::weak_ptr<common::metrics::IMetricsCollector> _metricsCollector;
    common::metrics::MetricsAccumulator<long long> _bytesReceived;
    QList<QSslError::SslError> _ignoredErrors;
    std::map<std::string, std::string> _responseHeaders;
    bool _done = false;
    std::condition_variable _doneChanged;
    mutable std::mutex _mutex;
    std::shared_ptr<Handlers> _handlers;
    int _transferTimeoutMs = kDefaultTransferTimeoutMs;
    QPointer<QNetworkReply> _reply;
};
