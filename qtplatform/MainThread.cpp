#include "qtplatform/MainThread.h"

#include <QElapsedTimer>

#include "qtplatform/LogCategories.h"

MainThread::MainThread() : QThread(nullptr) {
    qCDebug(MainThreadLog) << "created";
}

MainThread::~MainThread() {
    qCDebug(MainThreadLog) << "destroyed";
}

void MainThread::run() {
    qCDebug(MainThreadLog) << "starting main loop on thread:" << QThread::currentThreadId();
    const int result = exec();
    qCDebug(MainThreadLog) << "main loop finished with result" << result;
    stopped = true;
}

bool MainThread::waitForStopped(int ms) const {
    qCDebug(MainThreadLog) << "waiting to main loop to stop";
    QElapsedTimer timer;
    timer.start();
    while (!stopped.load()) {
        if (timer.elapsed() >= ms) {
            break;
        }
        QThread::msleep(10);
    }
    const bool hasStopped = stopped.load();
    if (!hasStopped) {
        qCWarning(MainThreadLog) << "main loop didn't stop in" << ms
                                 << "ms, and had to be terminated";
    }
    return hasStopped;
}
