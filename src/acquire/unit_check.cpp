#include "acquire/unit_check.h"

#include "acquire/read_thread.h"
#include "session/device_session.h"
#include "store/database.h"

#include <QDateTime>
#include <QPointer>

UnitCheck::UnitCheck(DeviceSession& session, ProductDatabase& database, ResultsDatabase* results,
                     UnitCheckOptions options, QObject* parent)
    : QObject(parent), session_(&session), database_(database), results_store_(results),
      options_(std::move(options)), verdict_(options_.settleCycles) {
    if (options_.maxCycles <= 0) options_.maxCycles = options_.settleCycles + 2;
    if (options_.points.isEmpty()) options_.points = {options_.point};
    // A check speaks the protocol of the model's scheme; the record says which.
    std::optional<Scheme> scheme;
    if (database_.SelectSchemeOfModel(options_.model, scheme) && scheme)
        protocol_ = ProtocolCaption(scheme->txxy).section(QStringLiteral(": "), 1);
}

UnitCheck::~UnitCheck() {
    // The job holds its own share of the loop and its end finds this object gone.
    if (running_ && session_) session_->Cancel();
}

bool UnitCheck::Start() {
    if (running_ || options_.addresses.isEmpty() || !session_ || !session_->isIdle()) return false;
    next_ = 0;
    point_ = 0;
    stopped_ = false;
    results_.clear();
    records_.clear();
    for (int address : options_.addresses) {
        UnitRecord record = options_.identity;
        record.kind = RecordKind::Check;
        record.model = options_.model;
        record.address = address;
        const qsizetype i = records_.size();
        if (i < options_.serials.size()) record.serial = options_.serials[i].trimmed();
        if (!protocol_.isEmpty()) record.protocol = protocol_;
        record.started = QDateTime::currentDateTime();
        records_.append(record);
    }
    if (Points().size() > 1) {
        running_ = true;
        waiting_ = true;
        emit pointNeeded(0, Points()[0]);
        return true;
    }
    running_ = StartUnit();
    return running_;
}

void UnitCheck::Continue() {
    if (!running_ || !waiting_) return;
    waiting_ = false;
    next_ = 0;
    if (!StartUnit()) {
        stopped_ = true;
        StoreAll();
    }
}

void UnitCheck::Stop() {
    if (!running_ || stopped_) return;
    stopped_ = true;
    if (waiting_) {
        // No job runs while the operator sets the source: the run ends here.
        waiting_ = false;
        StoreAll();
        return;
    }
    if (session_) session_->Cancel();
}

bool UnitCheck::StartUnit() {
    const int address = options_.addresses[next_];
    auto loop = std::make_shared<Thread_Read>(database_, options_.dataFolder, quint8(address),
                                              options_.model, options_.configDataMode);
    loop->SetTestPoint(Points()[point_]);
    connect(
        loop.get(), &Thread_Read::ShowRows, this,
        [this](int firstRow, const QList<AcquiredRow>& rows, bool, bool) { Rows(firstRow, rows); },
        Qt::QueuedConnection);
    connect(loop.get(), &Thread_Read::CycleEnded, this, &UnitCheck::CycleEnded,
            Qt::QueuedConnection);
    if (!session_) return false;
    const bool started = session_->Submit(
        DeviceSession::State::Checking, tr("检查数据"),
        [loop](JobContext& job) mutable {
            loop->Run(job);
            // The loop belongs to this thread: its last share goes back here to be deleted.
            job.Post([last = std::move(loop)] {});
        },
        [self = QPointer<UnitCheck>(this)] {
            if (self) self->UnitDone();
        });
    if (!started) return false;
    loop_ = std::move(loop);
    shown_.clear();
    verdict_ = SettledVerdict(options_.settleCycles);
    cycles_ = 0;
    giving_up_ = false;
    emit unitStarted(address);
    return true;
}

void UnitCheck::Rows(int firstRow, const QList<AcquiredRow>& rows) {
    // Data rows start at grid row 2, as the page shows them.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const qsizetype index = firstRow + i - 2;
        if (index < 0) continue;
        if (index >= shown_.size()) shown_.resize(index + 1);
        shown_[index] = rows[i];
    }
}

void UnitCheck::CycleEnded(bool failed) {
    if (giving_up_ || stopped_) return;
    ++cycles_;
    verdict_.CycleEnded(failed, shown_);
    emit cycleEnded(options_.addresses[next_], verdict_.goodCycles(), verdict_.settleCycles());
    if (verdict_.settled() || cycles_ >= options_.maxCycles) {
        giving_up_ = true;
        if (session_) session_->Cancel();
    }
}

void UnitCheck::UnitDone() {
    loop_.reset();
    UnitRecord& record = records_[next_];
    AddPointToRecord(record, Points()[point_], verdict_);
    record.ended = QDateTime::currentDateTime();
    const bool lastPoint = point_ + 1 >= Points().size();
    if (lastPoint && !stopped_) {
        // The unit is done: its record goes in now, as a single check's always did.
        UnitCheckResult result;
        result.cycles = cycles_;
        result.lines = verdict_.lines();
        Record(next_, result);
    }
    if (stopped_) return StoreAll();
    if (++next_ < options_.addresses.size()) {
        if (StartUnit()) return;
        stopped_ = true;
        return StoreAll();
    }
    if (!lastPoint) {
        ++point_;
        waiting_ = true;
        emit pointNeeded(point_, Points()[point_]);
        return;
    }
    running_ = false;
    emit finished();
}

void UnitCheck::StoreAll() {
    // The units not yet recorded and checked at least once: one that lacks the point the run
    // stopped at gets it unsettled, so that an unfinished plan never passes.
    for (qsizetype i = results_.size(); i < records_.size(); ++i) {
        UnitRecord& record = records_[i];
        if (record.points.isEmpty()) continue;
        if (record.points.size() == point_)
            AddPointToRecord(record, Points()[point_], SettledVerdict(options_.settleCycles));
        record.ended = QDateTime::currentDateTime();
        Record(i, {});
    }
    running_ = false;
    emit finished();
}

void UnitCheck::Record(qsizetype index, UnitCheckResult result) {
    UnitRecord& record = records_[index];
    result.address = options_.addresses[index];
    if (results_store_) {
        result.stored = results_store_->Add(record);
        if (!result.stored) result.storeError = results_store_->lastError();
    }
    result.record = record;
    results_.append(result);
    emit unitEnded(result);
}
