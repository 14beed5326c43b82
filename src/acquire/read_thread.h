#pragma once
// Thread_Read: the reading loop of a data check, run as a job of the device session. It loads the
// inspection settings, the model's scheme and its register list (or the DL/T 645 item table),
// then polls the module in cycles with a pause (SetCheck/PollPauseMs, 100 ms by default; a cancel
// cuts it short) and hands rows and the status line to the window until the job is cancelled.
// With SetCheck/FastPoll (the default) every read ends as soon as its reply is complete.
//
// Threads: construct, SetTestPoint and destroy on the GUI thread; Run is the session's worker.
// ShowRows and ShowStatusLine are emitted on the worker: connect them queued to an object of the
// GUI thread (the loop never waits for the window, which may itself be waiting for the job).

#include "acquire/check.h"
#include "acquire/decode.h"
#include "acquire/rows.h"
#include "store/settings.h"

#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>

class JobContext;
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

class Thread_Read : public QObject {
    Q_OBJECT
public:
    // dataFolder holds Config.ini. database must outlive the loop.
    Thread_Read(ProductDatabase& database, QString dataFolder, quint8 address, QString model,
                bool configDataMode, QObject* parent = nullptr);

    // The whole check, on the session's worker: loads, then polls over job.link() until the job
    // is cancelled. A cancel ends it after the current row or item (at most the read window of
    // the request on the line). After a loading failure it idles until cancelled.
    void Run(JobContext& job);

    // True while loading or inside a cycle.
    bool IsBusy() const { return cycleBusy_.load(); }

    // The test point checks use from now on (the page hands a new one whenever a radio changes).
    void SetTestPoint(const TestPoint& point);
    TestPoint CurrentTestPoint() const;

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
    // A cycle (a register read of all blocks, a poll, a DL/T 645 pass) has ended, after its rows;
    // not emitted for a cycle cut short by a cancel.
    void CycleEnded(bool failed);

private:
    bool Load(QString& failure);
    bool RunCycle(JobContext& job);
    bool ReadModbusCycle(JobContext& job, Link& link, std::vector<uint16_t>& image);
    void Status(bool failed);

    ProductDatabase& database_;
    const QString dataFolder_;
    const quint8 address_;
    const QString model_;
    const bool configDataMode_;

    std::atomic<bool> cycleBusy_{false};
    std::atomic<int> sent_{0};
    std::atomic<int> received_{0};
    std::atomic<int> cycles_{0};
    std::atomic<int> failedCycles_{0};

    mutable std::mutex mutex_; // guards testPoint_ and blocks_
    TestPoint testPoint_;
    QList<RegisterBlock> blocks_;

    // Loaded by Run; touched only on the worker.
    CheckSettings settings_;
    PollSettings poll_;
    SchemeScales scheme_;
    QList<OutputParameter> parameters_;
    QList<Dlt645Item> items_;
    int registerTotal_ = 0;
    bool dlt645Mode_ = false;
    bool rowsBuilt_ = false;
    QString protocolCaption_;
};
