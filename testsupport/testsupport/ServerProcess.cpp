#include "testsupport/ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testsupport {

unsigned short freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("freePort: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("freePort: bind failed");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

bool portAccepts(const std::string& host, unsigned short port) {
    const bool v6 = host.find(':') != std::string::npos;
    int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int rc = -1;
    if (v6) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        if (::inet_pton(AF_INET6, host.c_str(), &address.sin6_addr) == 1)
            rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1)
            rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    }
    ::close(fd);
    return rc == 0;
}

ServerProcess::ServerProcess(std::vector<std::string> argv, std::vector<std::string> environment,
                             std::string logFile) {
    if (argv.empty())
        throw std::invalid_argument("ServerProcess: empty argv");
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    _pid = ::fork();
    if (_pid < 0)
        throw std::runtime_error("ServerProcess: fork failed");
    if (_pid == 0) {
        // A test that aborts runs no destructor: its servers end with it instead of lingering.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setpgid(0, 0);
        for (auto& e : environment)
            ::putenv(e.data());
        if (!logFile.empty()) {
            int fd = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
                ::close(fd);
            }
        }
        int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0)
            ::dup2(null, 0);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::setpgid(_pid, _pid);
}

ServerProcess::~ServerProcess() {
    stop();
}

bool ServerProcess::running() const {
    return _pid > 0 && ::kill(_pid, 0) == 0;
}

bool ServerProcess::waitForPort(const std::string& host, unsigned short port,
                                std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (portAccepts(host, port))
            return true;
        int status = 0;
        if (_pid <= 0 || ::waitpid(_pid, &status, WNOHANG) == _pid)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int ServerProcess::stop() {
    if (_pid <= 0)
        return _status;
    ::kill(-_pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(_pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) {
        ::kill(-_pid, SIGKILL);
        ::waitpid(_pid, &status, 0);
    }
    ::kill(-_pid, SIGKILL);  // anything the server left in its group
    _status = done < 0 ? -1 : status;
    _pid = -1;
    return _status;
}

}  // namespace testsupport
