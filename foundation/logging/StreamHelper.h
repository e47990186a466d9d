#pragma once

#include <ostream>

#include <boost/log/core/record.hpp>
#include <boost/log/sources/record_ostream.hpp>

#include "foundation/logging/Logger.h"

namespace logging {
namespace detail {

// One log statement. Given an opened record, it offers the stream for the message, adds
// "ObjectIdentifier" and pushes the record into the core when the statement ends. Given a
// record that was not opened (no sink would take it), it formats nothing.
class stream_helper {
public:
    stream_helper(logger_type& logger, long objectIdentifier, boost::log::record&& record);
    ~stream_helper();
    stream_helper(const stream_helper&) = delete;
    stream_helper& operator=(const stream_helper&) = delete;

    explicit operator bool() const { return m_Open; }

    template <typename T>
    stream_helper& operator<<(const T& value) {
        if (m_Open) {
            m_Stream << value;
        }
        return *this;
    }
    stream_helper& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
        if (m_Open) {
            m_Stream << manipulator;
        }
        return *this;
    }

private:
    logger_type& m_Logger;
    boost::log::record m_Record;
    bool m_Open;
    boost::log::record_ostream m_Stream;
};

}  // namespace detail
}  // namespace logging
