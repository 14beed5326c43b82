#include "session/device_session.h"

#include "link/delay.h"

#include <QMetaObject>

#include <chrono>

std::optional<std::vector<uint8_t>>
JobContext::GuardedLink::Transact(const std::vector<uint8_t>& request,
                                  const TransactParams& params) {
    if (cancel_.load()) return std::nullopt;
    return inner_.Transact(request, params);
}

JobContext::JobContext(DeviceSession& session)
    : session_(session), link_(session.link_, session.cancel_) {}

bool JobContext::cancelled() const {
    return session_.cancel_.load();
}

int JobContext::Wait(int ms) {
    const auto start = std::chrono::steady_clock::now();
    {
        std::unique_lock lock(session_.mutex_);
        session_.wake_.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
                                [this] { return session_.cancel_.load(); });
    }
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
}

void JobContext::Log(const QString& text) {
    emit session_.logLine(text);
}

void JobContext::Progress(int value) {
    emit session_.progress(value);
}

void JobContext::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(&session_, std::move(fn), Qt::QueuedConnection);
}

DeviceSession::DeviceSession(Link& link, QObject* parent) : QObject(parent), link_(link) {
    qRegisterMetaType<DeviceSession::State>();
    worker_ = std::thread([this] { WorkerLoop(); });
}

DeviceSession::~DeviceSession() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        cancel_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

QString DeviceSession::BusyText() {
    return tr("操作正在进行，请稍候！");
}

bool DeviceSession::Submit(State kind, const QString& operation, Work work,
                           std::function<void()> done) {
    if (state_ != State::Idle || kind == State::Idle) return false;
    {
        std::lock_guard lock(mutex_);
        if (running_ || quit_) return false;
        cancel_ = false;
        running_ = true;
        work_ = std::move(work);
        done_ = std::move(done);
    }
    state_ = kind;
    operation_ = operation;
    wake_.notify_all();
    emit stateChanged(state_, operation_);
    return true;
}

void DeviceSession::Cancel() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        cancel_ = true;
    }
    wake_.notify_all();
}

void DeviceSession::WaitForIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_; });
}

void DeviceSession::Finish(std::function<void()> done) {
    // Posted behind everything the job posted, so a window sees its rows before the end.
    QMetaObject::invokeMethod(
        this,
        [this, done = std::move(done)] {
            state_ = State::Idle;
            operation_.clear();
            emit stateChanged(state_, operation_);
            if (done) done();
            emit jobEnded();
        },
        Qt::QueuedConnection);
}

void DeviceSession::WorkerLoop() {
    // DelayMs in engine code waits like the job's own waits: a cancel cuts it short.
    JobContext context(*this);
    SetThreadWaiter([&context](int ms) { return context.Wait(ms); });
    for (;;) {
        Work work;
        std::function<void()> done;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || work_; });
            if (!work_) return;
            work = std::move(work_);
            done = std::move(done_);
            work_ = nullptr;
            done_ = nullptr;
        }
        try {
            work(context);
        } catch (const std::exception& e) {
            // A job must not take the worker down with it; its log says what happened.
            context.Log(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            context.Log(tr("操作异常结束"));
        }
        {
            std::lock_guard lock(mutex_);
            running_ = false;
        }
        idle_.notify_all();
        Finish(std::move(done));
    }
}
