#include "interprocess/pm/AbstractLaunchAsChildActor.h"

namespace interprocess {

constexpr long AbstractLaunchAsChildActor::kConnectTicks;

AbstractLaunchAsChildActor::AbstractLaunchAsChildActor(const helper::ApplicationType& application,
                                                       std::unique_ptr<common::ITaskQueue>&& queue,
                                                       common::ILogger& logger,
                                                       common::IParams& params)
    : AbstractLaunchActor(application, logger, params), _actor(this, std::move(queue)) {
    _logger.info("run as child, application: '%s'", applicationName());
    _processId = 0;
    _actor.became<bool>(&Self::init, false);
}

AbstractLaunchAsChildActor::~AbstractLaunchAsChildActor() = default;

void AbstractLaunchAsChildActor::dispatchConnected() {
    _actor.dispatch(Connected());
}

void AbstractLaunchAsChildActor::dispatchDisconnected() {
    _actor.dispatch(Disconnected());
}

void AbstractLaunchAsChildActor::dispatchTick(unsigned long sessionId) {
    _actor.dispatch(Tick{sessionId});
}

std::string AbstractLaunchAsChildActor::getAddress() const {
    return applicationName();
}

void AbstractLaunchAsChildActor::init(common::Actor<Self>& actor, bool terminated) {
    _logger.info("launching");
    if (terminated && hasDelegate()) {
        getDelegate()->onLaunchActorTerminated(*this);
    }
    actor.subscribe<Tick>([this](common::Actor<Self>& self, Tick) {
        _processId = launchApplication(_application);
        if (_processId == 0) {
            _logger.error("unable to launch application: '%s'", applicationName());
            return;
        }
        self.became(&Self::starting);
    });
}

void AbstractLaunchAsChildActor::starting(common::Actor<Self>& actor) {
    _logger.info("wait process to connect, pid: %d", _processId);
    if (hasDelegate()) {
        getDelegate()->onLaunchActorStarting(*this);
    }
    actor.subscribe<Connected>(
        [](common::Actor<Self>& self, Connected) { self.became(&Self::running); });
    _tickCounter = 0;
    actor.subscribe<Tick>([this](common::Actor<Self>& self, Tick) {
        if (isRunning(_processId)) {
            if (++_tickCounter < kConnectTicks) {
                return;
            }
        }
        _logger.error("process is not connecting");
        self.became<bool>(&Self::init, true);
        _tickCounter = 0;
        killApplication(_processId);
        _processId = 0;
    });
}

void AbstractLaunchAsChildActor::running(common::Actor<Self>& actor) {
    _logger.info("process is running");
    if (hasDelegate()) {
        getDelegate()->onLaunchActorRunning(*this);
    }
    actor.subscribe<Disconnected>([this](common::Actor<Self>& self, Disconnected) {
        _logger.info("process disconnected");
        self.became<bool>(&Self::init, true);
    });
}

}  // namespace interprocess
