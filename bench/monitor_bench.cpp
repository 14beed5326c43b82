// monitor_bench: the cost of the traffic monitor. The time the link spends recording one typical
// Modbus exchange (8-byte request, 125-byte reply: a read of 60 registers), the resident memory of
// a full log of 100 000 exchanges, and the longest stall of the GUI thread with the 通信监视 dock
// visible: while another thread records at the fastest polling rate and faster, and while the
// shown dock catches up with a full log.
// Usage: monitor_bench [seconds]   (default 10 per live run), offscreen unless told otherwise.

#include "gui/monitor/traffic_panel.h"
#include "link/modbus_frames.h"
#include "stall_meter.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QRegularExpression>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// VmRSS of /proc/self/status in MB.
double ResidentMb() {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(file.readAll());
    const auto match = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(text);
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
}

// A read of 60 registers from module 1 and its 125-byte reply.
struct TypicalExchange {
    std::vector<uint8_t> request = BuildReadRequest(1, kFcReadRegisters, 0, 60);
    std::vector<uint8_t> reply;
    TypicalExchange() {
        reply = {0x01, kFcReadRegisters, 120};
        for (int i = 0; i < 120; ++i)
            reply.push_back(static_cast<uint8_t>(i * 7));
        const uint16_t crc = Crc16(reply);
        reply.push_back(static_cast<uint8_t>(crc & 0xFF));
        reply.push_back(static_cast<uint8_t>(crc >> 8));
    }
};

// What the link does per exchange: the bytes it sent and received, judged, into the log.
void RecordOne(TrafficLog& log, const TypicalExchange& typical, int64_t startedMs) {
    Exchange e;
    e.startedMs = startedMs;
    e.protocol = WireProtocol::Modbus;
    e.request = typical.request;
    e.reply = typical.reply;
    e.roundTripUs = 70000;
    e.outcome = ClassifyExchange(e.protocol, e.request, e.reply, e.knownLength);
    log.Record(std::move(e));
}

void RunEventsFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Another thread records one exchange every periodUs for seconds while the GUI thread runs its
// event loop with the dock visible; returns the longest stall.
qint64 LiveStall(TrafficLog& log, const TypicalExchange& typical, int periodUs, int seconds,
                 TrafficPanel& panel, uint64_t* recorded) {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    uint64_t count = 0;
    std::thread link([&] {
        auto next = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex);
        while (!stop) {
            RecordOne(log, typical, QDateTime::currentMSecsSinceEpoch());
            ++count;
            next += std::chrono::microseconds(periodUs);
            wake.wait_until(lock, next, [&] { return stop; });
        }
    });
    StallMeter stall;
    RunEventsFor(1000 * seconds);
    const qint64 longest = stall.longestMs; // the stop and join below are the bench's own
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    wake.notify_all();
    link.join();
    RunEventsFor(2 * TrafficPanel::kRefreshIntervalMs); // the last exchanges reach the view
    *recorded = count;
    if (panel.lastSeen() != log.lastSequence())
        std::printf("monitor live: the view is %llu exchanges behind\n",
                    static_cast<unsigned long long>(log.lastSequence() - panel.lastSeen()));
    return longest;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const TypicalExchange typical;
    const std::size_t capacity = TrafficLog::kDefaultCapacity;

    // Memory: the process before the log, then with a full ring.
    const double before = ResidentMb();
    TrafficLog log(capacity);
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    for (std::size_t i = 0; i < capacity; ++i)
        RecordOne(log, typical, now);
    const double full = ResidentMb();
    std::printf("monitor memory: %.1f MB before, %.1f MB with a full log of %zu exchanges "
                "(%.0f bytes per exchange)\n",
                before, full, capacity, (full - before) * 1024 * 1024 / double(capacity));

    // Recording in the steady state of a full ring: every exchange replaces the oldest.
    const int rounds = 200000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rounds; ++i)
        RecordOne(log, typical, now);
    const double recordUs = double(clock.nsecsElapsed()) / 1000.0 / rounds;
    clock.restart();
    for (int i = 0; i < rounds; ++i)
        (void)ClassifyExchange(WireProtocol::Modbus, typical.request, typical.reply);
    const double classifyUs = double(clock.nsecsElapsed()) / 1000.0 / rounds;
    std::printf("monitor record: %.2f us/exchange (target < 20), of which judging %.2f us\n",
                recordUs, classifyUs);
    clock.restart();
    std::size_t decoded = 0;
    for (int i = 0; i < rounds; ++i)
        decoded += DecodeFrame(WireProtocol::Modbus, false, typical.reply).size();
    const double decodeUs = double(clock.nsecsElapsed()) / 1000.0 / rounds;
    std::printf("monitor decode: %.2f us/frame, %zu characters each (only for the lines shown)\n",
                decodeUs, decoded / rounds);

    // Catch-up: the dock is shown with a full log it has not seen.
    QMainWindow window;
    window.resize(1200, 700);
    auto* panel = new TrafficPanel(log, &window);
    window.addDockWidget(Qt::BottomDockWidgetArea, panel);
    panel->hide();
    window.show();
    RunEventsFor(200);
    const double windowShown = ResidentMb();
    {
        StallMeter stall;
        RunEventsFor(100);
        clock.restart();
        panel->show();
        while (panel->lastSeen() < log.lastSequence())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        const qint64 catchUpMs = clock.elapsed();
        RunEventsFor(100);
        std::printf("monitor catch-up on show: %zu exchanges in %lld ms, longest stall %lld ms "
                    "(target < 50)\n",
                    log.size(), static_cast<long long>(catchUpMs),
                    static_cast<long long>(stall.longestMs));
    }
    const double dockFull = ResidentMb();
    std::printf("monitor memory: %.1f MB with the window shown and the dock hidden, %.1f MB with "
                "the dock holding %zu exchanges (%.0f bytes per exchange)\n",
                windowShown, dockFull, panel->model()->exchangeCount(),
                (dockFull - windowShown) * 1024 * 1024 / double(panel->model()->exchangeCount()));

    // Live: the dock full, the oldest lines going as new ones come.
    const struct {
        const char* name;
        int periodUs;
    } rates[] = {{"fastest polling, one per 140 ms", 140000}, {"stress, one per 2 ms", 2000}};
    for (const auto& rate : rates) {
        uint64_t recorded = 0;
        const qint64 longest = LiveStall(log, typical, rate.periodUs, seconds, *panel, &recorded);
        std::printf("monitor live (%s): %llu exchanges in %d s, longest stall %lld ms "
                    "(target < 50)\n",
                    rate.name, static_cast<unsigned long long>(recorded), seconds,
                    static_cast<long long>(longest));
    }

    // Hidden, the dock costs nothing: its timer does not run.
    panel->hide();
    std::printf("monitor hidden: refresh timer %s\n", panel->isPolling() ? "RUNNING" : "stopped");
    return 0;
}
