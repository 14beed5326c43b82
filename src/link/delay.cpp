#include "link/delay.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

int DelayMs(int ms) {
    if (ms < 0) ms = 0;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    qint64 elapsed = clock.elapsed();
    // A timer may fire a little early on a coarse clock: wait again for the rest.
    while (elapsed <= ms) {
        timer.start(static_cast<int>(ms + 1 - elapsed));
        loop.exec();
        elapsed = clock.elapsed();
    }
    return static_cast<int>(elapsed);
}
