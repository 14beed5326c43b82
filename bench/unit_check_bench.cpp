// Figures of a check of many units on one bus: eight modules of a paced kx7410-sim (fast
// polling, one settled cycle each) checked address after address by UnitCheck, against eight
// times the check of one unit on the same line; the same run through kx7410-cli, start-up
// included; and the check of one unit over tcp:// (the simulator serving its line on TCP, as a
// serial device server) against the same over the pseudo-terminal.
//
// Usage: unit_check_bench [runs]

#include "acquire/unit_check.h"
#include "link/serial_link.h"
#include "session/device_session.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr const char* kModel = "KX7410M31-01";

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds of one run of UnitCheck over addresses; -1 when it did not run.
double TimeCheck(SerialLink& link, ProductDatabase& db, const QString& folder,
                 const QList<int>& addresses, int* passed) {
    DeviceSession session(link);
    UnitCheckOptions options;
    options.dataFolder = folder;
    options.model = kModel;
    options.addresses = addresses;
    options.point = TestPoint{1, 1, 0, 50};
    options.settleCycles = 1;
    UnitCheck check(session, db, nullptr, options);
    QObject::connect(&check, &UnitCheck::finished, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QElapsedTimer clock;
    clock.start();
    if (!check.Start()) return -1;
    QCoreApplication::exec();
    const double ms = clock.nsecsElapsed() / 1e6;
    *passed = int(
        std::count_if(check.results().begin(), check.results().end(),
                      [](const UnitCheckResult& r) { return r.record.verdict == Verdict::Pass; }));
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir dir;
    QFile::copy(bin + "/data/Config.ini", dir.filePath("Config.ini"));
    ProductDatabase db(dir.filePath(kDatabaseFile));
    if (const QString error = db.Open(bin + "/data"); !error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString link = dir.filePath("ttyKX");
    QProcess sim;
    sim.start(bin + "/kx7410-sim", {"--link", link, "--data", bin + "/data", "--address", "1-8",
                                    "--model", kModel, "--db", db.filePath(), "--pace"});
    if (!sim.waitForStarted(20000) || !sim.waitForReadyRead(20000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    SerialLink serial;
    if (!serial.Open(link, 3, 0, 2, 0)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(link));
        return 1;
    }
    std::vector<double> one, eight, cli;
    int passed = 0;
    for (int i = 0; i < runs; ++i) {
        one.push_back(TimeCheck(serial, db, dir.path(), {1}, &passed));
        eight.push_back(TimeCheck(serial, db, dir.path(), {1, 2, 3, 4, 5, 6, 7, 8}, &passed));
    }
    serial.Close();
    const int passedOfEight = passed;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        QElapsedTimer clock;
        clock.start();
        p.start(bin + "/kx7410-cli",
                {"--data", dir.path(), "check", "--port", link, "--address", "1-8", "--model",
                 kModel, "--point", "100,100,0,50", "--settle", "1", "--json"});
        p.waitForFinished(120000);
        cli.push_back(clock.nsecsElapsed() / 1e6);
    }
    sim.terminate();
    sim.waitForFinished(20000);

    // The same paced module on TCP: the windows and the fast framing are those of the pty.
    QProcess tcpSim;
    tcpSim.start(bin + "/kx7410-sim", {"--tcp", "0", "--data", bin + "/data", "--model", kModel,
                                       "--db", db.filePath(), "--pace"});
    std::vector<double> overTcp;
    if (tcpSim.waitForStarted(20000) && tcpSim.waitForReadyRead(20000)) {
        const QString url = QString::fromUtf8(tcpSim.readLine()).trimmed();
        SerialLink network;
        if (network.Open(url, 3, 0, 2, 0))
            for (int i = 0; i < runs; ++i)
                overTcp.push_back(TimeCheck(network, db, dir.path(), {1}, &passed));
        network.Close();
    }
    tcpSim.terminate();
    tcpSim.waitForFinished(20000);

    const double m1 = Median(one), m8 = Median(eight), mc = Median(cli);
    std::printf("units passed in the last run of eight:    %d of 8\n", passedOfEight);
    std::printf("one unit, one settled cycle:             %8.1f ms (median of %d)\n", m1, runs);
    std::printf("eight units, one settled cycle each:     %8.1f ms\n", m8);
    std::printf("ratio to eight single-unit checks:       %8.3f (target <= 1.05)\n",
                m1 > 0 ? m8 / (8 * m1) : 0);
    std::printf("kx7410-cli check of eight, start-up incl: %8.1f ms\n", mc);
    const double mt = Median(overTcp);
    std::printf("one unit over tcp://, one settled cycle:  %8.1f ms\n", mt);
    std::printf("ratio to the same over the pty:           %8.3f (target <= 1.05)\n",
                m1 > 0 ? mt / m1 : 0);
    return 0;
}
