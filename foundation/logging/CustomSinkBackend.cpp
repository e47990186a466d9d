#include "foundation/logging/CustomSinkBackend.h"

namespace logging {

CustomSinkBackend::~CustomSinkBackend() = default;

}  // namespace logging
