#include "interprocess/pm/ILaunchActor.h"

#include "interprocess/pm/LaunchAsChildActorMac.h"
#include "interprocess/pm/LaunchInSessionActorMac.h"

namespace interprocess {

std::unique_ptr<ILaunchActor> ILaunchActor::createLaunchInSessionActor(
    const std::string& helperId, const helper::ApplicationType& application,
    std::unique_ptr<common::ITaskQueue>&& queue, common::ILogger& logger, common::IParams& params,
    bool /*flag*/, unsigned long sessionId) {
    return std::make_unique<LaunchInSessionActorMac>(helperId, application, std::move(queue),
                                                     logger, params, sessionId);
}

std::unique_ptr<ILaunchActor> ILaunchActor::createLaunchAsChildActor(
    const helper::ApplicationType& application, std::unique_ptr<common::ITaskQueue>&& queue,
    common::ILogger& logger, common::IParams& params) {
    return std::make_unique<LaunchAsChildActorMac>(application, std::move(queue), logger, params);
}

}  // namespace interprocess
