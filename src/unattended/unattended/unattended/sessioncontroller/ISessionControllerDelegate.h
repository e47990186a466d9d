#pragma once

#include <cstdint>
#include <string>

namespace corvalis {
namespace unattended {

// The owner of the session (the application): it names the service and hears when the
// session has ended and why.
class ISessionControllerDelegate {
public:
    // Why the daemon stops; the first reason requested wins.
    enum class StopReason : int32_t {
        None = 0,
        Normal = 1,
        UpdateRequest = 2,
        UninstallRequest = 3,
    };

    virtual ~ISessionControllerDelegate() = default;

    virtual std::wstring onSessionControllerGetServiceName() = 0;
    virtual void onSessionControllerDone(StopReason reason) = 0;

    // The reason's name as logged; "Unknown" for any other value.
    static const char* toString(StopReason reason) {
        switch (reason) {
            case StopReason::None:
                return "None";
            case StopReason::Normal:
                return "Normal";
            case StopReason::UpdateRequest:
                return "UpdateRequest";
            case StopReason::UninstallRequest:
                return "UninstallRequest";
        }
        return "Unknown";
    }
};

}  // namespace unattended
}  // namespace corvalis
