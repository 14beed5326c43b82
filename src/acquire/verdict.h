#pragma once
// The verdict of a unit at one test point, taken once its readings have settled: a set number of
// consecutive answered cycles (SetCheck/SettleCycles). The verdict lists every checked quantity
// of the latest settled cycle with its figures, and every other value shown red; the unit passes
// when none of them failed. Plain values: the page feeds it the rows it shows.
//
// Threads: any, one at a time.

#include "acquire/check.h"
#include "acquire/rows.h"
#include "store/results.h"

#include <QList>
#include <QString>

inline constexpr int kDefaultSettleCycles = 3;

// One line of the verdict panel and of the record.
struct VerdictLine {
    QString name;     // the grid's name
    QString quantity; // the check quantity; empty for a red value that names none
    QString text;     // the value as shown
    QString unit;
    QuantityCheck check;
    bool failed = false;
    bool operator==(const VerdictLine&) const = default;
};

class SettledVerdict {
public:
    explicit SettledVerdict(int settleCycles = kDefaultSettleCycles);

    // Settles afresh (a new test point, a new start); the verdict taken so far is dropped.
    void Reset();
    // A cycle has ended; rows are every data row as shown now. A failed cycle starts the count
    // again. Returns true when this cycle took (or renewed) the verdict.
    bool CycleEnded(bool failed, const QList<AcquiredRow>& rows);

    bool settled() const { return settled_; }
    int goodCycles() const { return goodCycles_; }
    int settleCycles() const { return settleCycles_; }
    // Whether any cycle since the start was answered at all.
    bool anyAnswered() const { return anyAnswered_; }
    // The lines of the verdict taken (empty before the readings settle).
    const QList<VerdictLine>& lines() const { return lines_; }
    int failures() const { return failures_; }
    // None before settling, Pass or Fail after.
    Verdict verdict() const;

private:
    int settleCycles_;
    int goodCycles_ = 0;
    bool settled_ = false;
    bool anyAnswered_ = false;
    QList<VerdictLine> lines_;
    int failures_ = 0;
};

// The record's share of one test point's verdict: its point (index), the quantities, the
// record's verdict and failures (NotAnswering when no cycle was answered, None when the readings
// never settled). Adds to what record already holds, so that a plan's points add up.
void AddPointToRecord(UnitRecord& record, const TestPoint& point, const SettledVerdict& verdict);
