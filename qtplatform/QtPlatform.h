#pragma once

#include <memory>
#include <string>

#include "common/credentialstorage/ICredentialStorage.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "qtplatform/IQtPlatform.h"

// The Qt platform: the Qt application object, the Qt thread with its network access manager,
// the proxy authenticator and the task queues through which the Qt thread's results reach the
// main thread. At most one exists at a time in a process.
class QtPlatform : public IQtPlatform {
public:
    class Private;

    // Builds the platform and starts the Qt thread; called on the main thread.
    QtPlatform(common::ITaskScheduler* scheduler,
               common::credentialstorage::ICredentialStorage* storage,
               const std::string& applicationName);
    // Stops the Qt thread (waiting at most 5000 ms) and releases everything.
    ~QtPlatform() override;

    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

    std::unique_ptr<IHttpQuery, std::function<void(IHttpQuery*)>> createQuery() const override;
    std::unique_ptr<IWebSocket, std::function<void(IWebSocket*)>> createWebSocket() const override;
    void setProxyCredentialsAcceptedHandler(ProxyCredentialsAcceptedHandler&& handler) override;
    void setProxyCredentialsRequestedHandler(ProxyCredentialsRequestedHandler&& handler) override;
    void setMetricsCollector(std::weak_ptr<common::metrics::IMetricsCollector> collector) override;
    void setQtLoggingSink(std::unique_ptr<IQtLoggingSink>&& sink) override;

private:
    std::unique_ptr<Private> _private;
};
