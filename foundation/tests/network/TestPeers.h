#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace networktest {

// A listening socket on a free loopback port.
class Listener {
public:
    explicit Listener(int backlog = 16) {
        m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (m_Fd < 0 || ::bind(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(m_Fd, backlog) != 0 ||
            ::getsockname(m_Fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen");
        }
        m_Port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(m_Fd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    uint16_t Port() const { return m_Port; }
    int Fd() const { return m_Fd; }

    // Fills the accept queue so that further connection attempts are not answered.
    void FillBacklog() {
        for (int i = 0; i < 4; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(m_Port);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
            m_Fillers.push_back(fd);
        }
        ::usleep(100 * 1000);
    }

private:
    int m_Fd = -1;
    uint16_t m_Port = 0;
    std::vector<int> m_Fillers;

public:
    void CloseFillers() {
        for (int fd : m_Fillers) {
            ::close(fd);
        }
        m_Fillers.clear();
    }
};

// Accepts one connection on a thread and then either reads everything it is sent (Sink),
// or resets the connection once the test calls ResetConnection (Reset), or holds it open
// without reading (Hold).
class TcpPeer {
public:
    enum Mode { Sink, Reset, Hold };

    explicit TcpPeer(Mode mode) : m_Mode(mode) {
        m_Thread = std::thread([this] { Run(); });
    }
    ~TcpPeer() {
        m_Stop = true;
        ::shutdown(m_Listener.Fd(), SHUT_RDWR);
        m_Thread.join();
    }
    uint16_t Port() const { return m_Listener.Port(); }
    std::string Received() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Received;
    }
    bool Closed() const { return m_Closed; }
    // In Reset mode: resets the accepted connection now (the client has seen it connect).
    void ResetConnection() { m_ResetNow = true; }

private:
    void Run() {
        const int fd = ::accept(m_Listener.Fd(), nullptr, nullptr);
        if (fd < 0) {
            return;
        }
        timeval limit{0, 100 * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        if (m_Mode == Reset) {
            while (!m_ResetNow && !m_Stop) {
                ::usleep(1000);
            }
            linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
            ::close(fd);
            return;
        }
        char buffer[65536];
        while (!m_Stop) {
            if (m_Mode == Hold) {
                ::usleep(10 * 1000);
                continue;
            }
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
            if (n > 0) {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Received.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0) {
                m_Closed = true;
                break;
            }
        }
        ::close(fd);
    }

    Mode m_Mode;
    Listener m_Listener;
    std::thread m_Thread;
    std::atomic<bool> m_Stop{false};
    std::atomic<bool> m_Closed{false};
    std::atomic<bool> m_ResetNow{false};
    mutable std::mutex m_Mutex;
    std::string m_Received;
};

}  // namespace networktest
