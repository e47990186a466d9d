#include "interprocess/pm/AbstractLaunchInSessionActor.h"

namespace interprocess {

constexpr long AbstractLaunchInSessionActor::kConnectTicks;

AbstractLaunchInSessionActor::AbstractLaunchInSessionActor(
    const std::string& helperId, const helper::ApplicationType& application,
    std::unique_ptr<common::ITaskQueue>&& queue, common::ILogger& logger, common::IParams& params,
    unsigned long sessionId)
    : AbstractLaunchActor(application, logger, params),
      _helperId(helperId),
      _sessionId(sessionId),
      _actor(this, std::move(queue)) {
    _logger.info("run as user, app: '%s'", applicationName());
    // The first Init asks a copy left from an earlier run, in the session given here, to quit.
    _actor.became<bool>(&Self::init, false);
}

AbstractLaunchInSessionActor::~AbstractLaunchInSessionActor() = default;

void AbstractLaunchInSessionActor::dispatchConnected() {
    _actor.dispatch(Connected());
}

void AbstractLaunchInSessionActor::dispatchDisconnected() {
    _actor.dispatch(Disconnected());
}

void AbstractLaunchInSessionActor::dispatchTick(unsigned long sessionId) {
    _actor.dispatch(Tick{sessionId});
}

void AbstractLaunchInSessionActor::killProcessIfExists() {
    _logger.info("Forcibly kill process if still exists: ('%s') running at: '%lu'",
                 applicationName(), _sessionId);
    killProcessAt(_application, _sessionId);
}

std::string AbstractLaunchInSessionActor::getAddress() const {
    if (_sessionId == static_cast<unsigned long>(-1)) {
        return std::string();
    }
    return std::string(applicationName()) + "-" + std::to_string(_sessionId);
}

void AbstractLaunchInSessionActor::init(common::Actor<Self>& actor, bool terminated) {
    killProcessIfExists();
    if (terminated && hasDelegate()) {
        getDelegate()->onLaunchActorTerminated(*this);
    }
    actor.subscribe<Tick>([this](common::Actor<Self>& self, Tick tick) {
        _sessionId = tick.sessionId;
        unsigned long actualSessionId = _sessionId;
        if (!launchProcessAt(_application, _sessionId, actualSessionId)) {
            return;
        }
        if (actualSessionId != _sessionId) {
            _logger.warning(
                "Process started in a different session. Expected SessionId: %lu, Actual "
                "SessionId: %lu",
                _sessionId, actualSessionId);
            _sessionId = actualSessionId;
        }
        _logger.info("app ('%s') launched at: '%lu'", applicationName(), _sessionId);
        self.became(&Self::starting);
    });
}

void AbstractLaunchInSessionActor::starting(common::Actor<Self>& actor) {
    if (hasDelegate()) {
        getDelegate()->onLaunchActorStarting(*this);
    }
    actor.subscribe<Connected>(
        [](common::Actor<Self>& self, Connected) { self.became(&Self::running); });
    _tickCounter = 0;
    actor.subscribe<Tick>([this](common::Actor<Self>& self, Tick) {
        if (++_tickCounter != kConnectTicks) {
            return;
        }
        _logger.warning("app ('%s') connection timed out", applicationName());
        killProcessAt(_application, _sessionId);
        self.became<bool>(&Self::init, true);
    });
}

void AbstractLaunchInSessionActor::running(common::Actor<Self>& actor) {
    _logger.info("app ('%s') running at: '%lu'", applicationName(), _sessionId);
    if (hasDelegate()) {
        getDelegate()->onLaunchActorRunning(*this);
    }
    actor.subscribe<Disconnected>([this](common::Actor<Self>& self, Disconnected) {
        _logger.debug("Disconnected: app ('%s') running at: '%lu'", applicationName(), _sessionId);
        killProcessAt(_application, _sessionId);
        self.became<bool>(&Self::init, true);
    });
}

}  // namespace interprocess
