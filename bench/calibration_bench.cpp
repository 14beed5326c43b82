// Figures of a calibration run against kx7410-sim on a pseudo-terminal: VIP calibration of
// segment 1, voltage phase compensation, compensation reset, the three-pass power compensation and
// the flash write, each a job of a device session with its log lines posted to this (GUI) thread,
// as the calibration page runs them. Prints the wall time, the ideal (the sum of the read windows
// of the transactions, which every exchange waits out because the replies are shorter than the
// read sizes), their ratio, and the longest stall of this thread's event loop while the steps run.
//
// Usage: calibration_bench [runs]

#include "calib/calibration.h"
#include "link/serial_link.h"
#include "session/device_session.h"

#include "sim_process.h"
#include "stall_meter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// Forwards to the real link and adds up the windows of the exchanges.
class CountingLink : public Link {
public:
    explicit CountingLink(Link& link) : link_(link) {}
    std::atomic<long long> idealMs = 0;
    std::atomic<int> exchanges = 0;

    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override {
        idealMs += params.pauseMs + params.ReadWindowMs();
        ++exchanges;
        return link_.Transact(request, params);
    }
    bool IsOpen() const override { return link_.IsOpen(); }

private:
    Link& link_;
};

// Runs step as one job and this thread's event loop until its done; returns its wall time.
qint64 RunStep(DeviceSession& session, const QString& name,
               const std::function<bool(JobContext&)>& step, bool& ok) {
    QEventLoop loop; // this program's own event loop while the job runs, as a window's
    QElapsedTimer timer;
    timer.start();
    qint64 wall = 0;
    bool stepOk = false;
    session.Submit(
        DeviceSession::State::Busy, name, [&](JobContext& job) { stepOk = step(job); },
        [&] {
            wall = timer.elapsed();
            loop.quit();
        });
    loop.exec();
    ok = ok && stepOk;
    return wall;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    SimProcess sim;
    SerialLink serial;
    if (sim.device().isEmpty() || !serial.Open(sim.link(), 3, 0, 2, 0)) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    for (int run = 1; run <= runs; ++run) {
        CountingLink link(serial);
        DeviceSession session(link);
        CalibrationState state;
        int lines = 0;
        // Each line reaches this thread as the page's list would take it.
        const auto log = [&lines](JobContext& job) -> CalibrationLog {
            JobContext* context = &job;
            return [&lines, context](const QString&) { context->Post([&lines] { ++lines; }); };
        };
        sim.command(QStringLiteral("point 100 100 0 50"));
        StallMeter stall;
        bool ok = true;
        qint64 wall = 0;
        wall += RunStep(
            session, QStringLiteral("VIP标定"),
            [&](JobContext& job) { return RunVipCalibration(job.link(), 1, 1, state, log(job)); },
            ok);
        wall += RunStep(
            session, QStringLiteral("电压相位补偿"),
            [&](JobContext& job) {
                return RunAnglePhaseCompensation(job.link(), 1, 1, false, state, log(job));
            },
            ok);
        wall += RunStep(
            session, QStringLiteral("补偿系数复位"),
            [&](JobContext& job) {
                return ResetPowerCompensation(job.link(), 1, 1, false, log(job));
            },
            ok);
        sim.command(QStringLiteral("point angle=60"));
        stall.Skip();
        state.SourceActivePower = 550;
        wall += RunStep(
            session, QStringLiteral("60度功率补偿"),
            [&](JobContext& job) {
                return RunPowerCompensation(job.link(), 1, 1, false, 220, 5, state, log(job));
            },
            ok);
        wall += RunStep(
            session, QStringLiteral("标定完成(清除标定状态标志)"),
            [&](JobContext& job) { return WriteCalibrationFlash(job.link(), 1, log(job)); }, ok);
        const long long ideal = link.idealMs;
        std::printf("calibration run %d: %s, %d exchanges, %d log lines, wall %lld ms, ideal %lld "
                    "ms, ratio %.4f; longest GUI-thread stall %lld ms\n",
                    run, ok ? "complete" : "FAILED", link.exchanges.load(), lines,
                    static_cast<long long>(wall), ideal,
                    ideal > 0 ? double(wall) / double(ideal) : 0.0, qint64(stall.longestMs));
    }
    serial.Stop();
    return 0;
}
