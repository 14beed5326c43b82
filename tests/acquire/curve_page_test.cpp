// The curve page offscreen: against kx7410-sim on a real pseudo-terminal (raw words, hidden
// series, failure texts, a stop during an outstanding request) and against a scripted line where
// no pty is needed (the bottom axis rule, pan and zoom, the time axis, the repaint rate).
// Every message box is answered through the message seam.

#include "gui/curves/curve_host.h"
#include "gui/curves/curve_page.h"
#include "gui/kit/messages.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "scripted_link.h"
#include "session/device_session.h"

#include "sim_process.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <qcustomplot.h>

namespace {

class FakeHost : public CurveHost {
public:
    explicit FakeHost(Link& link) : link_(link) {}
    bool open = true;
    quint8 address = 1;
    QStringList statusTexts;
    QList<bool> controls;

    bool portOpen() const override { return open; }
    quint8 moduleAddress() const override { return address; }
    Link& link() override { return link_; }
    DeviceSession& session() override { return session_; }
    QString dataFolder() const override { return {}; } // no Config.ini: the default polling
    void SetStatusText(const QString& text) override { statusTexts << text; }
    void SetCurveControls(bool running) override { controls << running; }

private:
    Link& link_;
    DeviceSession session_{link_};
};

template <typename Pred> bool WaitUntil(Pred pred, int timeoutMs = 30000) {
    return QTest::qWaitFor(pred, timeoutMs);
}

QPushButton* ReadButton(CurvePage& page) {
    return page.findChild<QPushButton*>(QStringLiteral("BitBtn_ReadQX"));
}

// Clicks the start/stop button once it accepts clicks again.
void ClickRead(CurvePage& page) {
    QPushButton* button = ReadButton(page);
    ASSERT_TRUE(WaitUntil([&] { return button->isEnabled(); }));
    button->click();
}

// Stops the reading as the button does and processes events until its job has ended.
bool StopAndWait(CurvePage& page) {
    page.StopCurve();
    return WaitUntil([&] { return !page.isRunning(); });
}

double Value(CurvePage& page, int k, int index) {
    return (page.series(k)->data()->begin() + index)->value;
}
double Key(CurvePage& page, int k, int index) {
    return (page.series(k)->data()->begin() + index)->key;
}

CurvePoint PointOf(int count, uint16_t base = 100, qint64 wallClockMs = 0) {
    CurvePoint p;
    for (int k = 0; k < kCurveSeriesCount; ++k)
        p.values[k] = uint16_t(base + k);
    p.pointCount = count;
    p.sent = count;
    p.received = count;
    p.wallClockMs = wallClockMs;
    return p;
}

// ---- against the simulated module -------------------------------------------------------------

class SimCurve : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sim.device().isEmpty());
        ASSERT_TRUE(serial.Open(sim.link(), 3, 0, 2, 0)); // 9600 8N1, the simulator's default
        page.resize(900, 600);
    }

    SimProcess sim;
    SerialLink serial;
    RecordingMessages messages;
    FakeHost host{serial};
    CurvePage page{host};
};

TEST_F(SimCurve, PointsCarryTheModulesRawWords) {
    // -0.1 W in phase A: the module writes -1 as a two's complement word, 0xFFFF.
    ASSERT_EQ(sim.command(QStringLiteral("point un=100 in=1 u=100 i=0.1 angle=180 freq=50")),
              QStringLiteral("ok"));
    EXPECT_EQ(page.chart()->xAxis->range().upper, 25);
    ClickRead(page);
    EXPECT_TRUE(page.isRunning());
    EXPECT_EQ(ReadButton(page)->text(), QStringLiteral("停止读"));
    EXPECT_EQ(host.controls, QList<bool>{true});
    EXPECT_EQ(page.chart()->xAxis->range().upper, 100);
    ASSERT_TRUE(WaitUntil([&] { return page.pointCount() >= 3; }));
    ClickRead(page);
    // The stop returns at once; the button stays disabled under its stop caption until the job
    // has ended.
    EXPECT_TRUE(page.isRunning());
    EXPECT_TRUE(page.isStopping());
    EXPECT_FALSE(ReadButton(page)->isEnabled());
    EXPECT_EQ(ReadButton(page)->text(), QStringLiteral("停止读"));
    EXPECT_EQ(host.controls, QList<bool>{true});
    ASSERT_TRUE(WaitUntil([&] { return !page.isRunning(); }));
    EXPECT_EQ(ReadButton(page)->text(), QStringLiteral("读曲线"));
    EXPECT_EQ(host.controls, (QList<bool>{true, false}));
    EXPECT_FALSE(ReadButton(page)->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return ReadButton(page)->isEnabled(); }));

    const QList<int> block = sim.registers(7035, 22);
    ASSERT_EQ(block.size(), 22);
    ASSERT_EQ(block[0], 0xFFFF);
    const int n = page.pointCount();
    for (int k = 0; k < kCurveSeriesCount; ++k) {
        ASSERT_EQ(page.series(k)->dataCount(), n) << "series " << k;
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(Key(page, k, i), i);
            EXPECT_EQ(Value(page, k, i), block[CurveWordIndex(k)]) << "series " << k;
        }
    }
    EXPECT_EQ(Value(page, 0, 0), 65535);
    EXPECT_EQ(host.statusTexts.last(), CurveStatusText(n, n));
    EXPECT_TRUE(messages.shown.isEmpty());
    // The points of a stopped reading stay on the chart, the axis as it was.
    EXPECT_EQ(page.chart()->xAxis->range().upper, 100);
}

TEST_F(SimCurve, HiddenSeriesKeepReceivingPoints) {
    auto* frequency = page.findChild<QCheckBox*>(QStringLiteral("CBox_F"));
    ASSERT_NE(frequency, nullptr);
    for (const CurveSeriesSpec& series : CurveSeriesSpecs())
        EXPECT_TRUE(page.findChild<QCheckBox*>(QString::fromLatin1(series.box))->isChecked());
    ClickRead(page);
    ASSERT_TRUE(WaitUntil([&] { return page.pointCount() >= 1; }));
    frequency->click();
    EXPECT_FALSE(page.series(6)->visible());
    const int hiddenAt = page.pointCount();
    ASSERT_TRUE(WaitUntil([&] { return page.pointCount() >= hiddenAt + 3; }));
    frequency->click();
    EXPECT_TRUE(page.series(6)->visible());
    ASSERT_TRUE(StopAndWait(page));
    EXPECT_EQ(page.series(6)->dataCount(), page.pointCount());
    for (int i = 0; i < page.pointCount(); ++i)
        EXPECT_EQ(Value(page, 6, i), 5000); // 50 Hz in 0.01 Hz
}

TEST_F(SimCurve, FailedReadsShowTheSendCountAndAddNoPoint) {
    ASSERT_EQ(sim.command(QStringLiteral("silent on")), QStringLiteral("ok"));
    ClickRead(page);
    ASSERT_TRUE(WaitUntil(
        [&] { return host.statusTexts.contains(QStringLiteral("发送：2    接收数据无返回！")); }));
    EXPECT_EQ(host.statusTexts.first(), QStringLiteral("发送：1    接收数据无返回！"));
    EXPECT_EQ(page.pointCount(), 0);
    ASSERT_EQ(sim.command(QStringLiteral("silent off")), QStringLiteral("ok"));
    ASSERT_TRUE(WaitUntil([&] { return page.pointCount() >= 1; }));
    ASSERT_TRUE(StopAndWait(page));
    // The first good read after k failures: sent k + 1, received 1.
    qsizetype failures = 0;
    while (host.statusTexts[failures].endsWith(QStringLiteral("接收数据无返回！")))
        ++failures;
    EXPECT_GE(failures, 2);
    EXPECT_EQ(host.statusTexts[failures], CurveStatusText(int(failures) + 1, 1));
    EXPECT_EQ(page.series(0)->dataCount(), page.pointCount());
}

TEST_F(SimCurve, StopWaitsForTheOutstandingRequest) {
    ASSERT_EQ(sim.command(QStringLiteral("silent on")), QStringLiteral("ok"));
    ClickRead(page);
    ASSERT_TRUE(WaitUntil([&] { return !host.statusTexts.isEmpty(); }));
    ASSERT_TRUE(WaitUntil([&] { return ReadButton(page)->isEnabled(); }));
    // A cycle is under way: it cannot end before this thread takes its text, so it is still
    // outstanding when the button is clicked.
    Thread_Readqx* thread = page.curveThread();
    ASSERT_TRUE(WaitUntil([&] { return thread->IsBusy() && thread->SentCount() >= 2; }));
    const int sentAtStop = thread->SentCount();
    ReadButton(page)->click();
    EXPECT_TRUE(page.isRunning()); // until the outstanding request has ended
    ASSERT_TRUE(WaitUntil([&] { return !page.isRunning(); }));
    // The outstanding request ran to its time-out and reported it; no request came after.
    EXPECT_EQ(host.statusTexts.last(), CurveFailureText(sentAtStop));
    const QString stats = sim.command(QStringLiteral("stats"));
    EXPECT_TRUE(stats.startsWith(QStringLiteral("ok requests=%1 ").arg(sentAtStop)))
        << stats.toStdString();
    EXPECT_EQ(host.controls, (QList<bool>{true, false}));
}

// ---- against a scripted line ------------------------------------------------------------------

class ScriptedCurve : public ::testing::Test {
protected:
    void SetUp() override {
        page.resize(900, 600);
        page.show();
    }
    void Feed(int from, int to, uint16_t base = 100) {
        for (int i = from; i <= to; ++i)
            page.ShowCurvePoint(PointOf(i, base));
    }

    ScriptedLink link; // silent: every read fails at once
    RecordingMessages messages;
    FakeHost host{link};
    CurvePage page{host};
};

TEST_F(ScriptedCurve, ClosedPortRefusesToStart) {
    host.open = false;
    ReadButton(page)->click();
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("inform: 请打开串口！！")});
    EXPECT_FALSE(page.isRunning());
    EXPECT_TRUE(host.controls.isEmpty());
    EXPECT_EQ(ReadButton(page)->text(), QStringLiteral("读曲线"));
    EXPECT_EQ(link.ExchangeCount(), 0u);
    EXPECT_EQ(page.chart()->xAxis->range().upper, 25);
}

TEST_F(ScriptedCurve, BottomAxisFollowsThePointCountPast100) {
    auto& axis = *page.chart()->xAxis;
    EXPECT_EQ(axis.range().lower, 0);
    EXPECT_EQ(axis.range().upper, 25);
    ClickRead(page);
    EXPECT_EQ(axis.range().upper, 100);
    Feed(1, 100);
    EXPECT_EQ(axis.range().lower, 0);
    EXPECT_EQ(axis.range().upper, 100);
    Feed(101, 101);
    EXPECT_EQ(axis.range().upper, 106);
    Feed(102, 102);
    EXPECT_EQ(axis.range().upper, 107);
    ASSERT_TRUE(StopAndWait(page));
    EXPECT_EQ(page.series(12)->dataCount(), 102);
    EXPECT_EQ(axis.range().upper, 107);
    // A new start clears the series and the axis.
    ClickRead(page);
    EXPECT_EQ(page.pointCount(), 0);
    for (int k = 0; k < kCurveSeriesCount; ++k)
        EXPECT_EQ(page.series(k)->dataCount(), 0);
    EXPECT_EQ(axis.range().upper, 100);
    ASSERT_TRUE(StopAndWait(page));
}

TEST_F(ScriptedCurve, UserZoomStopsFollowingUntilAskedBack) {
    Feed(1, 10);
    auto& axis = *page.chart()->xAxis;
    QPushButton* follow = page.findChild<QPushButton*>(QStringLiteral("BitBtn_Follow"));
    ASSERT_NE(follow, nullptr);
    EXPECT_TRUE(page.isFollowing());
    EXPECT_FALSE(follow->isEnabled());

    // A wheel turn over the plot zooms it.
    QCustomPlot* chart = page.chart();
    const QPointF at = chart->axisRect()->rect().center();
    QWheelEvent wheel(at, chart->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    EXPECT_FALSE(page.isFollowing());
    EXPECT_TRUE(follow->isEnabled());
    const QCPRange zoomed = axis.range();
    EXPECT_LT(zoomed.size(), 100);

    Feed(11, 300);
    EXPECT_EQ(axis.range(), zoomed);
    follow->click();
    EXPECT_TRUE(page.isFollowing());
    EXPECT_EQ(axis.range().lower, 0);
    EXPECT_EQ(axis.range().upper, 305);
    Feed(301, 301);
    EXPECT_EQ(axis.range().upper, 306);
}

TEST_F(ScriptedCurve, LeftAxisCoversTheSeriesShown) {
    CurvePoint p = PointOf(1);
    p.values.fill(10);
    p.values[6] = 5000; // frequency far above the others
    page.ShowCurvePoint(p);
    auto& y = *page.chart()->yAxis;
    EXPECT_LE(y.range().lower, 10);
    EXPECT_GE(y.range().upper, 5000);
    page.findChild<QCheckBox*>(QStringLiteral("CBox_F"))->click();
    EXPECT_LE(y.range().lower, 10);
    EXPECT_LT(y.range().upper, 5000);
}

TEST_F(ScriptedCurve, TimeAxisMovesEveryPointAndBack) {
    const qint64 t0 = 1700000000000;
    const qint64 stamps[] = {t0, t0 + 100, t0 + 350};
    for (int i = 0; i < 3; ++i)
        page.ShowCurvePoint(PointOf(i + 1, 100, stamps[i]));
    auto* toggle = page.findChild<QCheckBox*>(QStringLiteral("CBox_TimeAxis"));
    ASSERT_NE(toggle, nullptr);
    EXPECT_FALSE(page.timeAxis());
    toggle->click();
    EXPECT_TRUE(page.timeAxis());
    for (int k = 0; k < kCurveSeriesCount; ++k)
        for (int i = 0; i < 3; ++i)
            EXPECT_DOUBLE_EQ(Key(page, k, i), double(stamps[i]) / 1000.0);
    EXPECT_DOUBLE_EQ(page.chart()->xAxis->range().lower, double(t0) / 1000.0);
    EXPECT_GT(page.chart()->xAxis->range().upper, double(stamps[2]) / 1000.0);
    // Points arriving meanwhile go on the time axis too.
    page.ShowCurvePoint(PointOf(4, 100, t0 + 500));
    EXPECT_DOUBLE_EQ(Key(page, 3, 3), double(t0 + 500) / 1000.0);
    toggle->click();
    EXPECT_FALSE(page.timeAxis());
    for (int k = 0; k < kCurveSeriesCount; ++k)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Key(page, k, i), i);
    EXPECT_EQ(page.chart()->xAxis->range().lower, 0);
    EXPECT_EQ(page.chart()->xAxis->range().upper, 100);
}

TEST_F(ScriptedCurve, RepaintsAtAHumanRateNotPerPoint) {
    QTest::qWait(CurvePage::kRepaintIntervalMs * 3);
    const int before = page.repaintCount();
    Feed(1, 500);
    EXPECT_EQ(page.repaintCount(), before); // nothing painted while points pour in
    ASSERT_TRUE(WaitUntil([&] { return page.repaintCount() > before; }));
    QTest::qWait(CurvePage::kRepaintIntervalMs * 3);
    EXPECT_EQ(page.repaintCount(), before + 1);
}

TEST_F(ScriptedCurve, ClosingThePageStopsItsJob) {
    auto other = std::make_unique<CurvePage>(host);
    ClickRead(*other);
    ASSERT_TRUE(WaitUntil([&] { return link.ExchangeCount() >= 2; }));
    Thread_Readqx* thread = other->curveThread();
    ASSERT_NE(thread, nullptr);
    other.reset(); // cancels the job; the host hears nothing more
    ASSERT_TRUE(WaitUntil([&] { return host.session().isIdle(); }));
    EXPECT_EQ(host.controls, QList<bool>{true});
    const std::size_t exchanges = link.ExchangeCount();
    QTest::qWait(300);
    EXPECT_EQ(link.ExchangeCount(), exchanges);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
