#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/NoCredentials.h"
#include "qtplatform/QtPlatform.h"

namespace telemetrytest {

// Runs the scheduler's due tasks (the Qt platform's results among them) until `done` holds or
// `limit` passes.
inline bool runUntil(testsupport::ManualScheduler& scheduler, const std::function<bool()>& done,
                     std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        scheduler.runDue();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace telemetrytest
