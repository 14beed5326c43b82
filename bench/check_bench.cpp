// Figures of the data check: the cycle time of a Modbus check of 60 registers against a paced
// kx7410-sim, the longest stall of the GUI thread during a running check and during the export
// of 200 rows, and the cost of decoding and showing the 195 harmonic rows.
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

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

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

// The longest lateness of a 1 ms timer while body runs the event loop.
template <typename Body> double LongestStallMs(Body body) {
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

    // 1. Cycle time against the paced module.
    {
        Sim sim({"--pace"});
        Host host(folder.path(), db, model.cpxh);
        if (!host.serial.Open(sim.link(), 3, 0, 2, 0)) {
            std::fprintf(stderr, "cannot open the simulator's port\n");
            return 1;
        }
        std::vector<uint16_t> list(61, 4000);
        list[0] = 60;
        WriteCalibrationRegisters(host.serial, 1, 11300, 61, list);
        CheckPage page(host);
        page.BitBtn_CheckClick();
        Thread_Read* t = page.readThread();
        if (!QTest::qWaitFor([&] { return t->CycleCount() >= 1; }, 20000))
            std::fprintf(stderr, "no first cycle\n");
        QElapsedTimer clock;
        const int first = t->CycleCount();
        clock.start();
        double stall = LongestStallMs([&] {
            if (!QTest::qWaitFor([&] { return t->CycleCount() >= first + cycles; }, 600000))
                std::fprintf(stderr, "cycles did not complete\n");
        });
        const double perCycle = double(clock.elapsed()) / (t->CycleCount() - first);
        const double ideal = kReadRegistersParams.ReadWindowMs() + 1 + PollSettings{}.pauseMs;
        const int received = t->ReceivedCount(), sent = t->SentCount();
        QElapsedTimer stopClock;
        stopClock.start();
        double stopReturnMs = 0;
        const double stopStall = LongestStallMs([&] {
            page.StopCheck();
            stopReturnMs = stopClock.nsecsElapsed() / 1e6;
            if (!QTest::qWaitFor([&] { return !page.isRunning(); }, 20000))
                std::fprintf(stderr, "the check did not end\n");
        });
        const double stopEndMs = stopClock.nsecsElapsed() / 1e6;
        std::printf("Modbus check, 60 registers, paced module: %.1f ms per cycle over %d cycles, "
                    "ideal %.0f ms, ratio %.3f (target <= 1.03); %d of %d answered\n",
                    perCycle, cycles, ideal, perCycle / ideal, received, sent);
        std::printf("GUI-thread stall during the running check: %.2f ms (target < 50)\n", stall);
        std::printf("Stop: StopCheck returned after %.2f ms, the job ended after %.1f ms, "
                    "GUI-thread stall meanwhile %.2f ms (target < 50)\n",
                    stopReturnMs, stopEndMs, stopStall);
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
