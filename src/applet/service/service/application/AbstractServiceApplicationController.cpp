#include "service/application/AbstractServiceApplicationController.h"

#include "common/params/IParams.h"
#include "common/util/Util.h"

namespace corvalis {
namespace service {

AbstractServiceApplicationController::AbstractServiceApplicationController(
    common::ITaskScheduler& scheduler, common::IParams& params, ServiceType type, bool idFlag)
    : _workingPath(common::util::getWorkingPath()),
      _scheduler(scheduler),
      _params(params),
      _serviceType(type),
      _idFlag(idFlag) {}

std::string AbstractServiceApplicationController::GetUId() const {
    return _params.getValue("InstallationId", std::string());
}

std::wstring AbstractServiceApplicationController::GetServiceName() const {
    return common::util::toWideString(GetUId());
}

}  // namespace service
}  // namespace corvalis
