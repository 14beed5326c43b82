// The curve page offscreen: against kx7410-sim on a real pseudo-terminal (raw words, hidden
// series, failure texts, a stop during an outstanding request) and against a scripted line where
// no pty is needed (the bottom axis rule, the stacked plots, pan and zoom, the time axis, the
// cursor, the CSV export, the repaint rate). Every message box and file dialog is answered
// through the message seam.

#include "gui/curves/curve_host.h"
#include "gui/curves/curve_page.h"
#include "gui/kit/messages.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "report/check_export.h"
#include "scripted_link.h"
#include "session/device_session.h"

#include "sim_process.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cmath>
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

QCPAxis* KeyAxis(CurvePage& page, CurveQuantity q) {
    return page.quantityRect(q)->axis(QCPAxis::atBottom);
}
QCPAxis* ValueAxis(CurvePage& page, CurveQuantity q) {
    return page.quantityRect(q)->axis(QCPAxis::atLeft);
}
const CurveQuantity kQuantities[] = {kCurvePower, kCurveFrequency, kCurveVoltage, kCurveCurrent};

void Click(CurvePage& page, const char* name) {
    auto* box = page.findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(box, nullptr) << name;
    box->click();
}

void SendMouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
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

// Words far apart by quantity, as a running module gives them: powers in the hundreds, 50 Hz as
// 5000, 220 V as 22000, 0.5 A as 50.
CurvePoint RealisticPoint(int count, int step = 0) {
    CurvePoint p = PointOf(count);
    const uint16_t words[kCurveSeriesCount] = {1000,  1001,  1002,  300, 301, 302, 5000,
                                               22000, 22010, 22020, 50,  51,  52};
    for (int k = 0; k < kCurveSeriesCount; ++k)
        p.values[k] = uint16_t(words[k] + step);
    return p;
}

TEST_F(ScriptedCurve, EachQuantityHasAPlotOfItsOwn) {
    page.chart()->replot();
    // Top to bottom: powers, frequency, voltages, currents, each named on its left axis.
    const QString labels[] = {QStringLiteral("功率"), QStringLiteral("频率"),
                              QStringLiteral("电压"), QStringLiteral("电流")};
    EXPECT_EQ(page.chart()->axisRect(), page.quantityRect(kCurvePower));
    for (CurveQuantity q : kQuantities) {
        EXPECT_EQ(ValueAxis(page, q)->label(), labels[q]);
        if (q > 0) {
            EXPECT_GT(page.quantityRect(q)->rect().top(),
                      page.quantityRect(CurveQuantity(q - 1))->rect().bottom());
        }
    }
    for (int k = 0; k < kCurveSeriesCount; ++k)
        EXPECT_EQ(page.series(k)->keyAxis()->axisRect(),
                  page.quantityRect(CurveSeriesSpecs()[k].quantity))
            << "series " << k;

    page.ShowCurvePoint(RealisticPoint(1));
    page.ShowCurvePoint(RealisticPoint(2, 1));
    // Every plot's scale covers its own series and none of the others.
    for (CurveQuantity q : kQuantities) {
        const QCPRange range = ValueAxis(page, q)->range();
        for (int k = 0; k < kCurveSeriesCount; ++k)
            for (int i = 0; i < 2; ++i)
                EXPECT_EQ(range.contains(Value(page, k, i)), CurveSeriesSpecs()[k].quantity == q)
                    << "plot " << q << " series " << k << " value " << Value(page, k, i);
    }
    // Hiding a series narrows its plot's scale to the series still shown, and no other scale moves.
    QCPRange before[kCurveQuantityCount];
    for (CurveQuantity q : kQuantities)
        before[q] = ValueAxis(page, q)->range();
    Click(page, "CBox_UA");
    EXPECT_GT(ValueAxis(page, kCurveVoltage)->range().lower, 22001);
    EXPECT_TRUE(ValueAxis(page, kCurveVoltage)->range().contains(22021));
    for (CurveQuantity q : {kCurvePower, kCurveFrequency, kCurveCurrent})
        EXPECT_EQ(ValueAxis(page, q)->range(), before[q]) << "plot " << q;
    // A plot with nothing shown keeps its last scale.
    Click(page, "CBox_F");
    page.ShowCurvePoint(RealisticPoint(3, 2));
    EXPECT_EQ(ValueAxis(page, kCurveFrequency)->range(), before[kCurveFrequency]);
}

TEST_F(ScriptedCurve, EveryPlotSharesTheBottomAxis) {
    Feed(1, 10);
    page.chart()->replot();
    auto expectShared = [&](const char* when) {
        const QCPRange range = page.chart()->xAxis->range();
        for (CurveQuantity q : kQuantities)
            EXPECT_EQ(KeyAxis(page, q)->range(), range) << when << ", plot " << q;
        return range;
    };
    expectShared("following");
    // Only the lowest plot numbers it.
    for (CurveQuantity q : kQuantities)
        EXPECT_EQ(KeyAxis(page, q)->tickLabels(), q == kCurveCurrent) << "plot " << q;

    // A wheel turn over the voltages zooms all four in x (and only the voltages in y).
    QCustomPlot* chart = page.chart();
    const QCPRange powerY = ValueAxis(page, kCurvePower)->range();
    const QPointF at = page.quantityRect(kCurveVoltage)->rect().center();
    QWheelEvent wheel(at, chart->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    EXPECT_FALSE(page.isFollowing());
    const QCPRange zoomed = expectShared("after a zoom");
    EXPECT_LT(zoomed.size(), 100);
    EXPECT_EQ(ValueAxis(page, kCurvePower)->range(), powerY);

    // A pan with the right button over the currents moves all four in x.
    const QPointF from = page.quantityRect(kCurveCurrent)->rect().center();
    const QPointF to = from + QPointF(-80, 0);
    SendMouse(chart, QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
    SendMouse(chart, QEvent::MouseMove, to, Qt::NoButton, Qt::RightButton);
    SendMouse(chart, QEvent::MouseButtonRelease, to, Qt::RightButton, Qt::NoButton);
    const QCPRange panned = expectShared("after a pan");
    EXPECT_GT(panned.lower, zoomed.lower);
    EXPECT_DOUBLE_EQ(panned.size(), zoomed.size());
    EXPECT_FALSE(page.hasCursor()); // the right button is not the cursor's

    Feed(11, 300);
    EXPECT_EQ(expectShared("points arriving while panned"), panned);
    Click(page, "BitBtn_Follow");
    EXPECT_EQ(expectShared("following again"), QCPRange(0, 305));
    Feed(301, 301);
    EXPECT_EQ(expectShared("following a new point"), QCPRange(0, 306));
    Click(page, "CBox_TimeAxis");
    expectShared("on the time axis");
}

// The contrast ratio of two colours by their relative luminance (as for text on a background).
double Contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(ScriptedCurve, SeriesOfAPlotDifferInColourAndInPattern) {
    for (int a = 0; a < kCurveSeriesCount; ++a) {
        const QPen pen = page.series(a)->pen();
        const QColor wall = page.series(a)->keyAxis()->axisRect()->backgroundBrush().color();
        EXPECT_GE(Contrast(pen.color(), wall), 3.0) << "series " << a << " hardly shows";
        for (int b = a + 1; b < kCurveSeriesCount; ++b) {
            if (CurveSeriesSpecs()[a].quantity != CurveSeriesSpecs()[b].quantity) continue;
            const QPen other = page.series(b)->pen();
            EXPECT_NE(pen.color(), other.color()) << "series " << a << " and " << b;
            const bool samePattern =
                pen.style() == other.style() &&
                (pen.style() != Qt::CustomDashLine || pen.dashPattern() == other.dashPattern());
            EXPECT_FALSE(samePattern && page.series(a)->scatterStyle().shape() ==
                                            page.series(b)->scatterStyle().shape())
                << "series " << a << " and " << b << " differ only in colour";
        }
    }
}

TEST_F(ScriptedCurve, EachPlotsLegendNamesItsShownSeries) {
    auto legendNames = [&](CurveQuantity q) {
        QStringList names;
        QCPAxisRect* rect = page.quantityRect(q);
        for (int i = 0; i < rect->insetLayout()->elementCount(); ++i)
            if (auto* legend = qobject_cast<QCPLegend*>(rect->insetLayout()->elementAt(i)))
                for (int j = 0; j < legend->itemCount(); ++j)
                    if (auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(j)))
                        names << item->plottable()->name();
        return names;
    };
    EXPECT_EQ(legendNames(kCurvePower),
              (QStringList{QStringLiteral("A相有功功率"), QStringLiteral("B相有功功率"),
                           QStringLiteral("C相有功功率"), QStringLiteral("A相无功功率"),
                           QStringLiteral("B相无功功率"), QStringLiteral("C相无功功率")}));
    EXPECT_EQ(legendNames(kCurveFrequency), QStringList{QStringLiteral("频率")});
    Click(page, "CBox_UB");
    EXPECT_EQ(legendNames(kCurveVoltage),
              (QStringList{QStringLiteral("A相电压"), QStringLiteral("C相电压")}));
    Click(page, "CBox_UB");
    EXPECT_EQ(legendNames(kCurveVoltage),
              (QStringList{QStringLiteral("A相电压"), QStringLiteral("B相电压"),
                           QStringLiteral("C相电压")}));
    EXPECT_EQ(legendNames(kCurveCurrent),
              (QStringList{QStringLiteral("A相电流"), QStringLiteral("B相电流"),
                           QStringLiteral("C相电流")}));
}

// ---- the cursor ---------------------------------------------------------------------------------

// Point i carries the words 100 * i + k, so a reading tells which point it came from.
void FeedDistinct(CurvePage& page, int count, qint64 t0 = 1700000000000) {
    for (int i = 0; i < count; ++i)
        page.ShowCurvePoint(PointOf(i + 1, uint16_t(100 * i), t0 + 250 * i));
}

QList<QCPItemStraightLine*> CursorLines(CurvePage& page) {
    QList<QCPItemStraightLine*> lines;
    for (int i = 0; i < page.chart()->itemCount(); ++i)
        if (auto* line = qobject_cast<QCPItemStraightLine*>(page.chart()->item(i))) lines << line;
    return lines;
}

QStringList ExpectedReading(CurvePage& page, const QString& instant, int point) {
    QStringList texts{instant};
    for (int k = 0; k < kCurveSeriesCount; ++k)
        if (page.series(k)->visible())
            texts << QStringLiteral("%1 = %2")
                         .arg(QString::fromUtf8(CurveSeriesSpecs()[k].caption))
                         .arg(100 * point + k);
    return texts;
}

TEST_F(ScriptedCurve, CursorReadsTheShownSeriesAtTheLastPointAtOrBeforeIt) {
    FeedDistinct(page, 6);
    Click(page, "CBox_QB");
    Click(page, "CBox_IC");
    EXPECT_FALSE(page.hasCursor());
    EXPECT_TRUE(page.cursorReading().isEmpty());

    struct Case {
        double key;
        int point; // -1: none at or before
    } const cases[] = {{0, 0}, {3, 3}, {3.7, 3}, {5, 5}, {40, 5}, {-0.5, -1}};
    for (const Case& c : cases) {
        page.SetCursor(c.key);
        const QStringList reading = page.cursorReading();
        if (c.point < 0) {
            EXPECT_EQ(reading.size(), 1) << "key " << c.key;
            EXPECT_FALSE(reading.join(QString()).contains(QStringLiteral(" = ")));
        } else {
            EXPECT_EQ(reading,
                      ExpectedReading(page, QStringLiteral("序号 %1").arg(c.point), c.point))
                << "key " << c.key;
        }
        // One line at that instant across every plot, and the reading under the chart.
        ASSERT_EQ(CursorLines(page).size(), kCurveQuantityCount);
        for (QCPItemStraightLine* line : CursorLines(page)) {
            EXPECT_TRUE(line->visible());
            EXPECT_EQ(line->point1->key(), c.key);
            EXPECT_EQ(line->point2->key(), c.key);
        }
        // The label keeps each entry on one line with joiners and non-breaking blanks.
        EXPECT_EQ(page.findChild<QLabel*>(QStringLiteral("Label_CursorReading"))
                      ->text()
                      .remove(QChar(0x2060))
                      .replace(QChar(0xA0), QLatin1Char(' ')),
                  reading.join(QStringLiteral("    ")));
    }
    QSet<QCPAxisRect*> crossed;
    for (QCPItemStraightLine* line : CursorLines(page))
        crossed << line->clipAxisRect();
    EXPECT_EQ(crossed.size(), kCurveQuantityCount);

    // A series shown again is read again; a cursor after the last point reads each new one.
    page.SetCursor(40);
    Click(page, "CBox_IC");
    page.ShowCurvePoint(PointOf(7, 600, 1700000000000 + 250 * 6));
    EXPECT_EQ(page.cursorReading(), ExpectedReading(page, QStringLiteral("序号 6"), 6));
}

TEST_F(ScriptedCurve, CursorOnTheTimeAxisNamesThePointsTime) {
    const qint64 t0 = 1700000000000;
    FeedDistinct(page, 6, t0);
    page.SetCursor(2.5);
    // The time axis moves the cursor along with its point.
    Click(page, "CBox_TimeAxis");
    ASSERT_TRUE(page.hasCursor());
    EXPECT_DOUBLE_EQ(page.cursorKey(), double(t0 + 500) / 1000.0);
    const QString time =
        QDateTime::fromMSecsSinceEpoch(t0 + 500).toString(QStringLiteral("HH:mm:ss.zzz"));
    EXPECT_EQ(page.cursorReading(), ExpectedReading(page, QStringLiteral("时间 ") + time, 2));
    // Just before the next read it still reads point 2.
    page.SetCursor(double(t0 + 749) / 1000.0);
    EXPECT_EQ(page.cursorReading(), ExpectedReading(page, QStringLiteral("时间 ") + time, 2));
    // A new reading starts without a cursor.
    ClickRead(page);
    EXPECT_FALSE(page.hasCursor());
    ASSERT_TRUE(StopAndWait(page));
}

TEST_F(ScriptedCurve, LeftButtonPlacesAndMovesTheCursor) {
    FeedDistinct(page, 20);
    QCustomPlot* chart = page.chart();
    chart->replot();
    const QCPRange range = chart->xAxis->range();
    QCPAxis* x = KeyAxis(page, kCurveFrequency);
    const QRect plot = page.quantityRect(kCurveFrequency)->rect();
    const QPointF press(x->coordToPixel(7.5), plot.center().y());
    SendMouse(chart, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(page.hasCursor());
    EXPECT_NEAR(page.cursorKey(), 7.5, 0.1);
    EXPECT_EQ(page.cursorReading().first(), QStringLiteral("序号 7"));
    // Held and moved, over another plot too.
    const QPointF moved(x->coordToPixel(12.5),
                        page.quantityRect(kCurveCurrent)->rect().center().y());
    SendMouse(chart, QEvent::MouseMove, moved, Qt::NoButton, Qt::LeftButton);
    EXPECT_NEAR(page.cursorKey(), 12.5, 0.1);
    EXPECT_EQ(page.cursorReading().first(), QStringLiteral("序号 12"));
    SendMouse(chart, QEvent::MouseButtonRelease, moved, Qt::LeftButton, Qt::NoButton);
    // A move without the button leaves it, and the cursor never pans.
    SendMouse(chart, QEvent::MouseMove, press, Qt::NoButton, Qt::NoButton);
    EXPECT_NEAR(page.cursorKey(), 12.5, 0.1);
    EXPECT_EQ(chart->xAxis->range(), range);
    EXPECT_TRUE(page.isFollowing());
}

// ---- CSV ----------------------------------------------------------------------------------------

// The rows of a CSV file without quoted fields; the BOM is checked and dropped.
QList<QStringList> ReadCsv(const QString& path, bool* bom) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = file.readAll();
    *bom = bytes.startsWith("\xEF\xBB\xBF");
    if (*bom) bytes.remove(0, 3);
    QList<QStringList> rows;
    for (const QString& line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n")))
        if (!line.isEmpty()) rows << line.split(QLatin1Char(','));
    return rows;
}

class CurveCsv : public ScriptedCurve {
protected:
    QTemporaryDir dir;
};

TEST_F(CurveCsv, WritesThePlottedValuesOfTheShownSeries) {
    const qint64 t0 = 1700000000000;
    FeedDistinct(page, 5, t0);
    page.ShowCurvePoint(PointOf(6, 65523, t0 + 1250)); // words up to 65535 stay unsigned
    Click(page, "CBox_F");
    Click(page, "CBox_PB");
    messages.fileNames << dir.filePath(QStringLiteral("curves")); // no suffix given
    Click(page, "BitBtn_ExportCsv");
    ASSERT_EQ(messages.shown.size(), 2) << messages.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("save: ")));
    EXPECT_EQ(messages.shown[1], QStringLiteral("inform: ") + ExportSucceededMessage());

    bool bom = false;
    const QList<QStringList> rows = ReadCsv(dir.filePath(QStringLiteral("curves.csv")), &bom);
    EXPECT_TRUE(bom);
    ASSERT_EQ(rows.size(), 1 + 6);
    QStringList header{QStringLiteral("时间")};
    QList<int> shown;
    for (int k = 0; k < kCurveSeriesCount; ++k)
        if (page.series(k)->visible()) {
            header << QString::fromUtf8(CurveSeriesSpecs()[k].caption);
            shown << k;
        }
    EXPECT_EQ(shown.size(), kCurveSeriesCount - 2);
    EXPECT_EQ(rows[0], header);
    for (int i = 0; i < 6; ++i) {
        const QStringList& row = rows[i + 1];
        ASSERT_EQ(row.size(), header.size()) << "row " << i;
        const qint64 stamp = i < 5 ? t0 + 250 * i : t0 + 1250;
        EXPECT_EQ(QDateTime::fromString(row[0], QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                  QDateTime::fromMSecsSinceEpoch(stamp))
            << row[0].toStdString();
        for (int c = 0; c < shown.size(); ++c)
            EXPECT_EQ(row[c + 1].toDouble(), Value(page, shown[c], i))
                << "row " << i << " " << header[c + 1].toStdString();
    }
    EXPECT_EQ(rows[6][1], QStringLiteral("65523"));
    EXPECT_EQ(rows[6].last(), QStringLiteral("65535")); // C相电流, the last series
}

TEST_F(CurveCsv, CancelOrRefusedReplaceWritesNothing) {
    FeedDistinct(page, 3);
    Click(page, "BitBtn_ExportCsv"); // the dialog is cancelled
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("save: 曲线数据.csv")});
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // An existing file is replaced only when the user says so.
    const QString path = dir.filePath(QStringLiteral("kept.csv"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("mine");
    }
    messages.shown.clear();
    messages.fileNames << path;
    messages.answers << false;
    Click(page, "BitBtn_ExportCsv");
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown.last(), QStringLiteral("ask: ") + OverwriteQuestion());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("mine"));
}

TEST_F(CurveCsv, AFailedWriteIsTold) {
    FeedDistinct(page, 3);
    messages.fileNames << dir.filePath(QStringLiteral("no such folder/curves.csv"));
    Click(page, "BitBtn_ExportCsv");
    EXPECT_EQ(messages.shown.last(), QStringLiteral("inform: ") + ExportFailedMessage());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(CurveCsv, NothingPlottedNothingToExport) {
    Click(page, "BitBtn_ExportCsv");
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("inform: ") + NoDataMessage()});
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
