// A program that starts the crash reporter and then crashes, for the crash reporter's tests.
//
//   crash_child abort|segv -MonitoringUrl <url> -MonitoringToken <token> [-SessionId <id> ...]
//
// Exits with 3 when the crash reporter did not start.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/crash/SetupCrashHandler.h"
#include "common/logger/Logger.h"
#include "common/params/CommandLineParams.h"

namespace {

__attribute__((noinline)) void crashInsideTheChild(const char* how) {
    if (std::strcmp(how, "segv") == 0) {
        std::raise(SIGSEGV);
    }
    std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    common::Logger::init("CrashChild", common::ILogger::Info);
    std::vector<std::string> arguments(argv, argv + argc);
    arguments.erase(arguments.begin() + 1);  // the crash kind
    const common::CommandLineParams params(arguments);
    if (!common::setupCrashHandler(params, "Child", {})) {
        common::Logger::stop();
        return 3;
    }
    crashInsideTheChild(argv[1]);
    return 0;
}
