// Figures of the data check: the cycle time of a Modbus check of 60 registers against a paced
// kx7410-sim with the full windows and with fast polling, beside mbpoll's on the same module, a
// DL/T 645-2007 pass in both modes, the longest stall of the GUI thread during a running check and
// during the export of 200 rows, and the cost of decoding and showing the 195 harmonic rows.
//
// Usage: check_bench [cycles]   (offscreen unless QT_QPA_PLATFORM says otherwise)

#include "acquire/decode.h"
#include "acquire/read_thread.h"
#include "gui/check/check_host.h"
#include "gui/check/check_page.h"
#include "gui/kit/messages.h"
#include "link/modbus.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "session/device_session.h"
#include "store/database.h"
#include "store/ini_file.h"
#include "store/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

const QString kData = QStringLiteral(KX_BIN_DATA_DIR);

class Sim {
public:
    explicit Sim(const QStringList& extra) {
        link_ = dir_.filePath("ttyKX");
        proc_.start(QStringLiteral(KX_SIM_EXE),
                    QStringList{"--link", link_, "--data", kData} + extra);
        proc_.waitForStarted(20000);
        while (!proc_.canReadLine() && proc_.waitForReadyRead(20000)) {
        }
        proc_.readLine();
    }
    ~Sim() {
        proc_.terminate();
        if (!proc_.waitForFinished(20000)) {
            proc_.kill();
            proc_.waitForFinished();
        }
    }
    const QString& link() const { return link_; }

private:
    QTemporaryDir dir_;
    QString link_;
    QProcess proc_;
};

class Host : public CheckHost {
public:
    Host(const QString& folder, ProductDatabase& db, QString model)
        : folder_(folder), db_(db), model_(std::move(model)) {}
    ~Host() override { serial.Stop(); }
    bool portOpen() const override { return true; }
    quint8 moduleAddress() const override { return 1; }
    QString modelText() const override { return model_; }
    int protocol() const override { return 0; }
    Link& link() override { return serial; }
    DeviceSession& session() override { return session_; }
    ProductDatabase& database() override { return db_; }
    QString dataFolder() const override { return folder_; }
    void SetCheckControls(bool) override {}
    SerialLink serial;

private:
    DeviceSession session_{serial};
    QString folder_;
    ProductDatabase& db_;
    QString model_;
};

// A byte of 8N1 at 9600 baud (10 bits), and the turnaround of kx7410-sim --pace.
constexpr double kByteMs = 10.0 * 1000.0 / 9600.0;
constexpr double kSimTurnaroundMs = 3;

struct Cycle {
    double perCycleMs = 0;
    double stallMs = 0;
    int sent = 0;
    int received = 0;
    double stopReturnMs = 0;
    double stopEndMs = 0;
    double stopStallMs = 0;
};

double LongestStallMs(const std::function<void()>& body);

// Runs the check of model against a fresh simulator with FastPoll as given and times cycles of
// it after the first; prepare runs on the open port before the check starts.
Cycle MeasureCycles(const QString& folder, ProductDatabase& db, const QString& model,
                    const QStringList& simArgs, bool fastPoll, int cycles,
                    const std::function<void(SerialLink&)>& prepare) {
    Cycle result;
    WriteIniValues(
        SettingsPath(folder), QStringLiteral("SetCheck"),
        {{QStringLiteral("FastPoll"), fastPoll ? QStringLiteral("1") : QStringLiteral("0")}});
    Sim sim(simArgs);
    Host host(folder, db, model);
    if (!host.serial.Open(sim.link(), 3, 0, 2, 0)) {
        std::fprintf(stderr, "cannot open the simulator's port\n");
        return result;
    }
    if (prepare) prepare(host.serial);
    CheckPage page(host);
    page.BitBtn_CheckClick();
    Thread_Read* t = page.readThread();
    if (!QTest::qWaitFor([&] { return t->CycleCount() >= 1; }, 120000))
        std::fprintf(stderr, "no first cycle\n");
    QElapsedTimer clock;
    const int first = t->CycleCount();
    const int sentBefore = t->SentCount(), receivedBefore = t->ReceivedCount();
    clock.start();
    result.stallMs = LongestStallMs([&] {
        if (!QTest::qWaitFor([&] { return t->CycleCount() >= first + cycles; }, 600000))
            std::fprintf(stderr, "cycles did not complete\n");
    });
    result.perCycleMs = double(clock.elapsed()) / (t->CycleCount() - first);
    result.received = t->ReceivedCount() - receivedBefore;
    result.sent = t->SentCount() - sentBefore;
    QElapsedTimer stopClock;
    stopClock.start();
    result.stopStallMs = LongestStallMs([&] {
        page.StopCheck();
        result.stopReturnMs = stopClock.nsecsElapsed() / 1e6;
        if (!QTest::qWaitFor([&] { return !page.isRunning(); }, 20000))
            std::fprintf(stderr, "the check did not end\n");
    });
    result.stopEndMs = stopClock.nsecsElapsed() / 1e6;
    return result;
}

// mbpoll, the generic Modbus master, polling the same 60 registers of a fresh paced simulator for
// ten seconds with pauseMs between polls; 0 when it is not installed.
double MbpollCycleMs(int pauseMs) {
    if (QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty()) return 0;
    Sim sim({"--pace"});
    {
        SerialLink serial;
        if (!serial.Open(sim.link(), 3, 0, 2, 0)) return 0;
        std::vector<uint16_t> words(61, 4000);
        words[0] = 60;
        WriteCalibrationRegisters(serial, 1, 11300, 61, words);
    }
    QProcess mbpoll;
    mbpoll.start(QStringLiteral("mbpoll"),
                 {"-m", "rtu", "-a", "1", "-r", "1", "-c", "60", "-t", "4", "-b", "9600", "-P",
                  "none", "-l", QString::number(std::max(pauseMs, 11)), sim.link()});
    QElapsedTimer clock;
    clock.start();
    if (!mbpoll.waitForStarted(10000)) return 0;
    // Counted from its first poll, so that its start does not count against it.
    QByteArray out;
    qint64 firstPollMs = -1;
    while (clock.elapsed() < 11000) {
        mbpoll.waitForReadyRead(100);
        out += mbpoll.readAllStandardOutput();
        if (firstPollMs < 0 && out.contains("-- Polling slave")) {
            firstPollMs = clock.elapsed();
            out.clear();
        }
    }
    const qint64 spanMs = clock.elapsed() - firstPollMs;
    out += mbpoll.readAllStandardOutput();
    mbpoll.kill();
    mbpoll.waitForFinished();
    const int polls = int(out.count("-- Polling slave"));
    return firstPollMs >= 0 && polls > 0 ? double(spanMs) / polls : 0;
}

// The longest lateness of a 1 ms timer while body runs the event loop.
double LongestStallMs(const std::function<void()>& body) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    tick.start();
    body();
    tick.stop();
    return std::max<qint64>(0, worst - 1'000'000) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(2, atoi(argv[1])) : 10;
    RecordingMessages messages;

    QTemporaryDir folder;
    QFile::copy(kData + "/Config.ini", folder.filePath("Config.ini"));
    ProductDatabase db(folder.filePath(kDatabaseFile));
    if (!db.Open(kData).isEmpty()) {
        std::fprintf(stderr, "cannot create the database\n");
        return 1;
    }
    // 60 one-register parameters.
    Scheme scheme;
    scheme.fs = QStringLiteral("BENCH60");
    db.CreateSchemeWithParameters(scheme, QStringList(60, QStringLiteral("A相电压")));
    ProductModel model;
    model.cpxh = QStringLiteral("BENCH60");
    model.fs = scheme.fs;
    db.InsertModel(model);

    // 1. Cycle time against the paced module, with the full windows and with fast polling, and
    //    the generic master on the same module for comparison.
    const PollSettings shipped;
    const std::vector<uint16_t> list = [] {
        std::vector<uint16_t> words(61, 4000);
        words[0] = 60;
        return words;
    }();
    const auto prepareModbus = [&](SerialLink& serial) {
        WriteCalibrationRegisters(serial, 1, 11300, 61, list);
    };
    const Cycle windows =
        MeasureCycles(folder.path(), db, model.cpxh, {"--pace"}, false, cycles, prepareModbus);
    const double windowIdeal = kReadRegistersParams.ReadWindowMs() + 1 + shipped.pauseMs;
    std::printf("Modbus check, 60 registers, paced module, FastPoll=0: %.1f ms per cycle over %d "
                "cycles, ideal %.0f ms (612 + 1 + pause), ratio %.3f (target <= 1.03); %d of %d "
                "answered\n",
                windows.perCycleMs, cycles, windowIdeal, windows.perCycleMs / windowIdeal,
                windows.received, windows.sent);
    const Cycle fast =
        MeasureCycles(folder.path(), db, model.cpxh, {"--pace"}, true, cycles, prepareModbus);
    // 8 request bytes and 5 + 120 reply bytes at 1.042 ms a byte, the simulator's 3 ms turnaround
    // and the pause between cycles: what the wire allows.
    const double fastIdeal = (8 + 125) * kByteMs + kSimTurnaroundMs + shipped.pauseMs;
    std::printf("Modbus check, 60 registers, paced module, FastPoll=1: %.1f ms per cycle over %d "
                "cycles, wire limit %.1f ms, ratio %.3f (target <= 1.10); %d of %d answered; "
                "%.1fx faster than FastPoll=0\n",
                fast.perCycleMs, cycles, fastIdeal, fast.perCycleMs / fastIdeal, fast.received,
                fast.sent, windows.perCycleMs / fast.perCycleMs);
    std::printf("GUI-thread stall during the running check: %.2f ms (target < 50)\n",
                std::max(windows.stallMs, fast.stallMs));
    std::printf("Stop: StopCheck returned after %.2f ms, the job ended after %.1f ms, "
                "GUI-thread stall meanwhile %.2f ms (target < 50)\n",
                fast.stopReturnMs, fast.stopEndMs, fast.stopStallMs);
    if (const double mbpoll = MbpollCycleMs(shipped.pauseMs); mbpoll > 0)
        std::printf("mbpoll on the same paced module, 60 registers, %d ms between polls: %.1f ms "
                    "per poll; this check's cycle / mbpoll's = %.3f (target <= 1.0)\n",
                    shipped.pauseMs, mbpoll, fast.perCycleMs / mbpoll);
    else
        std::printf("mbpoll: not installed, no comparison\n");

    // 1b. A DL/T 645-2007 pass of the shipped model, full windows against fast polling.
    {
        const QStringList simArgs{"--pace", "--model", "KX7410D07-01", "--db",
                                  folder.filePath(kDatabaseFile)};
        const Cycle windowPass =
            MeasureCycles(folder.path(), db, QStringLiteral("KX7410D07-01"), simArgs, false, 2, {});
        const Cycle fastPass =
            MeasureCycles(folder.path(), db, QStringLiteral("KX7410D07-01"), simArgs, true, 2, {});
        std::printf("DL/T 645-2007 pass of KX7410D07-01, paced module: FastPoll=0 %.0f ms, "
                    "FastPoll=1 %.0f ms, ratio %.2f; %d of %d and %d of %d items answered\n",
                    windowPass.perCycleMs, fastPass.perCycleMs,
                    windowPass.perCycleMs / fastPass.perCycleMs, windowPass.received,
                    windowPass.sent, fastPass.received, fastPass.sent);
    }

    // 2. Export of 200 rows.
    {
        Host host(folder.path(), db, model.cpxh);
        CheckPage page(host);
        QList<AcquiredRow> rows;
        for (int i = 0; i < 200; ++i)
            rows.append(
                {QStringLiteral("参数%1").arg(i), QStringLiteral("%1.00 V").arg(i), i % 7 == 0});
        QMetaObject::invokeMethod(&page, "ShowRows", Q_ARG(int, 2), Q_ARG(QList<AcquiredRow>, rows),
                                  Q_ARG(bool, false), Q_ARG(bool, false));
        QTemporaryDir out;
        messages.fileNames << out.filePath("bench.xlsx");
        QElapsedTimer clock;
        clock.start();
        const double stall = LongestStallMs([&] {
            page.BitBtn16Click();
            if (!QTest::qWaitFor([&] { return !page.isExporting(); }, 600000))
                std::fprintf(stderr, "the export did not end\n");
        });
        std::printf("Export of 200 rows: %lld ms, GUI-thread stall %.2f ms (target < 50); %s\n",
                    static_cast<long long>(clock.elapsed()), stall,
                    qPrintable(messages.shown.last()));
    }

    // 3. Decoding and showing the 195 harmonic rows.
    {
        Host host(folder.path(), db, model.cpxh);
        CheckPage page(host);
        page.show();
        std::vector<uint16_t> image(kHarmonicRegisterCount);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<uint16_t>(100 + i);
        const int runs = 200;
        const auto pass = [&](bool rowsBuilt) {
            QElapsedTimer clock;
            clock.start();
            const QList<AcquiredRow> rows = ShowHarmonics(image);
            QMetaObject::invokeMethod(&page, "ShowRows", Q_ARG(int, 2),
                                      Q_ARG(QList<AcquiredRow>, rows), Q_ARG(bool, rowsBuilt),
                                      Q_ARG(bool, false));
            return clock.nsecsElapsed();
        };
        const double firstPass = pass(false) / 1e6;
        qint64 total = 0, worst = 0;
        for (int i = 0; i < runs; ++i) {
            image[i % image.size()] ^= 1;
            const qint64 ns = pass(true);
            total += ns;
            worst = std::max(worst, ns);
            QCoreApplication::processEvents(); // let the grid repaint as it would between cycles
        }
        std::printf("195 harmonic rows, decode + ShowRow: first pass %.2f ms, later passes "
                    "%.3f ms average, %.3f ms worst (target < 5)\n",
                    firstPass, total / 1e6 / runs, worst / 1e6);
    }
    return 0;
}
