#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <mutex>

#include "common/credentialstorage/ICredentialStorage.h"
#include "common/taskscheduler/ITaskQueue.h"

class QAuthenticator;

// The proxy memory of the Qt layer: the proxy host and port, the proxy credentials (in memory
// and in the credential storage), and whether those credentials may be offered to the proxy.
// Shared by every HTTP query and Qt WebSocket. Accessors and state operations may be called
// from the main thread and the Qt thread.
class ProxyAuthenticator {
public:
    enum State : int {
        NoCredentials = 0,
        Requesting = 1,
        Available = 2,
        Tried = 3,
        Accepted = 4,
    };

    using CredentialsAcceptedHandler =
        std::function<void(QString host, unsigned short port, QString user, QString password)>;

    // How many times in a row the proxy may refuse offered credentials before they are no
    // longer offered (until new credentials are set or some are accepted).
    static constexpr int kMaxRefusedAttempts = 3;

    ProxyAuthenticator(common::credentialstorage::ICredentialStorage* storage,
                       std::unique_ptr<common::ITaskQueue> taskQueue);
    ~ProxyAuthenticator();

    ProxyAuthenticator(const ProxyAuthenticator&) = delete;
    ProxyAuthenticator& operator=(const ProxyAuthenticator&) = delete;

    QString host() const;
    quint16 port() const;
    QString username() const;
    QString password() const;
    int state() const;

    void setHostInformation(const QString& host, unsigned short port);
    bool isProxyEnabled() const;
    bool isRequestingCredentials() const;
    bool canUseCachedCredentials() const;
    void setCredentialsAcceptedHandler(CredentialsAcceptedHandler&& handler);

    void requestingCredentials();
    void credentialsTried();
    void credentialsAccepted();
    void setCredentials(const QString& user, const QString& password);
    void loadStoredCredentials();
    // Finds the proxy: Qt's application proxy, else the system proxy.
    void updateHostInformation();

    // Called at each proxy challenge, before anything is offered. The first challenge after an
    // offer counts as a refusal of the offered credentials. True while the credentials may be
    // offered again; false once the proxy refused kMaxRefusedAttempts times in a row.
    bool registerChallenge();
    // Offers the cached credentials: fills the authenticator and marks them tried. False, with
    // the authenticator untouched, when none may be offered.
    bool offerCachedCredentials(QAuthenticator* authenticator);

private:
    common::credentialstorage::ICredentialStorage* _storage;
    std::unique_ptr<common::ITaskQueue> _taskQueue;
    QString _host;
    quint16 _port = 0;
    QString _username;
    QString _password;
    CredentialsAcceptedHandler _credentialsAcceptedHandler;
    int _state = NoCredentials;
    int _refusedAttempts = 0;
    bool _offerPending = false;
    mutable std::mutex _mutex;
};
