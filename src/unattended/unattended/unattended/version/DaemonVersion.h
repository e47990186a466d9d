#pragma once

namespace corvalis {
namespace unattended {

// The daemon's own version: reported to the backend, asked about in update checks, logged.
constexpr const char kDaemonVersion[] = "1.0.0.352";

}  // namespace unattended
}  // namespace corvalis
