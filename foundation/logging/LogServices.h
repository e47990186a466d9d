#pragma once

#include <memory>
#include <mutex>
#include <string>

#include <boost/log/core/core.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/shared_ptr.hpp>

#include "foundation/logging/CustomSinkBackend.h"
#include "foundation/logging/SeverityLevel.h"

namespace logging {

// The process-wide logging set-up: the level, the console sink and the custom sink. Destroyed
// at process exit, when it removes all sinks from the core.
class LogServices {
public:
    // Creates and sets up the services; false when they already exist.
    static bool Create();
    // The services, or null before Create.
    static std::shared_ptr<LogServices> Get();

    LogServices();
    ~LogServices();
    LogServices(const LogServices&) = delete;
    LogServices& operator=(const LogServices&) = delete;

    void SetSeverityLevel(severity_level level);
    void SetCustomSink(std::shared_ptr<CustomSinkBackend> backend);

private:
    using ConsoleSink =
        boost::log::sinks::synchronous_sink<boost::log::sinks::text_ostream_backend>;
    using CustomSink = boost::log::sinks::synchronous_sink<CustomSinkBackend>;

    void ApplyFilters();

    static std::shared_ptr<LogServices> m_Instance;
    static std::mutex m_InstanceMutex;

    std::mutex m_Mutex;
    boost::shared_ptr<boost::log::core> m_Core;
    severity_level m_Level = Debug;
    boost::shared_ptr<ConsoleSink> m_ConsoleSink;
    boost::shared_ptr<CustomSink> m_CustomSink;
    const std::string m_ChannelAttributeName = "Channel";
    const std::string m_SeverityAttributeName = "Severity";
};

}  // namespace logging
