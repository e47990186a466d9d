#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/log/attributes/value_extraction.hpp>

#include "foundation/logging/CustomSinkBackend.h"
#include "foundation/logging/Logging.h"
#include "foundation/logging/SeverityLevel.h"

namespace networktest {

struct LogLine {
    logging::severity_level severity = logging::Emergency;
    std::string channel;
    std::string message;
};

// Keeps every record of the foundation log while it is installed (level Trace).
class LogRecorder : public logging::CustomSinkBackend {
public:
    static std::shared_ptr<LogRecorder> Install() {
        logging::Initialize(nullptr, false);
        logging::SetGlobalSeverityLevel(logging::Trace);
        auto recorder = std::make_shared<LogRecorder>();
        logging::SetGlobalSink(recorder);
        return recorder;
    }
    ~LogRecorder() override = default;

    void consume(const boost::log::record_view& record) override {
        const auto& values = record.attribute_values();
        LogLine line;
        if (auto v = boost::log::extract<logging::severity_level>("Severity", values)) {
            line.severity = *v;
        }
        if (auto v = boost::log::extract<std::string>("Channel", values)) {
            line.channel = *v;
        }
        if (auto v = boost::log::extract<std::string>("Message", values)) {
            line.message = *v;
        }
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Lines.push_back(line);
    }

    std::vector<LogLine> Lines() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Lines;
    }
    // Lines of that channel and severity whose message starts with `prefix`.
    std::vector<std::string> Find(const std::string& channel, logging::severity_level severity,
                                  const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& line : Lines()) {
            if (line.channel == channel && line.severity == severity &&
                line.message.compare(0, prefix.size(), prefix) == 0) {
                found.push_back(line.message);
            }
        }
        return found;
    }
    bool Has(const std::string& channel, logging::severity_level severity,
             const std::string& prefix) const {
        return !Find(channel, severity, prefix).empty();
    }

private:
    mutable std::mutex m_Mutex;
    std::vector<LogLine> m_Lines;
};

// Installs a recorder for the lifetime of the object.
class ScopedLogRecorder {
public:
    ScopedLogRecorder() : m_Recorder(LogRecorder::Install()) {}
    ~ScopedLogRecorder() { logging::SetGlobalSink(nullptr); }
    LogRecorder* operator->() const { return m_Recorder.get(); }

private:
    std::shared_ptr<LogRecorder> m_Recorder;
};

}  // namespace networktest
