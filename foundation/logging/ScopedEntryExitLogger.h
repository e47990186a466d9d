#pragma once

#include <string>

#include <boost/current_function.hpp>

#include "foundation/logging/Logger.h"

namespace logging {
namespace detail {

// Writes "<signature>: entering" when constructed and "<signature>: returning" when destroyed,
// at the given level, with the source "File" and "Line" as attributes.
class scoped_entry_exit_logger {
public:
    scoped_entry_exit_logger(logger_type& logger, long objectIdentifier, severity_level level,
                             const char* function, const char* file, int line);
    ~scoped_entry_exit_logger();
    scoped_entry_exit_logger(const scoped_entry_exit_logger&) = delete;
    scoped_entry_exit_logger& operator=(const scoped_entry_exit_logger&) = delete;

private:
    void Write(const char* what) const;

    logger_type& m_Logger;
    long m_ObjectIdentifier;
    severity_level m_Level;
    std::string m_Function;
    std::string m_File;
    int m_Line;
};

}  // namespace detail
}  // namespace logging

#define FOUNDATION_LOG_CONCAT_INNER(a, b) a##b
#define FOUNDATION_LOG_CONCAT(a, b) FOUNDATION_LOG_CONCAT_INNER(a, b)

// In a member function of a logging::LogSource: logs entering and leaving the function.
#define FOUNDATION_LOG_ENTRY_EXIT(level)                                                           \
    ::logging::detail::scoped_entry_exit_logger FOUNDATION_LOG_CONCAT(orvEntryExit, __LINE__)(     \
        this->GetLogger(), this->GetObjectIdentifier(), (level), BOOST_CURRENT_FUNCTION, __FILE__, \
        __LINE__)
