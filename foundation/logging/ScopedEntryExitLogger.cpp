#include "foundation/logging/ScopedEntryExitLogger.h"

#include <boost/log/keywords/severity.hpp>

#include "foundation/logging/AttributeHolder.h"
#include "foundation/logging/StreamHelper.h"

#include <boost/log/attributes/attribute_value_impl.hpp>

namespace logging {
namespace detail {

scoped_entry_exit_logger::scoped_entry_exit_logger(logger_type& logger, long objectIdentifier,
                                                   severity_level level, const char* function,
                                                   const char* file, int line)
    : m_Logger(logger),
      m_ObjectIdentifier(objectIdentifier),
      m_Level(level),
      m_Function(function != nullptr ? function : ""),
      m_File(file != nullptr ? file : ""),
      m_Line(line) {
    Write(": entering");
}

scoped_entry_exit_logger::~scoped_entry_exit_logger() {
    Write(": returning");
}

void scoped_entry_exit_logger::Write(const char* what) const {
    try {
        boost::log::record record = m_Logger.open_record(boost::log::keywords::severity = m_Level);
        if (!record) {
            return;
        }
        record.attribute_values().insert(
            "File", boost::log::attributes::make_attribute_value(attribute_holder(m_File)));
        record.attribute_values().insert(
            "Line", boost::log::attributes::make_attribute_value(attribute_holder(m_Line)));
        stream_helper(m_Logger, m_ObjectIdentifier, std::move(record)) << m_Function << what;
    } catch (...) {
        // Logging never fails its caller.
    }
}

}  // namespace detail
}  // namespace logging
