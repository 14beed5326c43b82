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
    stopped_ = false;
    results_.clear();
    running_ = StartUnit();
    return running_;
}

void UnitCheck::Stop() {
    if (!running_ || stopped_) return;
    stopped_ = true;
    if (session_) session_->Cancel();
}

bool UnitCheck::StartUnit() {
    const int address = options_.addresses[next_];
    auto loop = std::make_shared<Thread_Read>(database_, options_.dataFolder, quint8(address),
                                              options_.model, options_.configDataMode);
    loop->SetTestPoint(options_.point);
    connect(
        loop.get(), &Thread_Read::ShowRows, this,
        [this](int firstRow, const QList<AcquiredRow>& rows, bool, bool) { Rows(firstRow, rows); },
        Qt::QueuedConnection);
    connect(loop.get(), &Thread_Read::CycleEnded, this, &UnitCheck::CycleEnded,
            Qt::QueuedConnection);
    if (!session_) return false;
    const bool started = session_->Submit(
        DeviceSession::State::Checking, QStringLiteral("检查数据"),
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
    record_ = options_.identity;
    record_.kind = RecordKind::Check;
    record_.model = options_.model;
    record_.address = address;
    if (next_ < options_.serials.size()) record_.serial = options_.serials[next_].trimmed();
    if (!protocol_.isEmpty()) record_.protocol = protocol_;
    record_.started = QDateTime::currentDateTime();
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
    UnitCheckResult result;
    result.address = options_.addresses[next_];
    result.cycles = cycles_;
    record_.ended = QDateTime::currentDateTime();
    AddPointToRecord(record_, options_.point, verdict_);
    result.lines = verdict_.lines();
    if (results_store_) {
        result.stored = results_store_->Add(record_);
        if (!result.stored) result.storeError = results_store_->lastError();
    }
    result.record = record_;
    results_.append(result);
    emit unitEnded(result);
    if (!stopped_ && ++next_ < options_.addresses.size() && StartUnit()) return;
    running_ = false;
    emit finished();
}
