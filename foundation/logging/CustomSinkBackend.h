#pragma once

#include <boost/log/core/record_view.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>

namespace logging {

// Base of a sink backend supplied from outside the library (see SetGlobalSink). The sink that
// wraps it serialises calls: consume is never entered by two threads at once.
class CustomSinkBackend
    : public boost::log::sinks::basic_sink_backend<boost::log::sinks::synchronized_feeding> {
public:
    virtual void consume(const boost::log::record_view& record) = 0;
    virtual ~CustomSinkBackend();
};

}  // namespace logging
