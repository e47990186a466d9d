#pragma once

#include <QThread>
#include <atomic>

// The Qt thread: a plain Qt event loop on a thread of its own, where every Qt network object
// of the platform lives.
class MainThread : public QThread {
public:
    MainThread();
    ~MainThread() override;

    // Polls every 10 ms until the event loop has returned or `ms` milliseconds have passed;
    // answers whether it has returned.
    bool waitForStopped(int ms) const;
    bool isStopped() const { return stopped.load(); }

protected:
    void run() override;

    std::atomic<bool> stopped{false};
};
