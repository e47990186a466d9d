#pragma once

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/credentialstorage/ICredentialStorage.h"
#include "common/logsinks/IQtLoggingSink.h"
#include "common/metrics/IMetricsCollector.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "qtplatform/MainThread.h"
#include "qtplatform/ProxyAuthenticator.h"
#include "qtplatform/QtPlatform.h"

class QAuthenticator;
class QNetworkProxy;

// Everything the platform holds; it is itself the Qt thread.
class QtPlatform::Private : public MainThread {
public:
    // How long the destruction waits for the Qt thread's event loop to return.
    static constexpr int kStopWaitMs = 5000;

    Private(common::ITaskScheduler* scheduler,
            common::credentialstorage::ICredentialStorage* storage,
            const std::string& applicationName);
    ~Private() override;

    // Stops the Qt thread and releases the application object; false when the thread did
    // not stop in time (it is then left running, see the source).
    bool shutDown();

    void onProxyAuthenticationRequired(const QNetworkProxy& proxy, QAuthenticator* authenticator);
    void setQtLoggingSink(std::unique_ptr<IQtLoggingSink>&& sink);

    // The message handler installed with qInstallMessageHandler.
    static void loggerMessageOutput(QtMsgType type, const QMessageLogContext& context,
                                    const QString& text);

    common::ITaskScheduler* scheduler;
    std::unique_ptr<common::ITaskQueue> queryTaskQueue;
    ProxyAuthenticator proxyAuthenticator;
    std::unique_ptr<IQtLoggingSink> qtLoggingSink;
    std::unique_ptr<QCoreApplication> application;
    QNetworkAccessManager* networkAccessManager = nullptr;
    std::weak_ptr<common::metrics::IMetricsCollector> metricsCollector;
    std::function<void(std::string)> proxyCredentialsRequestedHandler;
    int argc = 1;
    char* argv[2] = {nullptr, nullptr};
    std::vector<char> nameBuffer;

private:
    void setupApplication(const std::string& applicationName);
    void setupNetworkAccessManager();
    void startMainThread();
    bool stopMainThread();
};
