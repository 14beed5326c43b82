#pragma once
// A 1 ms timer on the calling thread: the longest gap between two ticks is the longest time the
// event loop could not paint a window. Construct it on the thread whose stalls it measures.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

class StallMeter : public QObject {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this,
                         [this] { longestMs = std::max(longestMs, since_.restart()); });
        since_.start();
        timer_.start(1);
    }
    // The bench's own blocking work on this thread does not count.
    void Skip() { since_.restart(); }
    qint64 longestMs = 0;

private:
    QTimer timer_;
    QElapsedTimer since_;
};
