#pragma once

#include <chrono>
#include <memory>
#include <utility>

#include "foundation/extension/IEnvironment.h"

namespace telemetrytest {

// An environment that hands out the given network factory and nothing else.
class FactoryEnvironment : public extension::IEnvironment {
public:
    explicit FactoryEnvironment(std::shared_ptr<network::INetworkFactory> factory)
        : _factory(std::move(factory)) {}
    std::shared_ptr<network::INetworkFactory> GetNetworkFactory() override { return _factory; }
    extension::ISettingsStore* GetPersistentStore() override { return nullptr; }
    void ScheduleTask(std::chrono::steady_clock::time_point, Task&&) override {}
    std::shared_ptr<network::AsyncService> GetJobService() override { return nullptr; }

private:
    std::shared_ptr<network::INetworkFactory> _factory;
};

}  // namespace telemetrytest
