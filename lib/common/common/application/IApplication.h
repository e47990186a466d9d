#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskScheduler.h"

namespace common {

// The contract of a program's application object: `main` creates it, calls init and then runs
// the task scheduler until quit ends the loop.
class IApplication {
public:
    IApplication() = default;
    virtual ~IApplication() = default;
    IApplication(const IApplication&) = delete;
    IApplication& operator=(const IApplication&) = delete;

    // Builds the program's components; false means the program cannot start.
    virtual bool init() = 0;
    // Runs the program's stop sequence, ending with ITaskScheduler::quit.
    virtual void quit() = 0;
    // Removes files the application leaves behind.
    virtual void cleanUpApplicationFiles() = 0;
    // The program's exit code.
    virtual int getReturnCode() { return 0; }

    // The program's application object; each program defines it.
    static std::unique_ptr<IApplication> create(const std::vector<std::string>& arguments,
                                                ITaskScheduler& scheduler, IParams& params);
};

}  // namespace common
