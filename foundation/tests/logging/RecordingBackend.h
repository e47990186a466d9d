#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/log/attributes/value_extraction.hpp>

#include "foundation/logging/AttributeHolder.h"
#include "foundation/logging/CustomSinkBackend.h"
#include "foundation/logging/SeverityLevel.h"

namespace testing_logging {

struct Captured {
    logging::severity_level severity = logging::Emergency;
    std::string channel;
    std::string message;
    long objectIdentifier = -1;
    std::string threadName;
    bool hasUniversalTime = false;
    bool hasLocalTime = false;
    std::vector<std::string> holders;
};

// Keeps every record it receives; notices when two threads are inside consume at once.
class RecordingBackend : public logging::CustomSinkBackend {
public:
    void consume(const boost::log::record_view& record) override {
        if (m_Inside.exchange(true)) {
            m_Overlapped = true;
        }
        const auto& values = record.attribute_values();
        Captured c;
        if (auto v = boost::log::extract<logging::severity_level>("Severity", values)) {
            c.severity = *v;
        }
        if (auto v = boost::log::extract<std::string>("Channel", values)) {
            c.channel = *v;
        }
        if (auto v = boost::log::extract<std::string>("Message", values)) {
            c.message = *v;
        }
        if (auto v = boost::log::extract<long>("ObjectIdentifier", values)) {
            c.objectIdentifier = *v;
        }
        if (auto v = boost::log::extract<std::string>("ThreadName", values)) {
            c.threadName = *v;
        }
        c.hasUniversalTime =
            !!boost::log::extract<boost::posix_time::ptime>("UniversalTimeStamp", values);
        c.hasLocalTime = !!boost::log::extract<boost::posix_time::ptime>("LocalTimeStamp", values);
        for (const auto& value : values) {
            if (auto holder = value.second.extract<logging::detail::attribute_holder>()) {
                c.holders.push_back(holder->text());
            }
        }
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Records.push_back(c);
        }
        m_Inside = false;
    }

    std::vector<Captured> Records() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Records;
    }
    bool Overlapped() const { return m_Overlapped; }

private:
    mutable std::mutex m_Mutex;
    std::vector<Captured> m_Records;
    std::atomic<bool> m_Inside{false};
    std::atomic<bool> m_Overlapped{false};
};

}  // namespace testing_logging
