#pragma once

namespace interprocess {

class ILaunchActor;

// What a launch actor reports about its program; implemented by the process manager.
class ILaunchActorDelegate {
public:
    virtual ~ILaunchActorDelegate() = default;

    // The program ended, did not connect in time, or disconnected.
    virtual void onLaunchActorTerminated(const ILaunchActor& actor) const = 0;
    // The program was asked to start and is expected to connect.
    virtual void onLaunchActorStarting(const ILaunchActor& actor) const = 0;
    // The program connected to the daemon's IPC controller.
    virtual void onLaunchActorRunning(const ILaunchActor& actor) const = 0;
};

}  // namespace interprocess
