#pragma once

#include "unattended/application/UnattendedApplication.h"

namespace corvalis {
namespace unattended {

// The macOS form of the application; it adds no behaviour.
class UnattendedApplicationMac : public UnattendedApplication {
public:
    using UnattendedApplication::UnattendedApplication;
};

}  // namespace unattended
}  // namespace corvalis
