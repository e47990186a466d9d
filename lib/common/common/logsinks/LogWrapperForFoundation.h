#pragma once

#include <memory>

#include <boost/log/core/record_view.hpp>

#include "common/logger/ILogger.h"
#include "foundation/logging/CustomSinkBackend.h"
#include "foundation/logging/SeverityLevel.h"

namespace common {

// Takes over the foundation library's log records: init() sets up the foundation logging
// without files of its own, at the severity matching `level`, and registers this object as
// its custom sink; every record it then consumes is logged through the facade.
// Must be owned by a std::shared_ptr, since init() hands the foundation library a shared
// reference to this object.
class LogWrapperForFoundation : public logging::CustomSinkBackend,
                                public std::enable_shared_from_this<LogWrapperForFoundation> {
public:
    LogWrapperForFoundation(std::unique_ptr<ILogger> logger, ILogger::Level level);
    ~LogWrapperForFoundation() override;

    void init();

    // Runs on whichever thread logged in the foundation library; only queues a record.
    void consume(const boost::log::record_view& record) override;

    // The foundation severity for a common level (None and above: Error).
    static logging::severity_level toFoundationSeverity(ILogger::Level level);
    // The common level for a foundation severity (Debug becomes Trace; unknown values Error).
    static ILogger::Level toCommonLevel(logging::severity_level severity);

private:
    std::unique_ptr<ILogger> _logger;
    ILogger::Level _level;
};

}  // namespace common
