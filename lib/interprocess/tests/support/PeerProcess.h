#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace ipctest {

// A child program with pipes on its standard input and output, for peers driven line by
// line. The destructor kills and reaps it.
class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& argv) {
        int in[2];
        int out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        if (posix_spawn(&_pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
            _pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        _in = in[1];
        _out = out[0];
    }

    ~PeerProcess() {
        kill();
        if (_in >= 0) {
            ::close(_in);
        }
        if (_out >= 0) {
            ::close(_out);
        }
    }

    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    pid_t pid() const { return _pid; }

    bool writeLine(const std::string& line) {
        const std::string text = line + "\n";
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(_in, text.data() + written, text.size() - written);
            if (n <= 0) {
                return false;
            }
            written += static_cast<std::size_t>(n);
        }
        return true;
    }

    // The next line, or "<timeout>" / "<eof>".
    std::string readLine(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto newline = _buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = _buffer.substr(0, newline);
                _buffer.erase(0, newline + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return "<timeout>";
            }
            pollfd fd{_out, POLLIN, 0};
            const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t n = ::read(_out, chunk, sizeof(chunk));
            if (n <= 0) {
                return "<eof>";
            }
            _buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Ends the process at once (SIGKILL) and reaps it; answers the wait status.
    int kill() {
        if (_pid <= 0) {
            return -1;
        }
        ::kill(_pid, SIGKILL);
        return wait();
    }

    // Waits (at most `limit`, then kills it) for the process to end and reaps it; answers the
    // wait status.
    int wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        if (_pid <= 0) {
            return -1;
        }
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        for (;;) {
            const pid_t done = ::waitpid(_pid, &status, WNOHANG);
            if (done == _pid || (done < 0 && errno != EINTR)) {
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(_pid, SIGKILL);
                while (::waitpid(_pid, &status, 0) < 0 && errno == EINTR) {
                }
                break;
            }
            ::usleep(2000);
        }
        _pid = -1;
        return status;
    }

private:
    pid_t _pid = -1;
    int _in = -1;
    int _out = -1;
    std::string _buffer;
};

}  // namespace ipctest
