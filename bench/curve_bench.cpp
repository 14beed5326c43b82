// curve_bench: the cost of a long curve reading. The curve page is filled with N points in each
// of its 13 series, then one point is appended to every series and the chart is drawn, both as
// the page's own repaint and rendered to a pixmap; the process's resident memory is printed.
// Usage: curve_bench [N ...]   (default 10000 100000 1000000), offscreen unless told otherwise.

#include "gui/curves/curve_host.h"
#include "gui/curves/curve_page.h"
#include "scripted_link.h"
#include "session/device_session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <qcustomplot.h>
#include <vector>

namespace {

class BenchHost : public CurveHost {
public:
    bool portOpen() const override { return true; }
    quint8 moduleAddress() const override { return 1; }
    Link& link() override { return link_; }
    DeviceSession& session() override { return session_; }
    QString dataFolder() const override { return {}; }
    void SetStatusText(const QString&) override {}
    void SetCurveControls(bool) override {}

private:
    ScriptedLink link_;
    DeviceSession session_{link_};
};

// A field of /proc/self/status in MB.
double StatusMb(const char* field) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(file.readAll());
    const QRegularExpression re(QString::fromLatin1(field) + QStringLiteral(":\\s+(\\d+) kB"));
    const auto match = re.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
}

// Words that wander like measurements, so that the sampling has real work to do.
CurvePoint PointAt(int index, qint64 startMs) {
    CurvePoint p;
    for (int k = 0; k < kCurveSeriesCount; ++k)
        p.values[k] = static_cast<uint16_t>(20000 + 1000 * k + 800 * std::sin(index * 0.01 + k) +
                                            (index * 37) % 97);
    p.pointCount = index + 1;
    p.sent = index + 1;
    p.received = index + 1;
    p.wallClockMs = startMs + 100LL * index;
    return p;
}

struct Figures {
    double medianMs;
    double worstMs;
};

template <typename Step> Figures Measure(int rounds, Step step) {
    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        step(r);
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

void Run(int n) {
    BenchHost host;
    auto page = std::make_unique<CurvePage>(host);
    page->resize(1000, 600);
    page->show();
    QApplication::processEvents();

    const qint64 startMs = 1700000000000;
    QElapsedTimer fill;
    fill.start();
    for (int i = 0; i < n; ++i)
        page->ShowCurvePoint(PointAt(i, startMs));
    const double fillS = static_cast<double>(fill.elapsed()) / 1000.0;
    page->chart()->replot();
    QApplication::processEvents();

    int next = n;
    constexpr int kRounds = 25;
    const Figures repaint = Measure(kRounds, [&](int) {
        page->ShowCurvePoint(PointAt(next++, startMs));
        page->chart()->replot(QCustomPlot::rpImmediateRefresh);
    });
    const Figures pixmap = Measure(kRounds, [&](int) {
        page->ShowCurvePoint(PointAt(next++, startMs));
        const QPixmap image = page->chart()->toPixmap(1000, 600);
        if (image.isNull()) std::fprintf(stderr, "empty pixmap\n");
    });
    page->SetTimeAxis(true);
    const Figures timeAxis = Measure(kRounds, [&](int) {
        page->ShowCurvePoint(PointAt(next++, startMs));
        const QPixmap image = page->chart()->toPixmap(1000, 600);
        if (image.isNull()) std::fprintf(stderr, "empty pixmap\n");
    });

    std::printf("%9d points x 13 series: append + repaint %7.2f ms (worst %7.2f), append + "
                "render to pixmap %7.2f ms (worst %7.2f), the same on the time axis %7.2f ms; "
                "resident %7.1f MB (peak %7.1f MB); filling took %.1f s\n",
                n, repaint.medianMs, repaint.worstMs, pixmap.medianMs, pixmap.worstMs,
                timeAxis.medianMs, StatusMb("VmRSS"), StatusMb("VmHWM"), fillS);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10000, 100000, 1000000};
    std::printf("resident at start %.1f MB\n", StatusMb("VmRSS"));
    for (int n : sizes)
        Run(n);
    return 0;
}
