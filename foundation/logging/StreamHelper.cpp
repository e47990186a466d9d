#include "foundation/logging/StreamHelper.h"

#include <utility>

#include <boost/log/attributes/attribute_value_impl.hpp>
#include <boost/log/attributes/value_extraction.hpp>

namespace logging {
namespace detail {

stream_helper::stream_helper(logger_type& logger, long objectIdentifier,
                             boost::log::record&& record)
    : m_Logger(logger), m_Record(std::move(record)), m_Open(!!m_Record) {
    if (m_Open) {
        m_Record.attribute_values().insert(
            "ObjectIdentifier", boost::log::attributes::make_attribute_value(objectIdentifier));
        m_Stream.attach_record(m_Record);
    }
}

stream_helper::~stream_helper() {
    if (m_Open) {
        try {
            m_Stream.flush();
            m_Stream.detach_from_record();
            m_Logger.push_record(std::move(m_Record));
        } catch (...) {
            // A record that cannot be delivered is dropped; logging never fails its caller.
        }
    }
}

}  // namespace detail
}  // namespace logging
