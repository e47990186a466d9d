#include "qtplatform/ProxyAuthenticator.h"

#include <QAuthenticator>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QUrl>
#include <string>

#include "qtplatform/Keys.h"
#include "qtplatform/LogCategories.h"

namespace {

// Any stable public HTTPS address serves: only its scheme decides which proxy applies.
const char kProxyProbeUrl[] = "https://www.example.com/";

std::wstring toWide(const QString& text) {
    const QVector<uint> ucs4 = text.toUcs4();
    return std::wstring(ucs4.begin(), ucs4.end());
}

QString fromWide(const std::wstring& text) {
    static_assert(sizeof(wchar_t) == sizeof(uint), "wide strings hold UTF-32");
    return QString::fromUcs4(reinterpret_cast<const uint*>(text.data()),
                             static_cast<int>(text.size()));
}

}  // namespace

ProxyAuthenticator::ProxyAuthenticator(common::credentialstorage::ICredentialStorage* storage,
                                       std::unique_ptr<common::ITaskQueue> taskQueue)
    : _storage(storage), _taskQueue(std::move(taskQueue)) {}

ProxyAuthenticator::~ProxyAuthenticator() {
    if (_taskQueue) {
        _taskQueue->finish([](bool&, unsigned long) {}, true);
    }
}

QString ProxyAuthenticator::host() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _host;
}

quint16 ProxyAuthenticator::port() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _port;
}

QString ProxyAuthenticator::username() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _username;
}

QString ProxyAuthenticator::password() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _password;
}

int ProxyAuthenticator::state() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _state;
}

void ProxyAuthenticator::setHostInformation(const QString& host, unsigned short port) {
    std::lock_guard<std::mutex> lock(_mutex);
    _host = host;
    _port = port;
}

bool ProxyAuthenticator::isProxyEnabled() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return !_host.isEmpty() && _port != 0;
}

bool ProxyAuthenticator::isRequestingCredentials() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _state == Requesting;
}

bool ProxyAuthenticator::canUseCachedCredentials() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _state == Available || _state == Accepted;
}

void ProxyAuthenticator::setCredentialsAcceptedHandler(CredentialsAcceptedHandler&& handler) {
    std::lock_guard<std::mutex> lock(_mutex);
    _credentialsAcceptedHandler = std::move(handler);
}

void ProxyAuthenticator::requestingCredentials() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_state == Requesting) {
            return;
        }
        _state = Requesting;
    }
    qCDebug(ProxyAuthenticatorLog) << "requesting credentials";
}

void ProxyAuthenticator::credentialsTried() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _offerPending = true;
        if (_state == Tried) {
            return;
        }
        _state = Tried;
    }
    qCDebug(ProxyAuthenticatorLog) << "stored credentials have been tried";
}

void ProxyAuthenticator::credentialsAccepted() {
    bool hasHandler = false;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_state != Requesting && _state != Tried) {
            return;
        }
        _state = Accepted;
        _refusedAttempts = 0;
        _offerPending = false;
        hasHandler = static_cast<bool>(_credentialsAcceptedHandler);
    }
    if (hasHandler) {
        qCDebug(ProxyAuthenticatorLog) << "credentials accepted handler have been invoked";
        // The task reads the values when it runs; the destructor finishes the queue first, so
        // the task never outlives this object.
        _taskQueue->push(
            [this](bool&, unsigned long) {
                CredentialsAcceptedHandler handler;
                QString host, user, password;
                quint16 port = 0;
                {
                    std::lock_guard<std::mutex> lock(_mutex);
                    handler = _credentialsAcceptedHandler;
                    host = _host;
                    port = _port;
                    user = _username;
                    password = _password;
                }
                if (handler) {
                    handler(host, port, user, password);
                }
            },
            std::chrono::milliseconds(0), common::ITaskQueue::Normal);
    }
    qCDebug(ProxyAuthenticatorLog) << "stored credentials have been accepted";
}

void ProxyAuthenticator::setCredentials(const QString& user, const QString& password) {
    const bool saved =
        _storage != nullptr &&
        _storage->saveCredentials(Keys::ProxyCredentials, toWide(user), toWide(password));
    if (!saved) {
        qCWarning(ProxyAuthenticatorLog)
            << "failed to store credentials, only in-memory storage is available";
    }
    {
        std::lock_guard<std::mutex> lock(_mutex);
        // Credentials that differ from the refused ones start a new negotiation; the same ones
        // again do not, so an automatic re-entry cannot make the proxy loop.
        if (user != _username || password != _password) {
            _refusedAttempts = 0;
        }
        _username = user;
        _password = password;
        _state = Available;
    }
    qCDebug(ProxyAuthenticatorLog) << "new credentials have been set";
}

void ProxyAuthenticator::loadStoredCredentials() {
    std::wstring user;
    std::wstring password;
    if (_storage != nullptr && _storage->loadCredentials(Keys::ProxyCredentials, user, password)) {
        qCDebug(ProxyAuthenticatorLog) << "Stored credentials are successfully loaded";
        std::lock_guard<std::mutex> lock(_mutex);
        _username = fromWide(user);
        _password = fromWide(password);
        _state = Available;
    } else {
        qCWarning(ProxyAuthenticatorLog) << "Stored credentials cannot be loaded";
    }
}

void ProxyAuthenticator::updateHostInformation() {
    const QNetworkProxy applicationProxy = QNetworkProxy::applicationProxy();
    if (applicationProxy.type() != QNetworkProxy::NoProxy) {
        setHostInformation(applicationProxy.hostName(), applicationProxy.port());
        qCDebug(ProxyAuthenticatorLog)
            << "Application proxy host information has been successfully set";
    }
    if (host().isEmpty() || port() == 0) {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        const QList<QNetworkProxy> proxies =
            QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(
                QUrl(QString::fromLatin1(kProxyProbeUrl)), QNetworkProxyQuery::UrlRequest));
        for (const QNetworkProxy& proxy : proxies) {
            if (proxy.type() == QNetworkProxy::NoProxy) {
                continue;
            }
            setHostInformation(proxy.hostName(), proxy.port());
            qCDebug(ProxyAuthenticatorLog) << "System proxy has been successfully set";
            if (proxies.size() >= 2) {
                qCWarning(ProxyAuthenticatorLog)
                    << "Diagnostic Proxy Trace: More than 1 proxy server is available";
            }
            break;
        }
        if (host().isEmpty()) {
            return;
        }
    }
    if (isProxyEnabled()) {
        qCDebug(ProxyAuthenticatorLog) << "Updated proxy host information!";
    }
}

bool ProxyAuthenticator::registerChallenge() {
    int refused = 0;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_offerPending) {
            _offerPending = false;
            if (_refusedAttempts < kMaxRefusedAttempts) {
                ++_refusedAttempts;
            }
        }
        refused = _refusedAttempts;
    }
    if (refused >= kMaxRefusedAttempts) {
        qCWarning(ProxyAuthenticatorLog)
            << "the proxy refused the credentials" << refused << "times, giving up";
        return false;
    }
    return true;
}

bool ProxyAuthenticator::offerCachedCredentials(QAuthenticator* authenticator) {
    QString user;
    QString password;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_state != Available && _state != Accepted) {
            return false;
        }
        user = _username;
        password = _password;
    }
    if (authenticator != nullptr) {
        authenticator->setUser(user);
        authenticator->setPassword(password);
    }
    credentialsTried();
    return true;
}
