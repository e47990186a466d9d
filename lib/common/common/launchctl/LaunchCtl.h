#pragma once

#include <boost/filesystem/path.hpp>
#include <functional>
#include <string>
#include <vector>

#include "common/launchctl/ILaunchCtl.h"

namespace common {

// What LaunchCtl asks of the machine; the defaults ask the real one, tests give their own.
struct LaunchCtlSystem {
    // Whether the calling process runs as root (effective uid 0).
    std::function<bool()> isRoot;
    // The local, non-hidden users' names, for the per-user commands run as root.
    std::function<std::vector<std::string>()> userNames;
    // The calling user's home folder (its password database entry).
    std::function<boost::filesystem::path()> homeFolder;

    static LaunchCtlSystem real();
};

// launchd registration through XML property lists and the `launchctl` command. Commands run
// with an argument vector (never through a shell); the per-user commands that root runs go
// through `su - <user> -c <command>` with every value in the command quoted for the shell.
class LaunchCtl : public ILaunchCtl {
public:
    enum LaunchType { Agent = 0, Daemon = 1 };

    explicit LaunchCtl(const std::string& name);
    LaunchCtl(const std::string& name, LaunchCtlSystem system);

    bool RegisterDaemon(const boost::filesystem::path& program,
                        const boost::filesystem::path& workingDirectory,
                        std::vector<std::string> arguments) override;
    int RegisterAgent(const boost::filesystem::path& program,
                      const boost::filesystem::path& workingDirectory,
                      std::vector<std::string> arguments) override;
    bool isDaemonRegistered() override;
    bool isAgentRegistered() override;
    bool UnregisterDaemon() override;
    bool UnregisterAgent() override;
    bool LoadDaemon() override;
    bool LoadAgent() override;
    bool UnloadDaemon(bool removeFile) override;
    bool UnloadAgent(bool removeFile) override;

    // "com.orvanta.remotesupport.daemon.<name>" or "com.orvanta.remotesupport.agent.<name>".
    std::string label(LaunchType type) const;
    // <root>/Library/LaunchDaemons/<label>.plist or <root>/Library/LaunchAgents/<label>.plist.
    boost::filesystem::path systemPath(LaunchType type) const;
    // <home>/Library/LaunchAgents/<label>.plist (LaunchDaemons for the daemon); empty when the
    // home folder is unknown.
    boost::filesystem::path userPath(LaunchType type) const;
    // The system-wide agent file when one exists, else the per-user one.
    boost::filesystem::path agentPath() const;

private:
    bool isRoot() const;
    bool validName() const;
    bool writeJob(const boost::filesystem::path& file, LaunchType type,
                  const boost::filesystem::path& program,
                  const boost::filesystem::path& workingDirectory,
                  const std::vector<std::string>& arguments) const;
    bool unload(const boost::filesystem::path& file, bool removeFile) const;
    // Runs `launchctl <arguments>`; whether it exited with status 0.
    static bool launchctl(const std::vector<std::string>& arguments);
    // Runs "launchctl <subcommand> <value>" as every local user through su, the value quoted
    // for the user's shell; the statuses are ignored.
    void launchctlForEveryUser(const std::string& subcommand, const std::string& value) const;

    std::string _name;
    LaunchCtlSystem _system;
};

}  // namespace common
