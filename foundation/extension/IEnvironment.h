#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace network {
class INetworkFactory;
class AsyncService;
}  // namespace network

namespace extension {

class ISettingsStore;

// What the foundation library offers its users at run time.
class IEnvironment {
public:
    using Task = std::function<void()>;

    virtual ~IEnvironment() = default;

    // The environment's one network factory (every call the same object).
    virtual std::shared_ptr<network::INetworkFactory> GetNetworkFactory() = 0;
    // The environment's settings store; not owned by the caller, valid while the environment
    // lives.
    virtual ISettingsStore* GetPersistentStore() = 0;
    // Runs `task` on the environment's event loop once `at` has passed.
    virtual void ScheduleTask(std::chrono::steady_clock::time_point at, Task&& task) = 0;
    // The asynchronous service on which all of the library's work runs.
    virtual std::shared_ptr<network::AsyncService> GetJobService() = 0;
};

}  // namespace extension
