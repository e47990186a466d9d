#pragma once

#include <string>

// Where the Qt platform's message handler delivers Qt's messages and the Qt layer's own log
// lines, one composed line per call, by severity.
class IQtLoggingSink {
public:
    virtual ~IQtLoggingSink() = default;

    virtual void debug(const std::string& message) = 0;
    virtual void warning(const std::string& message) = 0;
    virtual void error(const std::string& message) = 0;
    virtual void fatal(const std::string& message) = 0;
    virtual void info(const std::string& message) = 0;
};
