#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/application/Application.h"
#include "unattended/sessioncontroller/ISessionControllerDelegate.h"

class IQtPlatform;

namespace common {
class IParams;
class ITaskScheduler;
namespace metrics {
class IMetricsCollector;
}
}  // namespace common
namespace extension {
class EventLoopEnvironment;
}
namespace corvalis {
namespace service {
class IAbstractServiceApplicationController;
}
}  // namespace corvalis

namespace corvalis {
namespace unattended {

// The daemon's application object: builds every controller at start, keeps the foundation
// event loop polled, and runs the quit sequence.
class IUnattendedApplication : public common::Application {
public:
    using StopReason = ISessionControllerDelegate::StopReason;

    using common::Application::Application;
    ~IUnattendedApplication() override = default;

    // Requests the stop; the first reason wins.
    virtual void quitWithReason(StopReason reason) = 0;
    // 1 when the stop reason is UpdateRequest, 0 otherwise.
    virtual int getResult() const = 0;

    static std::unique_ptr<IUnattendedApplication> createUnattendedApplication(
        const std::vector<std::string>& arguments,
        std::shared_ptr<common::ITaskScheduler> scheduler, common::IParams& params,
        service::IAbstractServiceApplicationController& serviceController,
        std::unique_ptr<IQtPlatform> qtPlatform,
        std::shared_ptr<extension::EventLoopEnvironment> environment,
        std::shared_ptr<common::metrics::IMetricsCollector> metricsCollector);
};

}  // namespace unattended
}  // namespace corvalis
