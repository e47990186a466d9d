#include "foundation/logging/LogServices.h"

#include <cstdio>
#include <iostream>
#include <string>

#include <boost/core/null_deleter.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/log/attributes/clock.hpp>
#include <boost/log/attributes/function.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core/core.hpp>
#include <boost/log/expressions/filter.hpp>
#include <boost/log/utility/exception_handler.hpp>

#include "foundation/conversion/SmartPointerConversion.h"
#include "foundation/logging/AttributeHolder.h"
#include "foundation/logging/ThreadName.h"

namespace logging {

std::shared_ptr<LogServices> LogServices::m_Instance;
std::mutex LogServices::m_InstanceMutex;

namespace {

// "<time> - <severity padded to 9> - <channel> - <message>[ - <attribute holder>]..."
void FormatConsoleLine(const boost::log::record_view& record,
                       boost::log::formatting_ostream& stream) {
    const auto values = record.attribute_values();
    if (auto timestamp = boost::log::extract<boost::posix_time::ptime>("LocalTimeStamp", values)) {
        if (!timestamp->is_special()) {
            const boost::posix_time::time_duration time = timestamp->time_of_day();
            char text[32];
            std::snprintf(text, sizeof(text), "%02ld:%02ld:%02ld.%06ld",
                          static_cast<long>(time.hours()), static_cast<long>(time.minutes()),
                          static_cast<long>(time.seconds()),
                          static_cast<long>(time.total_microseconds() % 1000000));
            stream << text;
        }
    }
    std::string severity;
    if (auto level = boost::log::extract<severity_level>("Severity", values)) {
        severity = LogLevelToString(*level);
    }
    if (severity.size() < 9) {
        severity.resize(9, ' ');
    }
    stream << " - " << severity << " - ";
    if (auto channel = boost::log::extract<std::string>("Channel", values)) {
        stream << *channel;
    }
    stream << " - ";
    if (auto message = boost::log::extract<std::string>("Message", values)) {
        stream << *message;
    }
    for (const auto& value : values) {
        if (auto holder = value.second.extract<detail::attribute_holder>()) {
            stream << " - " << *holder;
        }
    }
}

// Passes records whose severity is at least `minimum`; records without one are held back.
boost::log::filter AtLeast(const std::string& severityName, severity_level minimum) {
    const boost::log::attribute_name name(severityName);
    return [name, minimum](const boost::log::attribute_value_set& values) {
        const auto level = boost::log::extract<severity_level>(name, values);
        return level && *level >= minimum;
    };
}

std::string CurrentThreadName() {
    return core::GetThreadName();
}

}  // namespace

bool LogServices::Create() {
    std::lock_guard<std::mutex> lock(m_InstanceMutex);
    if (m_Instance) {
        return false;
    }
    m_Instance = std::make_shared<LogServices>();
    return true;
}

std::shared_ptr<LogServices> LogServices::Get() {
    std::lock_guard<std::mutex> lock(m_InstanceMutex);
    return m_Instance;
}

LogServices::LogServices() : m_Core(boost::log::core::get()) {
    // A failing sink must not throw into the code that logs.
    m_Core->set_exception_handler(boost::log::make_exception_suppressor());

    m_Core->add_global_attribute("UniversalTimeStamp", boost::log::attributes::utc_clock());
    m_Core->add_global_attribute("LocalTimeStamp", boost::log::attributes::local_clock());
    m_Core->add_global_attribute("ThreadName",
                                 boost::log::attributes::make_function(&CurrentThreadName));

    auto backend = boost::make_shared<boost::log::sinks::text_ostream_backend>();
    backend->add_stream(boost::shared_ptr<std::ostream>(&std::clog, boost::null_deleter()));
    backend->auto_flush(true);
    m_ConsoleSink = boost::make_shared<ConsoleSink>(backend);
    m_ConsoleSink->set_formatter(&FormatConsoleLine);
    ApplyFilters();
    m_Core->add_sink(m_ConsoleSink);
}

LogServices::~LogServices() {
    m_Core->remove_all_sinks();
}

void LogServices::SetSeverityLevel(severity_level level) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Level = level;
    ApplyFilters();
}

void LogServices::SetCustomSink(std::shared_ptr<CustomSinkBackend> backend) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_CustomSink) {
        m_Core->remove_sink(m_CustomSink);
        m_CustomSink.reset();
    }
    if (backend) {
        m_CustomSink = boost::make_shared<CustomSink>(conversion::to_boost_ptr(backend));
        m_Core->add_sink(m_CustomSink);
    }
}

void LogServices::ApplyFilters() {
    // Only Trace records are held back at the core, and only when the level is above Trace;
    // the custom sink gets everything that passes the core, the console what reaches the level.
    const severity_level coreMinimum = m_Level == Trace ? Trace : Debug;
    m_Core->set_filter(AtLeast(m_SeverityAttributeName, coreMinimum));
    m_ConsoleSink->set_filter(AtLeast(m_SeverityAttributeName, m_Level));
}

}  // namespace logging
