// Figures of a calibration run against kx7410-sim on a pseudo-terminal: VIP calibration of
// segment 1, voltage phase compensation, compensation reset, the three-pass power compensation and
// the flash write, as the calibration page runs them. Prints the wall time, the ideal (the sum of
// the read windows of the transactions, which every exchange waits out because the replies are
// shorter than the read sizes) and their ratio.
//
// Usage: calibration_bench [runs]

#include "calib/calibration.h"
#include "link/serial_link.h"

#include "sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

// Forwards to the real link and adds up the windows of the exchanges.
class CountingLink : public Link {
public:
    explicit CountingLink(Link& link) : link_(link) {}
    long long idealMs = 0;
    int exchanges = 0;

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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 1;
    SimProcess sim;
    SerialLink serial;
    if (sim.device().isEmpty() || !serial.Open(sim.link(), 3, 0, 2, 0)) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    for (int run = 1; run <= runs; ++run) {
        CountingLink link(serial);
        CalibrationState state;
        int lines = 0;
        const CalibrationLog log = [&](const QString&) { ++lines; };
        sim.command(QStringLiteral("point 100 100 0 50"));
        QElapsedTimer timer;
        timer.start();
        bool ok = RunVipCalibration(link, 1, 1, state, log);
        ok = ok && RunAnglePhaseCompensation(link, 1, 1, false, state, log);
        ok = ok && ResetPowerCompensation(link, 1, 1, false, log);
        const qint64 beforePoint = timer.elapsed();
        sim.command(QStringLiteral("point angle=60"));
        const qint64 pointMs = timer.elapsed() - beforePoint; // the bench's own command
        state.SourceActivePower = 550;
        ok = ok && RunPowerCompensation(link, 1, 1, false, 220, 5, state, log);
        ok = ok && WriteCalibrationFlash(link, 1, log);
        const qint64 wall = timer.elapsed() - pointMs;
        std::printf("calibration run %d: %s, %d exchanges, %d log lines, wall %lld ms, ideal %lld "
                    "ms, ratio %.4f\n",
                    run, ok ? "complete" : "FAILED", link.exchanges, lines,
                    static_cast<long long>(wall), link.idealMs,
                    link.idealMs > 0 ? double(wall) / double(link.idealMs) : 0.0);
    }
    serial.Stop();
    return 0;
}
