#include "common/launchctl/ILaunchCtl.h"

#include "common/launchctl/LaunchCtl.h"

namespace common {

std::unique_ptr<ILaunchCtl> ILaunchCtl::Create(const std::string& name) {
    return std::make_unique<LaunchCtl>(name);
}

}  // namespace common
