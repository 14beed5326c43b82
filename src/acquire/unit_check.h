#pragma once
// UnitCheck: the data check of one or more units on one line, address after address, as the
// command line and the real-time page's address list run it. For each address a reading loop
// (Thread_Read) runs as a job of the device session until the readings have settled (a set
// number of consecutive answered cycles) or until the unit has had its cycles; then the next
// address follows. A unit that does not answer is recorded as not answering and the run goes on.
// With the points of a test plan, every unit is checked at the first point, then the run waits
// until the operator has set the reference source to the next one (Continue), and so on; each
// unit's one record holds all its points and is stored after its last.
//
// Threads: construct, Start, Stop and destroy on the session's thread, which must run an event
// loop: the loop's hand-overs and the job's end arrive there, and so do the signals.

#include "acquire/check.h"
#include "acquire/rows.h"
#include "acquire/verdict.h"
#include "session/device_session.h"
#include "store/results.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class ProductDatabase;
class Thread_Read;

struct UnitCheckOptions {
    QString dataFolder; // Config.ini (inspection settings, polling)
    QString model;
    QList<int> addresses;
    TestPoint point;
    // A test plan's points in order; empty: point alone.
    QList<TestPoint> points;
    int settleCycles = kDefaultSettleCycles;
    // The most cycles a unit gets to settle in; 0: settleCycles + 2, so that a unit that fails
    // a cycle or two still settles and a silent one is given up soon.
    int maxCycles = 0;
    bool configDataMode = true; // 读配置数据 (the page's default)
    // Who, where and on which line; address, model, protocol, times and results are filled in.
    UnitRecord identity;
    // The serial number of the unit at each address, in the order of addresses; empty: that of
    // identity for every unit.
    QStringList serials;
};

// One unit's outcome: its record as stored (the verdict: Pass, Fail, NotAnswering, or None when
// its readings never settled) and the lines of its verdict.
struct UnitCheckResult {
    int address = 0;
    UnitRecord record;
    QList<VerdictLine> lines;
    int cycles = 0;
    bool stored = false;
    QString storeError; // why the record could not be stored
};

class UnitCheck : public QObject {
    Q_OBJECT
public:
    // results may be null (nothing is stored). session, database and results must outlive the
    // run.
    UnitCheck(DeviceSession& session, ProductDatabase& database, ResultsDatabase* results,
              UnitCheckOptions options, QObject* parent = nullptr);
    ~UnitCheck() override;

    // Starts with the first address; false, with nothing started, while the session is busy or
    // when there is no address.
    bool Start();
    // Stops at the next transaction boundary: the unit being checked is recorded as it stood (it
    // did not settle) and no further address is checked; every unit's record is stored with the
    // points it has (one that missed the point of the stop gets it unsettled, so that an
    // unfinished plan never passes); finished follows.
    void Stop();
    // The reference source is at the point pointNeeded asked for: the units are checked there.
    void Continue();
    // The plan's point the run waits for or checks (0-based), and whether it waits.
    int pointIndex() const { return point_; }
    bool waitingForPoint() const { return waiting_; }
    bool isRunning() const { return running_; }
    bool wasStopped() const { return stopped_; }
    const QList<UnitCheckResult>& results() const { return results_; }

signals:
    // The reading loop's hand-overs of the unit being checked, for a window that shows its grid.
    void rowsShown(int firstRow, const QList<AcquiredRow>& rows, bool rowsBuilt, bool dlt645Mode);
    void statusShown(const QString& text, bool failed);
    void unitStarted(int address);
    // A plan's run waits until the source is at points[index] (not emitted for the first point
    // of a single-point check).
    void pointNeeded(int index, const TestPoint& point);
    // A cycle of the unit being checked has ended (for progress): good cycles in a row so far.
    void cycleEnded(int address, int goodCycles, int settleCycles);
    void unitEnded(const UnitCheckResult& result);
    void finished();

private:
    bool StartUnit();
    void Rows(int firstRow, const QList<AcquiredRow>& rows);
    void CycleEnded(bool failed);
    void UnitDone();
    const QList<TestPoint>& Points() const { return options_.points; }
    void StoreAll();
    // Stores unit index's record and reports it.
    void Record(qsizetype index, UnitCheckResult result);

    // The session may go first (a window's end): then nothing is cancelled or submitted.
    QPointer<DeviceSession> session_;
    ProductDatabase& database_;
    ResultsDatabase* results_store_;
    UnitCheckOptions options_;
    QString protocol_;
    int next_ = 0;  // index of the address being checked
    int point_ = 0; // index of the point
    bool waiting_ = false;
    QList<UnitRecord> records_; // by address index, the points so far
    bool running_ = false;
    bool stopped_ = false;
    bool giving_up_ = false;
    std::shared_ptr<Thread_Read> loop_;
    QList<AcquiredRow> shown_;
    SettledVerdict verdict_;
    int cycles_ = 0;
    QList<UnitCheckResult> results_;
};
