#pragma once

#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "common/logsinks/IQtLoggingSink.h"

namespace common {

// Logs the Qt platform's lines unchanged with the facility "QtPlatform".
class QtLoggingSink : public IQtLoggingSink {
public:
    QtLoggingSink();
    ~QtLoggingSink() override;

    void debug(const std::string& message) override;
    void warning(const std::string& message) override;
    void error(const std::string& message) override;
    void fatal(const std::string& message) override;
    void info(const std::string& message) override;

private:
    std::unique_ptr<ILogger> _logger;
};

}  // namespace common
