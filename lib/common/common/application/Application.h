#pragma once

#include <string>
#include <vector>

#include "common/application/IApplication.h"
#include "common/params/IParams.h"

namespace common {

// Base of every program's application class: keeps the command line (program path first) and
// the program's parameters, which are owned by `main` and outlive the application.
class Application : public IApplication {
public:
    Application(const std::vector<std::string>& arguments, IParams& params);
    ~Application() override;

    // Nothing to remove by default.
    void cleanUpApplicationFiles() override;

protected:
    std::vector<std::string> _arguments;
    IParams& _params;
};

}  // namespace common
