#pragma once
// Thread_Readqx: the background reading of the curve page. It reads the module's curve block (22
// registers from 7035) once per cycle with a 100 ms pause and hands the thirteen plotted words of
// every good read to the window; a failed read hands over the failure text instead.
//
// Threads: construct, Stop and destroy on the GUI thread; run() is the reading thread. Connect
// ShowCurvePoint and ShowStatusText with Qt::BlockingQueuedConnection to an object of the GUI
// thread: the reading thread waits until the window has taken what it was given.

#include <QElapsedTimer>
#include <QMetaType>
#include <QString>
#include <QThread>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class Link;

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

class Thread_Readqx : public QThread {
    Q_OBJECT
public:
    // The pause between cycles, which a stop cuts short.
    static constexpr int kCyclePauseMs = 100;

    // link must outlive the thread; address is the module address at the start.
    Thread_Readqx(Link& link, quint8 address, QObject* parent = nullptr);
    ~Thread_Readqx() override;

    // True from the start of a cycle until its result has been handed over.
    bool IsBusy() const { return curveBusy_.load(); }

    // Lets the current cycle finish its transaction (never cut short), cuts the pause short and
    // joins the thread. Called on the GUI thread it waits in a local event loop, so a point the
    // thread is handing over is still taken. Safe to call twice and before start.
    void Stop();

    // Counters since the start (any thread).
    int SentCount() const { return sent_.load(); }
    int ReceivedCount() const { return received_.load(); }
    int PointCount() const { return points_.load(); }

signals:
    void ShowCurvePoint(const CurvePoint& point);
    // The failure text of a read that brought no good reply.
    void ShowStatusText(const QString& text);
    // Emitted by the reading thread as its last act.
    void RunEnded();

protected:
    void run() override;

private:
    void RunCycle();
    void Pause(int ms);

    Link& link_;
    const quint8 address_;

    std::atomic<bool> running_{true};
    std::atomic<bool> curveBusy_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> sent_{0};
    std::atomic<int> received_{0};
    std::atomic<int> points_{0};

    // Touched only by the reading thread.
    qint64 startWallMs_ = 0;
    QElapsedTimer elapsed_;

    std::mutex mutex_; // guards the pause
    std::condition_variable wake_;
};
