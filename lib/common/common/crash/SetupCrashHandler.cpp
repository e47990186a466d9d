#include "common/crash/SetupCrashHandler.h"

#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/crash/CrashReportDatabase.h"
#include "common/crash/CrashReportWriter.h"
#include "common/logger/ILogger.h"
#include "common/util/Util.h"
#include "platform/process/Process.h"

namespace fs = boost::filesystem;

namespace common {

namespace {

constexpr const char* kAnnotationFormat = "minidump";
constexpr const char* kAnnotationVersion = "1.0.0.352";
// How often a handler that ended while the program runs is started again.
constexpr int kMaxHandlerRestarts = 3;

std::mutex gStartMutex;
bool gHandlerStarted = false;

const ILogger& setupCrashHandlerLogger() {
    static const std::unique_ptr<ILogger> logger = ILogger::create("SetupCrashHandler");
    return *logger;
}

bool isRegularFile(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Waits for the handler and starts it again when it ends, a few times at most.
void superviseHandler(pid_t pid, std::string program, std::vector<std::string> arguments) {
    std::thread([pid, program, arguments]() mutable {
        for (int restarts = 0;; ++restarts) {
            standin::Process::wait(pid);
            if (restarts >= kMaxHandlerRestarts) {
                return;
            }
            pid = standin::Process::start(program, arguments);
            if (pid < 0) {
                return;
            }
        }
    }).detach();
}

}  // namespace

std::string crashUploadUrl(const std::string& monitoringUrl, const std::string& token) {
    std::string url = monitoringUrl + "/api/dump?token=";
    for (unsigned char c : token) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            url.push_back(static_cast<char>(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof(escaped), "%%%02X", c);
            url.append(escaped);
        }
    }
    return url;
}

bool setupCrashHandler(const IParams& params, const std::string& prefix,
                       const std::map<std::string, std::string>& /*attachments*/) {
    const ILogger& logger = setupCrashHandlerLogger();
    const std::string monitoringUrl = params.getValue("MonitoringUrl", "");
    const std::string monitoringToken = params.getValue("MonitoringToken", "");
    if (monitoringUrl.empty() || monitoringToken.empty()) {
        logger.warning("Missing parameter for Crash Handler: ServiceUrl and MonitoringToken");
        return false;
    }

    std::map<std::string, std::string> annotations = {{"format", kAnnotationFormat},
                                                      {"version", kAnnotationVersion}};
    char hostName[1024] = {};
    if (::gethostname(hostName, sizeof(hostName) - 1) != 0) {
        logger.warning("Couldn't read the host name for Crash Handler");
    } else if (hostName[0] != '\0') {
        annotations["hostname"] = hostName;
        logger.debug("Successfully added HostName (%s) to Crash Handler", hostName);
    }
    const struct {
        const char* parameter;
        const char* annotation;
        const char* line;
    } identifiers[] = {
        {"SessionId", "sessionid", "Successfully added SessionId (%s) to Crash Handler"},
        {"DeviceId", "deviceid", "Successfully added DeviceId (%s) to Crash Handler"},
        {"InstallationId", "installationid",
         "Successfully added InstallationId (%s) to Crash Handler"},
    };
    for (const auto& identifier : identifiers) {
        const std::string value = params.getValue(identifier.parameter, "");
        if (!value.empty()) {
            annotations[identifier.annotation] = value;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
            logger.debug(identifier.line, value.c_str());
#pragma GCC diagnostic pop
        }
    }

    const fs::path writePath = util::getUserWritePath();
    const fs::path databasePath = writePath / (prefix + "CrashReportDB");

    const fs::path handlerPath = util::getExecutablePath() / "crashpad_handler";
    if (!isRegularFile(handlerPath)) {
        logger.warning("Crash Handler executable is not on expected path!");
        return false;
    }

    const CrashReportDatabase database(databasePath);
    std::string reason;
    if (writePath.empty() || !database.initialize(reason)) {
        logger.warning("Couldn't create crash report database on %s location.",
                       databasePath.c_str());
        struct stat status {};
        if (::stat(databasePath.c_str(), &status) != 0) {
            logger.warning("DB Location doesn't exist yet!");
        } else {
            logger.warning("Permissions on folder: %o",
                           static_cast<unsigned>(status.st_mode & 07777));
        }
        return false;
    }

    std::lock_guard<std::mutex> lock(gStartMutex);
    if (!database.writeUploadUrl(crashUploadUrl(monitoringUrl, monitoringToken)) ||
        !CrashReportWriter::install(databasePath, annotations)) {
        logger.warning("Couldn't start Crash Handler!");
        return false;
    }
    if (gHandlerStarted) {
        logger.info("Crash Handler started successfully!");
        return true;
    }
    const std::vector<std::string> arguments = {"--database=" + databasePath.string(),
                                                "--pid=" + std::to_string(::getpid())};
    const pid_t pid = standin::Process::start(handlerPath.string(), arguments);
    if (pid < 0) {
        logger.warning("Couldn't start Crash Handler!");
        return false;
    }
    gHandlerStarted = true;
    superviseHandler(pid, handlerPath.string(), arguments);
    logger.info("Crash Handler started successfully!");
    return true;
}

}  // namespace common
