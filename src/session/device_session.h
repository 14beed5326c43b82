#pragma once
// The device session: owns the worker thread on which every device operation runs as a job, one
// at a time (the check and curve loops, downloads, read-backs, calibration steps, switches,
// clock, clears), over the link it is given. A job reports log lines, progress and whatever else
// it has through queued signals or posted calls, and ends when its work returns; a cancel makes
// its next transaction fail without reaching the line and cuts its waits short, so it stops at a
// transaction boundary.
//
// Threads: construct, Submit, Cancel, state queries and destroy on the thread that owns the
// session (the GUI thread in the program); the work of a job runs on the worker. Signals are
// emitted on the owner's thread, except logLine and progress, which the worker emits (connect
// them to objects of the owner's thread: they arrive queued).

#include "link/link.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class DeviceSession;

// What a job's work sees of the session, on the worker thread.
class JobContext {
public:
    // The session's link; once the job is cancelled every transaction fails at once, unsent.
    Link& link() { return link_; }
    bool cancelled() const;
    // Sleeps ms milliseconds, or less when the job is cancelled meanwhile; returns what passed.
    int Wait(int ms);
    // A line for the operation's log, and the value of its progress bar.
    void Log(const QString& text);
    void Progress(int value);
    // Runs fn on the session's own thread, after what was posted before.
    void Post(std::function<void()> fn);

private:
    friend class DeviceSession;
    class GuardedLink : public Link {
    public:
        GuardedLink(Link& inner, const std::atomic<bool>& cancel)
            : inner_(inner), cancel_(cancel) {}
        std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                     const TransactParams& params) override;
        bool IsOpen() const override { return inner_.IsOpen(); }

    private:
        Link& inner_;
        const std::atomic<bool>& cancel_;
    };
    explicit JobContext(DeviceSession& session);
    DeviceSession& session_;
    GuardedLink link_;
};

class DeviceSession : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Checking, Curves, Busy };
    Q_ENUM(State)
    using Work = std::function<void(JobContext&)>;

    // link must outlive the session.
    explicit DeviceSession(Link& link, QObject* parent = nullptr);
    // Cancels a running job and joins the worker (at most the rest of one transaction).
    ~DeviceSession() override;

    // Starts work as the one job: kind and operation name what the windows show meanwhile
    // (operation is the button's caption, e.g. "下载配置"). False, with nothing started, while
    // another job runs. done runs on the session's thread once the job has ended and the session
    // is idle again.
    bool Submit(State kind, const QString& operation, Work work, std::function<void()> done = {});
    // Asks the running job to stop at its next transaction boundary; returns at once.
    void Cancel();
    // Blocks until no job runs (tests and shutdown; the window reacts to stateChanged instead).
    void WaitForIdle();

    State state() const { return state_; }
    bool isIdle() const { return state_ == State::Idle; }
    // The running job's operation name, empty when idle.
    QString operation() const { return operation_; }
    bool isCancelling() const { return cancel_.load(); }
    Link& link() { return link_; }

    // "操作正在进行，请稍候！": what a refused second operation says.
    static QString BusyText();

signals:
    void stateChanged(DeviceSession::State state, const QString& operation);
    void logLine(const QString& text);
    void progress(int value);
    // After the job's done has run: whatever it stored is stored (a window waiting to close).
    void jobEnded();

private:
    friend class JobContext;
    void WorkerLoop();
    void Finish(std::function<void()> done);

    Link& link_;
    State state_ = State::Idle;
    QString operation_;

    std::mutex mutex_; // guards work_, quit_, running_
    std::condition_variable wake_;
    Work work_;
    std::function<void()> done_;
    bool quit_ = false;
    bool running_ = false;
    std::condition_variable idle_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
};
