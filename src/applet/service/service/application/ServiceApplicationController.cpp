#include "service/application/ServiceApplicationController.h"

#include <unistd.h>

#include <boost/filesystem/operations.hpp>

#include <cstdio>
#include <iostream>
#include <set>

#include "common/params/IParams.h"
#include "common/util/Util.h"
#include "platform/systemroot/SystemRoot.h"
#include "unattended/version/DaemonVersion.h"

namespace fs = boost::filesystem;

namespace corvalis {
namespace service {

namespace {

const char kIdAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Folders an uninstall never removes, wherever the system root lies, besides the root itself.
const char* const kSystemFolders[] = {
    "/Applications", "/Library",   "/Library/Application Support",
    "/System",       "/Users",     "/Volumes",
    "/bin",          "/boot",      "/dev",
    "/etc",          "/home",      "/lib",
    "/lib32",        "/lib64",     "/media",
    "/mnt",          "/opt",       "/private",
    "/proc",         "/root",      "/run",
    "/sbin",         "/srv",       "/sys",
    "/tmp",          "/usr",       "/usr/bin",
    "/usr/lib",      "/usr/local", "/usr/local/bin",
    "/usr/sbin",     "/var",       "/var/tmp",
    "/var/run",
};

bool isSystemFolder(const fs::path& folder) {
    std::set<fs::path> refused{"/", standin::SystemRoot::path().lexically_normal()};
    for (const char* system : kSystemFolders) {
        refused.insert(fs::path(system));
        refused.insert(standin::SystemRoot::resolve(system).lexically_normal());
    }
    if (const char* home = std::getenv("HOME")) {
        refused.insert(fs::path(home).lexically_normal());
    }
    fs::path normal = folder.lexically_normal();
    if (normal.filename() == ".") {
        normal = normal.parent_path();
    }
    return refused.count(normal) != 0;
}

// True when no component of the absolute path is a symbolic link.
bool hasNoSymbolicLink(const fs::path& folder) {
    fs::path prefix;
    for (const auto& part : folder) {
        prefix /= part;
        boost::system::error_code error;
        if (fs::symlink_status(prefix, error).type() == fs::symlink_file) {
            return false;
        }
    }
    return true;
}

// True when `inner` lies below `outer` (both absolute and normalised).
bool isInside(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (i == inner.end() || *i != *o) {
            return false;
        }
    }
    return i != inner.end();
}

}  // namespace

std::unique_ptr<IAbstractServiceApplicationController>
IAbstractServiceApplicationController::create(common::ITaskScheduler& scheduler,
                                              common::IParams& params, ServiceType type,
                                              bool idFlag) {
    return std::make_unique<ServiceApplicationController>(scheduler, params, type, idFlag);
}

ServiceApplicationController::ServiceApplicationController(common::ITaskScheduler& scheduler,
                                                           common::IParams& params,
                                                           ServiceType type, bool idFlag)
    : ServiceApplicationController(scheduler, params, type, idFlag, Environment()) {}

ServiceApplicationController::ServiceApplicationController(common::ITaskScheduler& scheduler,
                                                           common::IParams& params,
                                                           ServiceType type, bool idFlag,
                                                           Environment environment)
    : AbstractServiceApplicationController(scheduler, params, type, idFlag),
      _environment(std::move(environment)) {
    if (!_environment.launchCtl) {
        _environment.launchCtl = [](const std::string& name) {
            return common::ILaunchCtl::Create(name);
        };
    }
    if (_environment.output == nullptr) {
        _environment.output = &std::cout;
    }
    if (_environment.executable.empty()) {
        _environment.executable = common::util::getExecutablePathAndFilename();
    }
    if (!_environment.systemLog) {
        _environment.systemLog = [](const std::string& line) {
            std::fprintf(stderr, "%s\n", line.c_str());
        };
    }
}

common::ILogger& ServiceApplicationController::logger() {
    if (!_logger) {
        _logger = common::ILogger::create("ServiceApplicationController");
    }
    return *_logger;
}

int ServiceApplicationController::processInput(const std::vector<std::string>& /*arguments*/,
                                               int& /*exitCode*/) {
    _logger = common::ILogger::create("ServiceApplicationController");
    _logger->info("params: '%s'", _params.toString().c_str());
    _logger->info("service starting (%s) =========================================",
                  unattended::kDaemonVersion);
    _logger->info("working path: '%s'", _workingPath.string().c_str());
    _logger->info("language: '%s'", _params.getValue("Lang", std::string()).c_str());
    if (!_params.hasValue("InstallationId")) {
        const std::string id = common::util::generateNanoId(10, kIdAlphabet);
        if (!_params.setValue("InstallationId", id)) {
            _logger->error("unable to store the installation id");
        }
    }
    if (_params.hasValue("NoDel")) {
        _params.setValueAs<bool>("NoDel", true);
    }
    _logger->info("application installation id: '%s'", GetUId().c_str());

    if (_params.hasValue("regsvc")) {
        RegisterDeamon(false);
        return 0;
    }
    if (_params.hasValue("delsvc")) {
        UnregisterApplications();
        return 0;
    }
    return 3;
}

bool ServiceApplicationController::registerService(bool startedByInstaller) {
    return RegisterDeamon(startedByInstaller);
}

void ServiceApplicationController::unregisterService() {
    UnregisterApplications();
}

void ServiceApplicationController::printAnswer(int code) {
    *_environment.output << "<exitcode>" << code << "</exitcode>\n";
    _environment.output->flush();
}

bool ServiceApplicationController::RegisterDeamon(bool startedByInstaller) {
    logger().info("register daemon");
    auto launchCtl = _environment.launchCtl(GetUId());
    if (!launchCtl->RegisterDaemon(_environment.executable, _workingPath, {"-Service"})) {
        logger().error("unable to register daemon");
        printAnswer(-1);
        return false;
    }
    if (startedByInstaller) {
        printAnswer(0);
        return true;
    }
    if (::setuid(0) != 0) {
        logger().warning("unable to set uid to 0");
    }
    if (launchCtl->LoadDaemon()) {
        printAnswer(0);
        return true;
    }
    logger().error("unable to start daemon");
    launchCtl->UnregisterDaemon();
    launchCtl->UnregisterAgent();
    printAnswer(-4);
    return false;
}

void ServiceApplicationController::UnregisterApplications() {
    logger().info("unregister application");
    auto launchCtl = _environment.launchCtl(GetUId());
    if (launchCtl->isAgentRegistered()) {
        logger().info("Registered agent found, unregister");
        launchCtl->UnregisterAgent();
    }
    if (launchCtl->isDaemonRegistered()) {
        logger().info("Registered daemon found, unregister");
        launchCtl->UnregisterDaemon();
    }
}

void ServiceApplicationController::cleanUpApplicationFiles() {
    if (_params.getValueAs<bool>("NoDel", false)) {
        return;
    }
    const fs::path target = common::util::getApplicationMainPath(_environment.executable);
    const std::string text = target.string();
    if (text.size() < 2) {
        return;
    }
    if (text.find('/') != 0) {
        logger().info("sorry i won't delete files from '%s'", text.c_str());
        return;
    }
    // Only this installation's own folder: never a system folder, nothing reached through a
    // symbolic link, and only a folder that holds the running program.
    const fs::path normal = target.lexically_normal();
    if (isSystemFolder(normal) || !hasNoSymbolicLink(normal) ||
        !isInside(_environment.executable.lexically_normal(), normal) ||
        !fs::is_directory(normal)) {
        logger().info("sorry i won't delete files from '%s'", text.c_str());
        return;
    }
    logger().debug("deleting files from '%s'", text.c_str());
    boost::system::error_code error;
    fs::remove_all(normal, error);
    if (error) {
        _environment.systemLog("delete directory error: " + error.message());
    }
}

}  // namespace service
}  // namespace corvalis
