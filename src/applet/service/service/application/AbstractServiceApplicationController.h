#pragma once

#include <boost/filesystem/path.hpp>

#include <memory>

#include "common/logger/ILogger.h"
#include "service/application/IAbstractServiceApplicationController.h"

namespace corvalis {
namespace service {

// The state the service controllers share: the working folder at construction, the
// parameters, the logger made by processInput, the service type and the id flag.
class AbstractServiceApplicationController : public IAbstractServiceApplicationController {
public:
    AbstractServiceApplicationController(common::ITaskScheduler& scheduler, common::IParams& params,
                                         ServiceType type, bool idFlag);

    std::wstring GetServiceName() const override;
    std::string GetUId() const override;

protected:
    boost::filesystem::path _workingPath;
    common::ITaskScheduler& _scheduler;
    common::IParams& _params;
    std::unique_ptr<common::ILogger> _logger;
    ServiceType _serviceType;
    bool _idFlag;
};

}  // namespace service
}  // namespace corvalis
