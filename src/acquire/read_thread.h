#pragma once
// Thread_Read: the background reading of a data check. It loads the inspection settings, the
// model's scheme and its register list (or the DL/T 645 item table), then polls the module in
// cycles with a 100 ms pause and hands rows and the status line to the window.
//
// Threads: construct, SetTestPoint, Stop and destroy on the GUI thread; run() is the reading
// thread. Connect ShowRows and ShowStatusLine with Qt::BlockingQueuedConnection to an object of
// the GUI thread: the reading thread waits until the window has written what it was given.

#include "acquire/check.h"
#include "acquire/decode.h"
#include "acquire/rows.h"

#include <QList>
#include <QString>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class Link;
class ProductDatabase;

// "通信协议: MODBUS_RTU" and the like; empty for a protocol the thread does not speak.
QString ProtocolCaption(int protocol);

// The status line of row 1 after a cycle. failedCycles, the cycles that failed since the start,
// is added beside the counters once there is one, so that a failure seen once stays on record.
QString StatusLineText(const QString& model, const QString& protocolCaption, int sent, int received,
                       bool failed, int failedCycles = 0);

// Text of row 0 and the first text of row 1 of a freshly prepared grid.
QString GridTitleText();
QString GridInitialStatusText();

class Thread_Read : public QThread {
    Q_OBJECT
public:
    // The pause between cycles, which a stop cuts short.
    static constexpr int kCyclePauseMs = 100;

    // dataFolder holds Config.ini. link and database must outlive the thread.
    Thread_Read(Link& link, ProductDatabase& database, QString dataFolder, quint8 address,
                QString model, bool configDataMode, QObject* parent = nullptr);
    ~Thread_Read() override;

    // True while loading or inside a cycle.
    bool IsBusy() const { return cycleBusy_.load(); }

    // The test point checks use from now on (the page hands a new one whenever a radio changes).
    void SetTestPoint(const TestPoint& point);
    TestPoint CurrentTestPoint() const;

    // Ends the current pass after its current row or item, cuts the pause short, waits for the
    // cycle to end and joins the thread. Called on the GUI thread it waits in a local event loop,
    // so a row the thread is handing over is still written. Safe to call twice and before start.
    void Stop();

    // Counters as the status line shows them (for tests and benchmarks; any thread).
    int SentCount() const { return sent_.load(); }
    int ReceivedCount() const { return received_.load(); }
    // Cycles ended so far, failed or not, and those that failed.
    int CycleCount() const { return cycles_.load(); }
    int FailedCycleCount() const { return failedCycles_.load(); }
    // The register blocks of a cycle, known after loading (register protocols only).
    QList<RegisterBlock> Blocks() const;

signals:
    // Rows of the grid from firstRow on (data rows start at 2). rowsBuilt: the grid already has
    // these rows with their numbers and names. dlt645Mode: mark the row just written.
    void ShowRows(int firstRow, const QList<AcquiredRow>& rows, bool rowsBuilt, bool dlt645Mode);
    // failed: the cycle that just ended failed; the grid's values are those of an earlier cycle.
    void ShowStatusLine(const QString& text, bool failed);
    // Emitted by the reading thread as its last act.
    void RunEnded();

protected:
    void run() override;

private:
    bool Load(QString& failure);
    bool RunCycle();
    bool ReadModbusCycle(std::vector<uint16_t>& image);
    bool Running() const { return running_.load(); }
    void Pause(int ms);
    void Status(bool failed);

    Link& link_;
    ProductDatabase& database_;
    const QString dataFolder_;
    const quint8 address_;
    const QString model_;
    const bool configDataMode_;

    std::atomic<bool> running_{true};
    std::atomic<bool> cycleBusy_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> sent_{0};
    std::atomic<int> received_{0};
    std::atomic<int> cycles_{0};
    std::atomic<int> failedCycles_{0};

    mutable std::mutex mutex_; // guards testPoint_, blocks_ and the pause
    std::condition_variable wake_;
    TestPoint testPoint_;
    QList<RegisterBlock> blocks_;

    // Loaded by the reading thread; touched only there.
    CheckSettings settings_;
    SchemeScales scheme_;
    QList<OutputParameter> parameters_;
    QList<Dlt645Item> items_;
    int registerTotal_ = 0;
    bool dlt645Mode_ = false;
    bool rowsBuilt_ = false;
    QString protocolCaption_;
};
