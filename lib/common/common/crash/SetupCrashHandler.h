#pragma once

#include <map>
#include <string>

#include "common/params/IParams.h"

namespace common {

// Starts the crash reporter of the program: crash reports are written into
// "<user write path>/<prefix>CrashReportDB" and the program "crashpad_handler" next to the
// executable uploads them to "<MonitoringUrl>/api/dump?token=<MonitoringToken>". True when the
// handler was started. The map of attachments is accepted and not used.
bool setupCrashHandler(const IParams& params, const std::string& prefix,
                       const std::map<std::string, std::string>& attachments);

// The upload address: the monitoring URL as it is, "/api/dump?token=" and the token with
// every byte outside the unreserved characters percent-encoded.
std::string crashUploadUrl(const std::string& monitoringUrl, const std::string& token);

}  // namespace common
