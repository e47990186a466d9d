#include "foundation/logging/Logging.h"

#include <utility>

#include "foundation/logging/LogServices.h"

namespace logging {

void Initialize(const char* /*directory*/, bool /*tracking*/) {
    LogServices::Create();
}

void SetGlobalSeverityLevel(severity_level level) {
    if (auto services = LogServices::Get()) {
        services->SetSeverityLevel(level);
    }
}

void SetGlobalSink(std::shared_ptr<CustomSinkBackend> backend) {
    if (auto services = LogServices::Get()) {
        services->SetCustomSink(std::move(backend));
    }
}

}  // namespace logging
