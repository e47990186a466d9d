#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace helpertest {

// The project's peer tool (tools/ipcpeer) run as a separate process, driven by command lines on
// its standard input and answering one line each on its standard output.
class IpcPeer {
public:
    explicit IpcPeer(const std::vector<std::string>& arguments) {
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        std::vector<char*> argv;
        const std::string program = ORV_IPCPEER_PATH;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawn(&_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            _pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        _in = input[1];
        _out = output[0];
    }

    ~IpcPeer() {
        if (_in >= 0) {
            command("quit");
            ::close(_in);
        }
        if (_pid > 0) {
            // Bounded: a peer that does not end within two seconds is killed.
            for (int i = 0; i < 200 && ::waitpid(_pid, nullptr, WNOHANG) == 0; ++i) {
                ::usleep(10000);
            }
            if (::kill(_pid, 0) == 0) {
                ::kill(_pid, SIGKILL);
                ::waitpid(_pid, nullptr, 0);
            }
        }
        if (_out >= 0) {
            ::close(_out);
        }
    }
    IpcPeer(const IpcPeer&) = delete;
    IpcPeer& operator=(const IpcPeer&) = delete;

    void command(const std::string& line) {
        const std::string text = line + "\n";
        (void)!::write(_in, text.data(), text.size());
    }

    // The next line of output without its line feed; empty after `limit` without one.
    std::string readLine(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto end = _buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = _buffer.substr(0, end);
                _buffer.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return std::string();
            }
            pollfd fd{_out, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[65536];
            const ssize_t got = ::read(_out, chunk, sizeof chunk);
            if (got <= 0) {
                return std::string();
            }
            _buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // The bytes of a "raw <hex>" answer.
    static std::string fromHex(const std::string& hex) {
        std::string bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return bytes;
    }

private:
    pid_t _pid = -1;
    int _in = -1;
    int _out = -1;
    std::string _buffer;
};

}  // namespace helpertest
