#include "common/launchctl/LaunchCtl.h"

#include <errno.h>
#include <pwd.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>

#include "common/launchctl/LaunchJobPlist.h"
#include "platform/process/Process.h"
#include "platform/systemroot/SystemRoot.h"
#include "platform/users/LocalUsers.h"

namespace common {

namespace fs = boost::filesystem;

namespace {

const char* const kLabelPrefix = "com.orvanta.remotesupport.";

// Whether anything (a dangling symbolic link included) is at the path.
bool somethingExists(const fs::path& file) {
    if (file.empty()) {
        return false;
    }
    boost::system::error_code ec;
    const auto status = fs::symlink_status(file, ec);
    return !ec && status.type() != fs::file_not_found && status.type() != fs::status_error;
}

bool removeFile(const fs::path& file) {
    boost::system::error_code ec;
    return fs::remove(file, ec) && !ec;
}

fs::path realHomeFolder() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> storage(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, storage.data(), storage.size(), &found) == ERANGE &&
           storage.size() < 1024 * 1024) {
        storage.resize(storage.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr) {
        return fs::path();
    }
    return fs::path(found->pw_dir);
}

}  // namespace

LaunchCtlSystem LaunchCtlSystem::real() {
    LaunchCtlSystem system;
    system.isRoot = [] { return geteuid() == 0; };
    system.userNames = [] { return standin::LocalUsers::names(); };
    system.homeFolder = realHomeFolder;
    return system;
}

LaunchCtl::LaunchCtl(const std::string& name) : LaunchCtl(name, LaunchCtlSystem::real()) {}

LaunchCtl::LaunchCtl(const std::string& name, LaunchCtlSystem system)
    : _name(name), _system(std::move(system)) {}

std::string LaunchCtl::label(LaunchType type) const {
    return kLabelPrefix + std::string(type == Daemon ? "daemon." : "agent.") + _name;
}

bool LaunchCtl::isRoot() const {
    return _system.isRoot && _system.isRoot();
}

bool LaunchCtl::validName() const {
    // The name becomes part of a file name.
    return _name.find('/') == std::string::npos && _name.find('\0') == std::string::npos;
}

fs::path LaunchCtl::systemPath(LaunchType type) const {
    if (!validName()) {
        return fs::path();
    }
    return standin::SystemRoot::resolve(type == Daemon ? "/Library/LaunchDaemons"
                                                       : "/Library/LaunchAgents") /
           (label(type) + ".plist");
}

fs::path LaunchCtl::userPath(LaunchType type) const {
    const fs::path home = _system.homeFolder ? _system.homeFolder() : fs::path();
    if (!validName() || home.empty() || !home.is_absolute()) {
        return fs::path();
    }
    return home / "Library" / (type == Daemon ? "LaunchDaemons" : "LaunchAgents") /
           (label(type) + ".plist");
}

fs::path LaunchCtl::agentPath() const {
    const fs::path systemWide = systemPath(Agent);
    return somethingExists(systemWide) ? systemWide : userPath(Agent);
}

bool LaunchCtl::writeJob(const fs::path& file, LaunchType type, const fs::path& program,
                         const fs::path& workingDirectory,
                         const std::vector<std::string>& arguments) const {
    LaunchJob job;
    job.label = label(type);
    job.programArguments.reserve(arguments.size() + 1);
    job.programArguments.push_back(program.string());
    job.programArguments.insert(job.programArguments.end(), arguments.begin(), arguments.end());
    job.workingDirectory = workingDirectory.string();
    job.agent = type == Agent;
    return LaunchJobPlist::write(file, job);
}

bool LaunchCtl::RegisterDaemon(const fs::path& program, const fs::path& workingDirectory,
                               std::vector<std::string> arguments) {
    return writeJob(systemPath(Daemon), Daemon, program, workingDirectory, arguments);
}

int LaunchCtl::RegisterAgent(const fs::path& program, const fs::path& workingDirectory,
                             std::vector<std::string> arguments) {
    if (isDaemonRegistered()) {
        return 3;
    }
    if (isAgentRegistered()) {
        return 2;
    }
    if (writeJob(systemPath(Agent), Agent, program, workingDirectory, arguments)) {
        return 0;
    }
    const fs::path file = userPath(Agent);
    if (file.empty()) {
        return 4;
    }
    boost::system::error_code ec;
    const fs::path folder = file.parent_path();
    if (!fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) {
            return 4;
        }
    }
    return writeJob(file, Agent, program, workingDirectory, arguments) ? 1 : 4;
}

bool LaunchCtl::isDaemonRegistered() {
    return somethingExists(systemPath(Daemon));
}

bool LaunchCtl::isAgentRegistered() {
    return somethingExists(agentPath());
}

bool LaunchCtl::UnregisterDaemon() {
    launchctl({"remove", label(Daemon)});
    const fs::path file = systemPath(Daemon);
    return somethingExists(file) && removeFile(file);
}

bool LaunchCtl::UnregisterAgent() {
    const fs::path file = agentPath();
    if (!somethingExists(file)) {
        return false;
    }
    if (isRoot()) {
        launchctlForEveryUser("remove", label(Agent));
    } else {
        launchctl({"remove", label(Agent)});
    }
    return removeFile(file);
}

bool LaunchCtl::LoadDaemon() {
    const fs::path file = systemPath(Daemon);
    return somethingExists(file) && launchctl({"load", "-w", file.string()});
}

bool LaunchCtl::LoadAgent() {
    const fs::path file = agentPath();
    if (!somethingExists(file)) {
        return false;
    }
    if (!isRoot()) {
        return launchctl({"load", "-w", file.string()});
    }
    launchctlForEveryUser("load -w", file.string());
    return true;
}

bool LaunchCtl::UnloadDaemon(bool removeFile) {
    return unload(systemPath(Daemon), removeFile);
}

bool LaunchCtl::UnloadAgent(bool removeFile) {
    return unload(agentPath(), removeFile);
}

bool LaunchCtl::unload(const fs::path& file, bool removeIt) const {
    if (!somethingExists(file)) {
        return false;
    }
    const bool unloaded = launchctl({"unload", file.string()});
    if (removeIt) {
        removeFile(file);
    }
    return unloaded;
}

bool LaunchCtl::launchctl(const std::vector<std::string>& arguments) {
    return standin::Process::run("launchctl", arguments).succeeded();
}

void LaunchCtl::launchctlForEveryUser(const std::string& subcommand,
                                      const std::string& value) const {
    const std::string command = "launchctl " + subcommand + " " + standin::shellQuote(value);
    const std::vector<std::string> users =
        _system.userNames ? _system.userNames() : std::vector<std::string>{};
    for (const auto& user : users) {
        // su would read a name that begins with "-" as an option.
        if (user.empty() || user[0] == '-') {
            continue;
        }
        standin::Process::run("su", {"-", user, "-c", command});
    }
}

}  // namespace common
