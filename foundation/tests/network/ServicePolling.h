#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "foundation/network/AsyncService.h"

namespace networktest {

// Polls the service until `done` holds or `limit` passes; answers `done()`.
inline bool PollUntil(network::AsyncService& service, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        if (service.Poll() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

}  // namespace networktest
