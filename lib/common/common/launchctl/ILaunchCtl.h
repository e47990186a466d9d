#pragma once

#include <boost/filesystem/path.hpp>
#include <memory>
#include <string>
#include <vector>

namespace common {

// Registers a program with launchd under one name: a daemon (system-wide, run as root) and an
// agent (run in the users' sessions). Failures are answers, never exceptions.
class ILaunchCtl {
public:
    ILaunchCtl() = default;
    virtual ~ILaunchCtl() = default;
    ILaunchCtl(const ILaunchCtl&) = delete;
    ILaunchCtl& operator=(const ILaunchCtl&) = delete;

    static std::unique_ptr<ILaunchCtl> Create(const std::string& name);

    // Writes the daemon's property list at the system-wide path; whether it was written.
    virtual bool RegisterDaemon(const boost::filesystem::path& program,
                                const boost::filesystem::path& workingDirectory,
                                std::vector<std::string> arguments) = 0;
    // 0 written system-wide, 1 written for the calling user, 2 an agent file already exists,
    // 3 the daemon of this name is registered, 4 failed.
    virtual int RegisterAgent(const boost::filesystem::path& program,
                              const boost::filesystem::path& workingDirectory,
                              std::vector<std::string> arguments) = 0;
    virtual bool isDaemonRegistered() = 0;
    virtual bool isAgentRegistered() = 0;
    virtual bool UnregisterDaemon() = 0;
    virtual bool UnregisterAgent() = 0;
    virtual bool LoadDaemon() = 0;
    virtual bool LoadAgent() = 0;
    virtual bool UnloadDaemon(bool removeFile) = 0;
    virtual bool UnloadAgent(bool removeFile) = 0;
};

}  // namespace common
