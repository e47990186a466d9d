#include "foundation/extension/EventLoopEnvironment.h"

#include "foundation/extension/EventLoopAsyncService.h"
#include "foundation/extension/NonPersistentStore.h"
#include "foundation/network/AsyncNetworkFactory.h"

namespace extension {

EventLoopEnvironment::EventLoopEnvironment()
    : _service(std::make_shared<EventLoopAsyncService>()),
      _networkFactory(std::make_shared<network::AsyncNetworkFactory>(_service)),
      _settingsStore(std::make_shared<NonPersistentStore>()) {}

EventLoopEnvironment::EventLoopEnvironment(std::shared_ptr<network::INetworkFactory> networkFactory)
    : _service(std::make_shared<EventLoopAsyncService>()),
      _networkFactory(std::move(networkFactory)),
      _settingsStore(std::make_shared<NonPersistentStore>()) {}

EventLoopEnvironment::~EventLoopEnvironment() {
    // Members go in reverse order: store, factory, service. Work still pending on the service
    // (a close of an idle pooled connection, say) holds the service through its socket; ending
    // the service drops that work, so nothing is kept alive by it.
    _settingsStore.reset();
    _networkFactory.reset();
    _service->Terminate();
    _service.reset();
}

std::shared_ptr<network::INetworkFactory> EventLoopEnvironment::GetNetworkFactory() {
    return _networkFactory;
}

ISettingsStore* EventLoopEnvironment::GetPersistentStore() {
    return _settingsStore.get();
}

void EventLoopEnvironment::ScheduleTask(std::chrono::steady_clock::time_point at, Task&& task) {
    _service->Schedule(at, std::move(task));
}

std::shared_ptr<network::AsyncService> EventLoopEnvironment::GetJobService() {
    return _service;
}

void EventLoopEnvironment::PollEventLoop() {
    if (!_service->HasOwnThread() && _service->GetExecutor()) {
        _service->Poll();
    }
}

}  // namespace extension
