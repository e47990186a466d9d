#pragma once

#include <chrono>
#include <memory>

#include "foundation/extension/IEnvironment.h"

namespace network {
class INetworkFactory;
class AsyncService;
}  // namespace network

namespace extension {

class EventLoopAsyncService;
class NonPersistentStore;

// The foundation library's environment: one asynchronous service without a thread of its own,
// the network factory over it and an in-memory settings store. Its owner runs the ready work
// with PollEventLoop; every completion of the network library runs inside that call. It must
// outlive every object obtained from it: its destruction ends the service, and work still
// pending then is dropped without completing.
class EventLoopEnvironment : public IEnvironment {
public:
    EventLoopEnvironment();
    // The same, with the given network factory in place of the library's own (tests hand in a
    // scripted factory).
    explicit EventLoopEnvironment(std::shared_ptr<network::INetworkFactory> networkFactory);
    ~EventLoopEnvironment() override;
    EventLoopEnvironment(const EventLoopEnvironment&) = delete;
    EventLoopEnvironment& operator=(const EventLoopEnvironment&) = delete;

    std::shared_ptr<network::INetworkFactory> GetNetworkFactory() override;
    ISettingsStore* GetPersistentStore() override;
    void ScheduleTask(std::chrono::steady_clock::time_point at, Task&& task) override;
    std::shared_ptr<network::AsyncService> GetJobService() override;

    // Runs every handler that is ready now, on the calling thread, without waiting for more.
    void PollEventLoop();

private:
    std::shared_ptr<EventLoopAsyncService> _service;
    std::shared_ptr<network::INetworkFactory> _networkFactory;
    std::shared_ptr<NonPersistentStore> _settingsStore;
};

}  // namespace extension
