#pragma once
// Thread_Readqx: the reading loop of the curve page, run as a job of the device session. It reads
// the module's curve block (22 registers from 7035) once per cycle with a pause (100 ms unless
// Config.ini says otherwise; a cancel cuts it short) and hands
// the thirteen plotted words of every good read to the window; a failed read hands over the
// failure text instead.
//
// Threads: construct and destroy on the GUI thread; Run is the session's worker. ShowCurvePoint
// and ShowStatusText are emitted on the worker: connect them queued to an object of the GUI
// thread (the loop never waits for the window, which may itself be waiting for the job).

#include "store/settings.h"

#include <QElapsedTimer>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

class JobContext;

inline constexpr uint16_t kCurveFirstRegister = 7035;
inline constexpr uint16_t kCurveRegisterCount = 22;
inline constexpr int kCurveSeriesCount = 13;

using CurveValues = std::array<uint16_t, kCurveSeriesCount>;

// The word of the curve block that series k plots: words 0..2 (active powers), 4..6 (reactive
// powers) and 15..21 (frequency, voltages, currents); the others are read and ignored.
int CurveWordIndex(int series);
// The thirteen plotted words of a block of at least 22 words, in series order.
CurveValues CurveValuesOfBlock(const std::vector<uint16_t>& words);

// "发送：5    接收：3" after a good read, "发送：5    接收数据无返回！" after a failed one.
QString CurveStatusText(int sent, int received);
QString CurveFailureText(int sent);

// The bottom axis maximum of the point-index axis once pointCount points are plotted: 100 up to
// the 100th point, then the count + 5.
int CurveAxisMaximum(int pointCount);

// One good read as the window gets it.
struct CurvePoint {
    CurveValues values{};
    int pointCount = 0; // points in each series including this one
    int sent = 0;
    int received = 0;
    qint64 wallClockMs = 0; // when the reply came, ms since the epoch (never goes backwards)
};
Q_DECLARE_METATYPE(CurvePoint)

class Thread_Readqx : public QObject {
    Q_OBJECT
public:
    // address is the module address at the start.
    // poll: fast polling and the pause between cycles (Config.ini's SetCheck).
    explicit Thread_Readqx(quint8 address, PollSettings poll = {}, QObject* parent = nullptr);

    // The whole reading, on the session's worker, over job.link() until the job is cancelled. A
    // cancel lets the request on the line finish (and its result be handed over) and starts no
    // further one.
    void Run(JobContext& job);

    // True from the start of a cycle until its result has been handed over.
    bool IsBusy() const { return curveBusy_.load(); }

    // Counters since the start (any thread).
    int SentCount() const { return sent_.load(); }
    int ReceivedCount() const { return received_.load(); }
    int PointCount() const { return points_.load(); }

signals:
    void ShowCurvePoint(const CurvePoint& point);
    // The failure text of a read that brought no good reply.
    void ShowStatusText(const QString& text);

private:
    void RunCycle(JobContext& job);

    const quint8 address_;
    const PollSettings poll_;

    std::atomic<bool> curveBusy_{false};
    std::atomic<int> sent_{0};
    std::atomic<int> received_{0};
    std::atomic<int> points_{0};

    // Touched only by Run.
    qint64 startWallMs_ = 0;
    QElapsedTimer elapsed_;
};
