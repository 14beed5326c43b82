// Figures of the serial link against the simulated module on a pseudo-terminal:
//  - mean time of ReadRegisters of 60 registers, and its ratio to the read window (612 ms) that
//    every such read costs by design; the link itself should add under 2 %;
//  - the same read with fast polling, against what the wire allows;
//  - CPU time of this process while DelayMs(2000) waits (the wait must not spin a core).
// Usage: link_bench [cycles]   (the simulator is started from the build's bin folder)

#include "link/delay.h"
#include "link/modbus.h"
#include "link/serial_link.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 20;
    QTemporaryDir dir;
    const QString linkPath = dir.filePath("ttyBench");
    QProcess sim;
    sim.setProgram(QDir(QCoreApplication::applicationDirPath()).filePath("kx7410-sim"));
    // Paced replies: the simulator answers at the speed of a real 9600-baud line.
    sim.setArguments({"--link", linkPath, "--address", "1", "--pace"});
    sim.start();
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    sim.readLine();

    SerialLink link;
    if (!link.Open(linkPath, 3, 0, 2, 0)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(linkPath));
        return 1;
    }
    std::vector<uint16_t> values;
    ReadRegisters(link, 1, 0, 60, values); // warm-up
    int ok = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < cycles; ++i)
        ok += ReadRegisters(link, 1, 0, 60, values) ? 1 : 0;
    const double meanMs = double(timer.nsecsElapsed()) / 1e6 / cycles;
    std::printf("ReadRegisters(60): %d cycles, %d answered, mean %.1f ms, window 612 ms, "
                "ratio %.4f\n",
                cycles, ok, meanMs, meanMs / 612.0);

    // The same read polled fast: it ends with the reply's last byte, 8 + 125 bytes at 1.042 ms
    // and the simulator's 3 ms turnaround being what the wire allows.
    PollingLink fast(link, true);
    ok = 0;
    timer.restart();
    for (int i = 0; i < cycles; ++i)
        ok += ReadRegisters(fast, 1, 0, 60, values) ? 1 : 0;
    const double fastMs = double(timer.nsecsElapsed()) / 1e6 / cycles;
    const double wireMs = 133 * 10000.0 / 9600.0 + 3;
    std::printf("ReadRegisters(60), fast polling: %d cycles, %d answered, mean %.1f ms, wire "
                "limit %.1f ms, ratio %.3f\n",
                cycles, ok, fastMs, wireMs, fastMs / wireMs);

    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const int waited = DelayMs(2000);
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf(
        "DelayMs(2000): returned %d ms after %lld ms wall, CPU %.1f ms (%.2f %% of a core)\n",
        waited, wall.elapsed(), cpu * 1000, 100.0 * cpu / (double(wall.elapsed()) / 1000));

    link.Close();
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
