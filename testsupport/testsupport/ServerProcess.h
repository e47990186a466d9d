#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

// A free TCP port on 127.0.0.1 (bound once and released; good enough for a test's own server).
unsigned short freePort();

// True when something accepts TCP connections on host:port.
bool portAccepts(const std::string& host, unsigned short port);

// A peer server (nginx, squid, a python3 script, ...) run for the lifetime of the object. It
// starts in a process group of its own; the destructor ends the group (SIGTERM, then SIGKILL
// after two seconds) and reaps the process. It is killed as well when the thread that started
// it ends (e.g. the test program aborts). Nothing goes through a shell.
class ServerProcess {
public:
    // Starts `argv` (argv[0] found on PATH when it holds no "/"), with `environment`
    // ("NAME=value") added to this process's environment. Standard output and error go to
    // `logFile` when given.
    ServerProcess(std::vector<std::string> argv, std::vector<std::string> environment = {},
                  std::string logFile = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    pid_t pid() const { return _pid; }
    bool running() const;

    // Waits until host:port accepts connections, the process ends, or `limit` passes.
    bool waitForPort(const std::string& host, unsigned short port,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) const;

    // Ends the process group now; answers the raw wait status (-1 if it was not running).
    int stop();

private:
    pid_t _pid = -1;
    int _status = -1;
};

}  // namespace testsupport
