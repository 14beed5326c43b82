#include "acquire/curve_thread.h"

#include "link/modbus.h"

#include <QDateTime>
#include <QEventLoop>
#include <chrono>

int CurveWordIndex(int series) {
    if (series < 3) return series;
    if (series < 6) return series + 1;
    return series + 9;
}

CurveValues CurveValuesOfBlock(const std::vector<uint16_t>& words) {
    CurveValues values{};
    for (int k = 0; k < kCurveSeriesCount; ++k)
        values[k] = words.at(static_cast<std::size_t>(CurveWordIndex(k)));
    return values;
}

QString CurveStatusText(int sent, int received) {
    return QStringLiteral("发送：") + QString::number(sent) + QStringLiteral("    接收：") +
           QString::number(received);
}

QString CurveFailureText(int sent) {
    return QStringLiteral("发送：") + QString::number(sent) +
           QStringLiteral("    接收数据无返回！");
}

int CurveAxisMaximum(int pointCount) {
    return pointCount > 100 ? pointCount + 5 : 100;
}

Thread_Readqx::Thread_Readqx(Link& link, quint8 address, QObject* parent)
    : QThread(parent), link_(link), address_(address) {
    qRegisterMetaType<CurvePoint>();
}

Thread_Readqx::~Thread_Readqx() {
    Stop();
}

void Thread_Readqx::Stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (isRunning() && QThread::currentThread() != this) {
        // The thread may be waiting for this thread to take a point: keep events flowing until
        // it has said its last word. RunEnded comes after done_ is set, so a false done_ seen
        // here means the quit is still to come.
        QEventLoop loop;
        connect(this, &Thread_Readqx::RunEnded, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        if (!done_.load()) loop.exec();
    }
    if (QThread::currentThread() != this) wait();
}

void Thread_Readqx::Pause(int ms) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !running_.load(); });
}

void Thread_Readqx::RunCycle() {
    const int sent = ++sent_;
    std::vector<uint16_t> words;
    std::size_t delivered = 0;
    // A reply that carries fewer than the 22 words is no reading of the block: plotting it would
    // draw words the module never sent.
    const bool ok = ReadRegisters(link_, address_, kCurveFirstRegister, kCurveRegisterCount, words,
                                  &delivered) &&
                    delivered >= kCurveRegisterCount;
    if (!ok) {
        emit ShowStatusText(CurveFailureText(sent));
        return;
    }
    CurvePoint point;
    point.received = ++received_;
    point.values = CurveValuesOfBlock(words);
    point.pointCount = ++points_;
    point.sent = sent;
    point.wallClockMs = startWallMs_ + elapsed_.elapsed();
    emit ShowCurvePoint(point);
}

void Thread_Readqx::run() {
    // Wall-clock stamps from the start time plus a steady clock, so that a clock step of the
    // system never makes the time axis run backwards.
    startWallMs_ = QDateTime::currentMSecsSinceEpoch();
    elapsed_.start();
    while (running_.load()) {
        curveBusy_ = true;
        RunCycle();
        curveBusy_ = false;
        Pause(kCyclePauseMs);
    }
    curveBusy_ = false;
    done_ = true;
    emit RunEnded();
}
