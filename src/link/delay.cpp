#include "link/delay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {
thread_local ThreadWaiter threadWaiter;

int Elapsed(std::chrono::steady_clock::time_point start) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
}
} // namespace

void SetThreadWaiter(ThreadWaiter waiter) {
    threadWaiter = std::move(waiter);
}

int DelayMs(int ms) {
    if (ms < 0) ms = 0;
    if (threadWaiter) return threadWaiter(ms);
    const auto start = std::chrono::steady_clock::now();
    if (QCoreApplication::instance() &&
        QThread::currentThread() == QCoreApplication::instance()->thread()) {
        // Transitional: windows that still wait on their own thread keep painting meanwhile.
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        for (int elapsed = 0; elapsed < ms; elapsed = Elapsed(start)) {
            timer.start(ms - elapsed);
            loop.exec();
        }
        return Elapsed(start);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return Elapsed(start);
}
