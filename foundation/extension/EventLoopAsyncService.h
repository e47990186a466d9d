#pragma once

#include "foundation/network/AsyncService.h"

namespace extension {

// The environment's asynchronous service: no thread of its own, polled by its owner.
class EventLoopAsyncService : public network::AsyncService {
public:
    EventLoopAsyncService() : network::AsyncService(Polled, "EventLoopAsyncService") {}
};

}  // namespace extension
