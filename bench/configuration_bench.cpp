// Figures of a configuration download against kx7410-sim on a pseudo-terminal: the four user
// blocks with their 2000 ms waits, the calibration block and an output list of 60 addresses, as
// the calibration page sends them. Prints the wall time, the ideal (the waits plus the read
// windows of the exchanges, which every write waits out because the replies are shorter than the
// read sizes) and their ratio, the longest stall of this (GUI) thread's event loop while the
// download runs as a job of a device session, as the window runs it, and the CPU time the
// process used.
//
// Usage: configuration_bench [runs]

#include "calib/configuration_blocks.h"
#include "link/modbus.h"
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
#include <sys/resource.h>

namespace {

// Forwards to the real link and adds up the windows of the exchanges.
class CountingLink : public Link {
public:
    explicit CountingLink(Link& link) : link_(link) {}
    long long idealMs = 0;
    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override {
        idealMs += params.pauseMs + params.ReadWindowMs();
        return link_.Transact(request, params);
    }
    bool IsOpen() const override { return link_.IsOpen(); }

private:
    Link& link_;
};

// The job's waits, as the window's download waits; the steps go to the GUI thread as posts.
class WaitingProgress : public DownloadProgress {
public:
    explicit WaitingProgress(JobContext& job) : job_(job) {}
    long long waitedMs = 0;
    void Step() override {
        job_.Post([] {});
    }
    void Wait(int ms) override {
        job_.Wait(ms);
        waitedMs += ms;
    }

private:
    JobContext& job_;
};

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
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
    ConfigurationFields fields;
    fields.tariffs = 4;
    fields.pulseConstant = 3600;
    CalibrationFields calibration;
    calibration.ratedVoltage = 220;
    calibration.ratedCurrent = 5;
    calibration.serialNumbers = {"1306", "1701", "0001"};
    calibration.hardwareVersions = {"0001", "0002", "0003"};
    calibration.modelName = QStringLiteral("KX2953B35-01");
    std::vector<uint16_t> addresses;
    for (int k = 0; k < 60; ++k)
        addresses.push_back(uint16_t(4000 + k));
    const std::vector<uint16_t> list = OutputListBlock(addresses);
    for (int run = 1; run <= runs; ++run) {
        CountingLink link(serial);
        DeviceSession session(link);
        bool ok = false;
        long long waitedMs = 0;
        StallMeter stall;
        const double cpuBefore = CpuMs();
        QElapsedTimer timer;
        timer.start();
        // The blocks are formed on this thread before the job starts, as the window forms them.
        const ConfigurationBlocks blocks = BuildConfigurationBlocks(fields, calibration);
        QEventLoop loop; // this program's own event loop while the job runs, as a window's
        long long wall = 0;
        session.Submit(
            DeviceSession::State::Busy, QStringLiteral("下载配置"),
            [&](JobContext& job) {
                WaitingProgress progress(job);
                bool written = WriteConfigurationBlocks(job.link(), 1, blocks, progress);
                written = written && WriteCalibrationRegisters(job.link(), 1, kOutputListRegister,
                                                               uint16_t(list.size()), list);
                progress.Wait(10);
                ok = written;
                waitedMs = progress.waitedMs;
            },
            [&] {
                wall = timer.elapsed();
                loop.quit();
            });
        loop.exec();
        const double cpu = CpuMs() - cpuBefore;
        const long long ideal = link.idealMs + waitedMs;
        std::printf("run %d: %s, wall %lld ms, ideal %lld ms (waits %lld + windows %lld), "
                    "ratio %.4f; longest GUI-thread stall %lld ms; CPU %.0f ms (%.2f %% of a "
                    "core, the stall meter's own ticks included)\n",
                    run, ok ? "ok" : "FAILED", wall, ideal, waitedMs, link.idealMs,
                    ideal > 0 ? double(wall) / double(ideal) : 0.0, qint64(stall.longestMs), cpu,
                    wall > 0 ? 100.0 * cpu / double(wall) : 0.0);
    }
    return 0;
}
