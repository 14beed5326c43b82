#include "acquire/curve_thread.h"

#include "link/link.h"
#include "link/modbus.h"
#include "session/device_session.h"

#include <QCoreApplication>
#include <QDateTime>

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
    return QCoreApplication::translate("Curves", "发送：%1    接收：%2").arg(sent).arg(received);
}

QString CurveFailureText(int sent) {
    return QCoreApplication::translate("Curves", "发送：%1    接收数据无返回！").arg(sent);
}

int CurveAxisMaximum(int pointCount) {
    return pointCount > 100 ? pointCount + 5 : 100;
}

Thread_Readqx::Thread_Readqx(quint8 address, PollSettings poll, QObject* parent)
    : QObject(parent), address_(address), poll_(poll) {
    qRegisterMetaType<CurvePoint>();
}

void Thread_Readqx::RunCycle(JobContext& job) {
    const int sent = ++sent_;
    std::vector<uint16_t> words;
    std::size_t delivered = 0;
    // A reply that carries fewer than the 22 words is no reading of the block: plotting it would
    // draw words the module never sent.
    PollingLink link(job.link(), poll_.fastPoll);
    const bool ok = ReadRegisters(link, address_, kCurveFirstRegister, kCurveRegisterCount, words,
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

void Thread_Readqx::Run(JobContext& job) {
    // Wall-clock stamps from the start time plus a steady clock, so that a clock step of the
    // system never makes the time axis run backwards.
    startWallMs_ = QDateTime::currentMSecsSinceEpoch();
    elapsed_.start();
    while (!job.cancelled()) {
        curveBusy_ = true;
        RunCycle(job);
        curveBusy_ = false;
        job.Wait(poll_.pauseMs);
    }
    curveBusy_ = false;
}
