#include "qtplatform/QtPlatformPrivate.h"

#include <QAuthenticator>
#include <QByteArray>
#include <QNetworkProxy>
#include <cstring>

#include "qtplatform/TrustAnchors.h"

namespace {

// Whether a platform exists in this process.
std::atomic<bool> g_instanceExists{false};
// Where the message handler delivers; null while no sink is set.
std::atomic<IQtLoggingSink*> g_sink{nullptr};

}  // namespace

QtPlatform::Private::Private(common::ITaskScheduler* scheduler_,
                             common::credentialstorage::ICredentialStorage* storage,
                             const std::string& applicationName)
    : scheduler(scheduler_),
      queryTaskQueue(scheduler_->getTaskQueue("QtPlatform::HttpQuery")),
      proxyAuthenticator(storage, scheduler_->getTaskQueue("QtPlatform::ProxyAuthenticator")) {
    qInstallMessageHandler(&Private::loggerMessageOutput);
    proxyAuthenticator.updateHostInformation();
    proxyAuthenticator.loadStoredCredentials();
    setupApplication(applicationName);
    TrustAnchors::installSystemAnchors();
    setupNetworkAccessManager();
    if (g_instanceExists.exchange(true)) {
        qFatal("QtPlatform can only have one instance at a time and it's already instantiated");
    }
    startMainThread();
}

QtPlatform::Private::~Private() {
    queryTaskQueue->finish([](bool&, unsigned long) {}, true);
    g_sink.store(nullptr, std::memory_order_release);
}

void QtPlatform::Private::setupApplication(const std::string& applicationName) {
    nameBuffer.assign(applicationName.begin(), applicationName.end());
    nameBuffer.push_back('\0');
    argc = 1;
    argv[0] = nameBuffer.data();
    argv[1] = nullptr;
    application = std::make_unique<QCoreApplication>(argc, argv);
}

void QtPlatform::Private::setupNetworkAccessManager() {
    networkAccessManager = new QNetworkAccessManager();
    networkAccessManager->moveToThread(this);
    QObject::connect(networkAccessManager, &QNetworkAccessManager::proxyAuthenticationRequired,
                     [this](const QNetworkProxy& proxy, QAuthenticator* authenticator) {
                         onProxyAuthenticationRequired(proxy, authenticator);
                     });
}

void QtPlatform::Private::startMainThread() {
    if (isRunning()) {
        qWarning() << "QtPlatform cannot be started more than once";
        return;
    }
    qDebug() << "starting";
    start(QThread::InheritPriority);
}

bool QtPlatform::Private::stopMainThread() {
    if (!isRunning()) {
        return true;
    }
    qDebug() << "stopping";
    QCoreApplication::processEvents();
    quit();
    // Once the event loop has returned the thread only winds down (deferred deletions), so
    // joining it is bounded as well.
    if (waitForStopped(kStopWaitMs) && wait(kStopWaitMs)) {
        return true;
    }
    // QThread::terminate cancels the thread wherever it is: inside a lock of the scheduler,
    // the logger, OpenSSL or the allocator, which would then stay locked for the rest of the
    // process. The thread is left to end on its own instead.
    qWarning() << "failed to wait for stopped state, not terminating the thread: it may hold"
                  " locks; the platform stays in place until the process ends";
    return false;
}

bool QtPlatform::Private::shutDown() {
    if (networkAccessManager != nullptr) {
        networkAccessManager->deleteLater();
        networkAccessManager = nullptr;
    }
    if (!stopMainThread()) {
        return false;
    }
    application.reset();
    g_instanceExists.store(false);
    return true;
}

void QtPlatform::Private::setQtLoggingSink(std::unique_ptr<IQtLoggingSink>&& sink) {
    std::unique_ptr<IQtLoggingSink> previous = std::move(qtLoggingSink);
    qtLoggingSink = std::move(sink);
    g_sink.store(qtLoggingSink.get(), std::memory_order_release);
    previous.reset();
}

void QtPlatform::Private::onProxyAuthenticationRequired(const QNetworkProxy& proxy,
                                                        QAuthenticator* authenticator) {
    qInfo().nospace().noquote() << " proxy authentication required for " << proxy.hostName() << ":"
                                << proxy.port();
    if (proxyAuthenticator.isRequestingCredentials()) {
        qInfo() << "proxy credentials already requested";
        return;
    }
    proxyAuthenticator.setHostInformation(proxy.hostName(), proxy.port());
    // Credentials the proxy keeps refusing are not offered again; the user is asked instead.
    if (proxyAuthenticator.registerChallenge() && proxyAuthenticator.canUseCachedCredentials()) {
        qInfo() << "trying to authenticate with cached credentials";
        if (proxyAuthenticator.offerCachedCredentials(authenticator)) {
            return;
        }
    }
    if (proxyCredentialsRequestedHandler) {
        const std::string text =
            proxy.hostName().toStdString() + " : " + std::to_string(proxy.port());
        proxyAuthenticator.requestingCredentials();
        proxyCredentialsRequestedHandler(text);
        return;
    }
    qWarning() << "Cannot call the ui for proxy credentials";
}

void QtPlatform::Private::loggerMessageOutput(QtMsgType type, const QMessageLogContext& context,
                                              const QString& text) {
    IQtLoggingSink* sink = g_sink.load(std::memory_order_acquire);
    if (sink == nullptr) {
        return;
    }
    std::string line;
    if (context.category != nullptr) {
        line = "[ ";
        line += context.category;
        line += " ] ";
    }
    const QByteArray utf8 = text.toUtf8();
    line.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    switch (type) {
        case QtDebugMsg:
            sink->debug(line);
            break;
        case QtWarningMsg:
            sink->warning(line);
            break;
        case QtCriticalMsg:
            sink->error(line);
            break;
        case QtFatalMsg:
            sink->fatal(line);
            break;
        case QtInfoMsg:
            sink->info(line);
            break;
        default:
            break;
    }
}
