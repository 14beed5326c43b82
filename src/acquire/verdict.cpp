#include "acquire/verdict.h"

#include <algorithm>
#include <cmath>

SettledVerdict::SettledVerdict(int settleCycles) : settleCycles_(std::max(1, settleCycles)) {}

void SettledVerdict::Reset() {
    goodCycles_ = 0;
    settled_ = false;
    lines_.clear();
    failures_ = 0;
}

bool SettledVerdict::CycleEnded(bool failed, const QList<AcquiredRow>& rows) {
    if (failed) {
        // A cycle that was not answered says nothing of the unit; the count starts again, the
        // verdict already taken stands.
        goodCycles_ = 0;
        return false;
    }
    anyAnswered_ = true;
    if (++goodCycles_ < settleCycles_) return false;
    settled_ = true;
    lines_.clear();
    failures_ = 0;
    for (const AcquiredRow& row : rows) {
        if (row.quantity.isEmpty() && !row.checkFailed) continue;
        VerdictLine line{row.name, row.quantity, row.value, row.unit, row.check, row.checkFailed};
        if (line.failed) ++failures_;
        lines_.append(line);
    }
    return true;
}

Verdict SettledVerdict::verdict() const {
    if (!settled_) return Verdict::None;
    return failures_ == 0 ? Verdict::Pass : Verdict::Fail;
}

void AddPointToRecord(UnitRecord& record, const TestPoint& point, const SettledVerdict& verdict) {
    RecordPoint p;
    p.index = static_cast<int>(record.points.size());
    p.voltagePercent = point.ku * 100;
    p.currentPercent = point.ki * 100;
    p.angle = point.angle;
    p.frequency = point.frequency;
    p.verdict = verdict.anyAnswered() ? verdict.verdict() : Verdict::NotAnswering;
    p.failures = verdict.failures();
    record.points.append(p);
    for (const VerdictLine& line : verdict.lines()) {
        RecordQuantity q;
        q.point = p.index;
        q.name = line.name;
        q.quantity = line.quantity;
        q.text = line.text;
        q.unit = line.unit;
        q.expected = line.check.checked ? line.check.expected : std::nan("");
        q.measured = line.check.checked ? line.check.measured : std::nan("");
        q.error = line.check.checked ? line.check.error : std::nan("");
        q.limit = line.check.checked ? line.check.limit : std::nan("");
        q.passed = !line.failed;
        record.quantities.append(q);
    }
    // The unit's verdict is that of all its points: one that was not answered or never settled
    // keeps the unit from passing.
    record.failures += p.failures;
    Verdict overall = Verdict::Pass;
    for (const RecordPoint& each : record.points) {
        if (each.verdict == Verdict::Fail) {
            overall = Verdict::Fail;
            break;
        }
        if (each.verdict != Verdict::Pass) overall = each.verdict;
    }
    record.verdict = overall;
}
