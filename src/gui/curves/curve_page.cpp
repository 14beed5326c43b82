#include "gui/curves/curve_page.h"

#include "common/conversion.h"
#include "gui/curves/curve_host.h"
#include "gui/kit/messages.h"
#include "report/check_export.h"
#include "report/records_csv.h"
#include "session/device_session.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace {

constexpr int kReenableMs = 200;

// Each phase keeps its colour and its line pattern on every plot: A amber and solid, B green and
// dashed, C red and dash-dotted, after the usual A yellow, B green, C red of the switchboard (the
// yellow darkened so that it shows on white). The reactive powers share the power plot with the
// active ones, so they take related colours and the dotted patterns.
const QColor kPhaseA(170, 120, 0);
const QColor kPhaseB(0, 128, 0);
const QColor kPhaseC(200, 0, 0);
const std::array<CurveSeriesSpec, kCurveSeriesCount> kSeries{{
    {"CBox_PA", "A相有功功率", kPhaseA, Qt::SolidLine, kCurvePower},
    {"CBox_PB", "B相有功功率", kPhaseB, Qt::DashLine, kCurvePower},
    {"CBox_PC", "C相有功功率", kPhaseC, Qt::DashDotLine, kCurvePower},
    {"CBox_QA", "A相无功功率", QColor(215, 95, 0), Qt::DotLine, kCurvePower},
    {"CBox_QB", "B相无功功率", QColor(0, 130, 130), Qt::DashDotDotLine, kCurvePower},
    {"CBox_QC", "C相无功功率", QColor(170, 0, 170), Qt::CustomDashLine, kCurvePower},
    {"CBox_F", "频率", QColor(0, 0, 200), Qt::SolidLine, kCurveFrequency},
    {"CBox_UA", "A相电压", kPhaseA, Qt::SolidLine, kCurveVoltage},
    {"CBox_UB", "B相电压", kPhaseB, Qt::DashLine, kCurveVoltage},
    {"CBox_UC", "C相电压", kPhaseC, Qt::DashDotLine, kCurveVoltage},
    {"CBox_IA", "A相电流", kPhaseA, Qt::SolidLine, kCurveCurrent},
    {"CBox_IB", "B相电流", kPhaseB, Qt::DashLine, kCurveCurrent},
    {"CBox_IC", "C相电流", kPhaseC, Qt::DashDotLine, kCurveCurrent},
}};

// One pixel: a wider antialiased line costs some fifty times as much to draw, and a curve of a
// long reading is drawn 25 times a second.
constexpr double kLineWidth = 1.0;

QPen SeriesPen(const CurveSeriesSpec& series) {
    QPen pen(series.colour, kLineWidth);
    pen.setCapStyle(Qt::FlatCap);
    // Qt's own patterns are too fine on a one-pixel line to be told apart: longer dashes and
    // gaps, and a long dash as the fifth pattern.
    switch (series.style) {
    case Qt::DashLine:
        pen.setDashPattern({6, 3});
        break;
    case Qt::DashDotLine:
        pen.setDashPattern({8, 3, 2, 3});
        break;
    case Qt::DotLine:
        pen.setDashPattern({2, 2});
        break;
    case Qt::DashDotDotLine:
        pen.setDashPattern({8, 2, 2, 2, 2, 2});
        break;
    case Qt::CustomDashLine:
        pen.setDashPattern({14, 4});
        break;
    default:
        pen.setStyle(series.style);
    }
    return pen;
}

// The line sample beside a check box, drawn with the series' own pen.
QPixmap SwatchOf(const CurveSeriesSpec& series) {
    QPixmap pixmap(28, 12);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setPen(SeriesPen(series));
    painter.drawLine(QPointF(1, 6), QPointF(27, 6));
    return pixmap;
}

const QColor kBackWall(Qt::white);
const QColor kGridColour(225, 225, 225);
const QColor kCursorColour(60, 60, 60);

// The raw word as the chart holds it.
QString ValueText(double value) {
    return QString::number(value, 'g', 17);
}

QString StampText(double seconds, const QString& format) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000.0)).toString(format);
}

// In time mode the following axis shows the whole reading from its first point, with a little
// room after the last.
constexpr double kTimeSpanMinimumS = 10.0;

} // namespace

const std::array<CurveSeriesSpec, kCurveSeriesCount>& CurveSeriesSpecs() {
    return kSeries;
}

CurvePage::CurvePage(CurveHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("TabSheet3"));
    qRegisterMetaType<CurvePoint>();
    BuildChart();
    BuildControls();

    reenable_ = new QTimer(this);
    reenable_->setSingleShot(true);
    reenable_->setInterval(kReenableMs);
    connect(reenable_, &QTimer::timeout, this, [this] {
        if (!stopping_) readQX_->setEnabled(true);
    });
    repaint_ = new QTimer(this);
    repaint_->setSingleShot(true);
    repaint_->setInterval(kRepaintIntervalMs);
    connect(repaint_, &QTimer::timeout, this, &CurvePage::Repaint);
}

CurvePage::~CurvePage() {
    // The host may already be half gone (the page dies with the main window's children, after its
    // session): nothing calls back into it. A job still running when the page goes first is
    // cancelled; it keeps its own share of the loop until it ends.
    if (thread_) {
        thread_->disconnect(this);
        if (session_) session_->Cancel();
    }
}

void CurvePage::BuildChart() {
    chart_ = new QCustomPlot(this);
    chart_->setObjectName(QStringLiteral("Chart"));
    chart_->setToolTip(tr("左键：游标读数    右键拖动：平移    滚轮：缩放"));
    chart_->plotLayout()->insertRow(0);
    QFont titleFont = font();
    titleFont.setBold(true);
    chart_->plotLayout()->addElement(
        0, 0, new QCPTextElement(chart_, QStringLiteral("三相电参数采集模块曲线数据"), titleFont));
    chart_->plotLayout()->setRowSpacing(2);
    chart_->legend->setVisible(false);

    static const char* const labels[kCurveQuantityCount] = {QT_TR_NOOP("功率"), QT_TR_NOOP("频率"),
                                                            QT_TR_NOOP("电压"), QT_TR_NOOP("电流")};
    // The left axes line up however wide their numbers are.
    auto* margins = new QCPMarginGroup(chart_);
    QFont legendFont = font();
    if (legendFont.pointSizeF() > 0) legendFont.setPointSizeF(legendFont.pointSizeF() * 0.85);
    for (int q = 0; q < kCurveQuantityCount; ++q) {
        QCPAxisRect* rect = q == 0 ? chart_->axisRect() : new QCPAxisRect(chart_);
        if (q > 0) chart_->plotLayout()->addElement(q + 1, 0, rect);
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
        rect->setBackground(kBackWall);
        QCPAxis* y = rect->axis(QCPAxis::atLeft);
        y->setLabel(tr(labels[q]));
        y->grid()->setPen(QPen(kGridColour, 1, Qt::DotLine));
        QCPAxis* x = rect->axis(QCPAxis::atBottom);
        x->grid()->setPen(QPen(kGridColour, 1, Qt::DotLine));
        // Only the lowest plot numbers the shared bottom axis.
        x->setTickLabels(q == kCurveQuantityCount - 1);
        rects_[q] = rect;

        auto* legend = new QCPLegend;
        rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignLeft);
        legend->setLayer(QStringLiteral("legend"));
        legend->setFont(legendFont);
        legend->setBrush(QColor(255, 255, 255, 210));
        legend->setBorderPen(QPen(kGridColour));
        legend->setIconSize(28, 10);
        legend->setRowSpacing(0);
        legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        legend->setWrap(3); // the power plot: active powers above, reactive below
        legends_[q] = legend;
    }
    // A wheel zooms the plot under it; its bottom axis takes the others along (SetKeyRange).
    chart_->setAutoAddPlottableToLegend(false);
    for (int k = 0; k < kCurveSeriesCount; ++k) {
        QCPAxisRect* rect = rects_[kSeries[k].quantity];
        QCPGraph* graph =
            chart_->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        graph->setName(QString::fromUtf8(kSeries[k].caption));
        graph->setPen(SeriesPen(kSeries[k]));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        // Adaptive sampling draws a series of a million points in the cost of a few thousand.
        graph->setAdaptiveSampling(true);
        series_[k] = graph;
    }
    RebuildLegends();

    for (int q = 0; q < kCurveQuantityCount; ++q) {
        auto* line = new QCPItemStraightLine(chart_);
        line->setPen(QPen(kCursorColour, 1, Qt::SolidLine));
        line->setClipAxisRect(rects_[q]);
        for (QCPItemPosition* end : {line->point1, line->point2})
            end->setAxes(rects_[q]->axis(QCPAxis::atBottom), rects_[q]->axis(QCPAxis::atLeft));
        line->setVisible(false);
        line->setSelectable(false);
        cursorLines_[q] = line;
    }

    settingRange_ = true;
    SetKeyRange(QCPRange(0, kInitialAxisMaximum));
    for (QCPAxisRect* rect : rects_)
        rect->axis(QCPAxis::atLeft)->setRange(0, 10);
    settingRange_ = false;
    // The left button belongs to the cursor, so the page pans with the right one itself.
    chart_->setInteractions(QCP::iRangeZoom);
    for (QCPAxisRect* rect : rects_) {
        // A drag or zoom of the user stops the axes from following new points.
        connect(rect->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::rangeChanged),
                this, [this](const QCPRange& range) {
                    SetKeyRange(range);
                    RangeChangedByUser();
                });
        connect(rect->axis(QCPAxis::atLeft), qOverload<const QCPRange&>(&QCPAxis::rangeChanged),
                this, &CurvePage::RangeChangedByUser);
    }
    connect(chart_, &QCustomPlot::mousePress, this, &CurvePage::ChartMousePress);
    connect(chart_, &QCustomPlot::mouseMove, this, &CurvePage::ChartMouseMove);
    connect(chart_, &QCustomPlot::mouseRelease, this, [this] {
        panRect_ = nullptr;
        cursorDragging_ = false;
    });
}

void CurvePage::BuildControls() {
    auto* layout = new QHBoxLayout(this);
    auto* plot = new QVBoxLayout;
    plot->addWidget(chart_, 1);
    reading_ = new QLabel(this);
    reading_->setObjectName(QStringLiteral("Label_CursorReading"));
    reading_->setWordWrap(true);
    reading_->setTextFormat(Qt::PlainText);
    reading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    reading_->setText(tr("在曲线上单击左键放置游标，读取各曲线在该时刻的数值"));
    plot->addWidget(reading_);
    layout->addLayout(plot, 1);

    auto* side = new QVBoxLayout;
    auto* boxes = new QGridLayout;
    for (int k = 0; k < kCurveSeriesCount; ++k) {
        auto* swatch = new QLabel(this);
        swatch->setObjectName(QStringLiteral("Swatch_") +
                              QString::fromLatin1(kSeries[k].box).mid(5));
        swatch->setPixmap(SwatchOf(kSeries[k]));
        swatch->setFrameShape(QFrame::Box);
        auto* box = new QCheckBox(QString::fromUtf8(kSeries[k].caption), this);
        box->setObjectName(QString::fromLatin1(kSeries[k].box));
        box->setChecked(true);
        connect(box, &QCheckBox::clicked, this,
                [this, k](bool checked) { SeriesBoxClick(k, checked); });
        boxes_[k] = box;
        boxes->addWidget(swatch, k, 0);
        boxes->addWidget(box, k, 1);
    }
    side->addLayout(boxes);
    side->addSpacing(12);

    timeAxisBox_ = new QCheckBox(QStringLiteral("横轴显示时间"), this);
    timeAxisBox_->setObjectName(QStringLiteral("CBox_TimeAxis"));
    connect(timeAxisBox_, &QCheckBox::clicked, this, &CurvePage::SetTimeAxis);
    side->addWidget(timeAxisBox_);
    follow_ = new QPushButton(QStringLiteral("跟随最新"), this);
    follow_->setObjectName(QStringLiteral("BitBtn_Follow"));
    follow_->setToolTip(QStringLiteral("拖动或缩放后，恢复坐标轴随新数据移动"));
    follow_->setEnabled(false);
    connect(follow_, &QPushButton::clicked, this, &CurvePage::FollowLatest);
    side->addWidget(follow_);
    exportCsv_ = new QPushButton(tr("导出CSV"), this);
    exportCsv_->setObjectName(QStringLiteral("BitBtn_ExportCsv"));
    exportCsv_->setToolTip(tr("把曲线上的数据（显示的曲线）保存为 CSV 文件"));
    connect(exportCsv_, &QPushButton::clicked, this, &CurvePage::BitBtn_ExportCsvClick);
    side->addWidget(exportCsv_);
    side->addStretch(1);

    readQX_ = new QPushButton(QStringLiteral("读曲线"), this);
    readQX_->setObjectName(QStringLiteral("BitBtn_ReadQX"));
    readQX_->setMinimumHeight(32);
    connect(readQX_, &QPushButton::clicked, this, &CurvePage::BitBtn_ReadQXClick);
    side->addWidget(readQX_);
    layout->addLayout(side);
}

void CurvePage::RebuildLegends() {
    // A legend names the series shown, in chart order.
    for (QCPLegend* legend : legends_)
        legend->clearItems();
    for (int k = 0; k < kCurveSeriesCount; ++k)
        if (series_[k]->visible()) series_[k]->addToLegend(legends_[kSeries[k].quantity]);
    for (QCPLegend* legend : legends_)
        legend->setVisible(legend->itemCount() > 0);
}

void CurvePage::ClearSeries() {
    for (QCPGraph* graph : series_)
        graph->data()->clear();
    stamps_.clear();
    stamps_.shrink_to_fit();
    low_.fill(0);
    high_.fill(0);
    ClearCursor();
}

double CurvePage::KeyOf(std::size_t index) const {
    return timeAxis_ ? stamps_[index] : static_cast<double>(index);
}

void CurvePage::BitBtn_ReadQXClick() {
    if (stopping_) return;
    if (!host_.portOpen()) {
        Ui().inform(this, QStringLiteral("请打开串口！！"));
        return;
    }
    if (thread_) {
        StopCurve();
        return;
    }
    PollSettings poll;
    try {
        poll = LoadPollSettings(host_.dataFolder());
    } catch (const ConversionError&) {
        // A broken polling key is the check's to report (it refuses to start); the curves keep
        // the default polling.
    }
    auto loop = std::make_shared<Thread_Readqx>(host_.moduleAddress(), poll);
    connect(loop.get(), &Thread_Readqx::ShowCurvePoint, this, &CurvePage::ShowCurvePoint,
            Qt::QueuedConnection);
    connect(loop.get(), &Thread_Readqx::ShowStatusText, this, &CurvePage::ShowStatusText,
            Qt::QueuedConnection);
    DeviceSession& session = host_.session();
    const QPointer<CurvePage> page(this);
    const bool started = session.Submit(
        DeviceSession::State::Curves, readQX_->text(),
        [loop](JobContext& job) mutable {
            loop->Run(job);
            // The loop is a GUI-thread object: its last share goes back there to be deleted.
            job.Post([last = std::move(loop)] {});
        },
        [page] {
            if (page) page->CurveEnded();
        });
    if (!started) {
        Ui().inform(this, DeviceSession::BusyText());
        return;
    }
    // The points come queued, after this.
    ClearSeries();
    following_ = true;
    follow_->setEnabled(false);
    settingRange_ = true;
    if (timeAxis_)
        ApplyFollowRange();
    else
        SetKeyRange(QCPRange(0, CurveAxisMaximum(0)));
    settingRange_ = false;
    ScheduleRepaint();

    thread_ = std::move(loop);
    session_ = &session;
    readQX_->setText(QStringLiteral("停止读"));
    host_.SetCurveControls(true);
    // A double click must not stop the reading it just started.
    readQX_->setEnabled(false);
    reenable_->start();
}

void CurvePage::StopCurve() {
    if (!thread_ || stopping_) return;
    stopping_ = true;
    reenable_->stop();
    readQX_->setEnabled(false);
    if (session_)
        session_->Cancel();
    else
        CurveEnded(); // the session has gone, and its job with it
}

void CurvePage::CurveEnded() {
    thread_.reset();
    session_ = nullptr;
    stopping_ = false;
    readQX_->setText(QStringLiteral("读曲线"));
    host_.SetCurveControls(false);
    reenable_->start();
}

void CurvePage::ShowCurvePoint(const CurvePoint& point) {
    const double x = static_cast<double>(stamps_.size());
    const double stamp = static_cast<double>(point.wallClockMs) / 1000.0;
    // Stamps never go backwards (the thread counts from a steady clock), but a point of a
    // previous reading must not break the time axis' order either.
    stamps_.push_back(stamps_.empty() ? stamp : std::max(stamp, stamps_.back()));
    const double key = timeAxis_ ? stamps_.back() : x;
    const bool first = stamps_.size() == 1;
    for (int k = 0; k < kCurveSeriesCount; ++k) {
        const double value = point.values[k];
        series_[k]->addData(key, value);
        low_[k] = first ? value : std::min(low_[k], value);
        high_[k] = first ? value : std::max(high_[k], value);
    }
    if (following_) ApplyFollowRange();
    host_.SetStatusText(CurveStatusText(point.sent, point.received));
    ScheduleRepaint();
}

void CurvePage::ShowStatusText(const QString& text) {
    host_.SetStatusText(text);
}

void CurvePage::SeriesBoxClick(int k, bool checked) {
    series_[k]->setVisible(checked);
    RebuildLegends();
    if (following_) ApplyFollowRange();
    if (hasCursor_) ShowCursorReading();
    ScheduleRepaint();
}

void CurvePage::ApplyFollowRange() {
    settingRange_ = true;
    const int count = pointCount();
    if (timeAxis_) {
        const double start =
            count ? stamps_.front()
                  : static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        const double last = count ? stamps_.back() : start;
        const double span = last - start;
        SetKeyRange(QCPRange(start, std::max(start + kTimeSpanMinimumS, last + 0.05 * span + 1.0)));
    } else if (count > 0) {
        SetKeyRange(QCPRange(0, CurveAxisMaximum(count)));
    }
    // Each left axis is automatic over the series of its plot that are shown.
    for (int q = 0; q < kCurveQuantityCount && count > 0; ++q) {
        bool any = false;
        double low = 0, high = 0;
        for (int k = 0; k < kCurveSeriesCount; ++k) {
            if (kSeries[k].quantity != q || !series_[k]->visible()) continue;
            low = any ? std::min(low, low_[k]) : low_[k];
            high = any ? std::max(high, high_[k]) : high_[k];
            any = true;
        }
        if (!any) continue;
        const double margin = high > low ? (high - low) * 0.05 : 1.0;
        // Room above the curves for the legend in the plot's top corner (its own size until the
        // first layout has placed it).
        const QRect plot = rects_[q]->rect();
        const QRect placed = legends_[q]->outerRect();
        const double plotHeight = plot.height();
        const double legendHeight =
            (placed.isValid() ? placed.bottom() - plot.top()
                              : legends_[q]->minimumOuterSizeHint().height()) +
            4.0;
        const double share = plotHeight > 0 ? std::clamp(legendHeight / plotHeight, 0.0, 0.4) : 0.0;
        const double span = high - low + 2 * margin;
        rects_[q]
            ->axis(QCPAxis::atLeft)
            ->setRange(low - margin, high + margin + span * share / (1 - share));
    }
    settingRange_ = false;
}

void CurvePage::SetKeyRange(const QCPRange& range) {
    if (syncingKeys_) return;
    syncingKeys_ = true;
    for (QCPAxisRect* rect : rects_)
        rect->axis(QCPAxis::atBottom)->setRange(range);
    syncingKeys_ = false;
}

void CurvePage::RangeChangedByUser() {
    if (settingRange_ || !following_) return;
    following_ = false;
    follow_->setEnabled(true);
}

void CurvePage::FollowLatest() {
    following_ = true;
    follow_->setEnabled(false);
    if (pointCount() == 0 && !timeAxis_) {
        settingRange_ = true;
        SetKeyRange(QCPRange(0, thread_ ? CurveAxisMaximum(0) : chart_->xAxis->range().upper));
        settingRange_ = false;
    }
    ApplyFollowRange();
    ScheduleRepaint();
}

void CurvePage::SetTimeAxis(bool on) {
    timeAxisBox_->setChecked(on);
    if (on == timeAxis_) return;
    // The cursor stays on its point.
    const int cursorPoint = hasCursor_ ? PointAtOrBefore(cursorKey_) : -1;
    timeAxis_ = on;
    for (QCPGraph* graph : series_) {
        std::size_t i = 0;
        for (auto it = graph->data()->begin(); it != graph->data()->end(); ++it, ++i)
            it->key = KeyOf(i);
    }
    QSharedPointer<QCPAxisTicker> ticker;
    if (on) {
        auto times = QSharedPointer<QCPAxisTickerDateTime>::create();
        times->setDateTimeFormat(QStringLiteral("HH:mm:ss"));
        ticker = times;
    } else {
        ticker = QSharedPointer<QCPAxisTicker>::create();
    }
    for (QCPAxisRect* rect : rects_)
        rect->axis(QCPAxis::atBottom)->setTicker(ticker);
    if (cursorPoint >= 0)
        SetCursor(KeyOf(static_cast<std::size_t>(cursorPoint)));
    else
        ClearCursor();
    // The old range means nothing on the new axis: follow again.
    following_ = true;
    follow_->setEnabled(false);
    settingRange_ = true;
    if (!on && pointCount() == 0) SetKeyRange(QCPRange(0, CurveAxisMaximum(0)));
    settingRange_ = false;
    ApplyFollowRange();
    ScheduleRepaint();
}

void CurvePage::ScheduleRepaint() {
    if (!repaint_->isActive()) repaint_->start();
}

void CurvePage::Repaint() {
    ++repaints_;
    // A cursor after the last point reads the newest one.
    if (hasCursor_) ShowCursorReading();
    QElapsedTimer timer;
    timer.start();
    chart_->replot();
    // A chart of millions of points takes tens of ms to draw: space the repaints so that drawing
    // never takes more than about a quarter of the window's time.
    const qint64 tookMs = timer.elapsed();
    repaint_->setInterval(static_cast<int>(
        std::clamp<qint64>(4 * tookMs, kRepaintIntervalMs, kLongestRepaintIntervalMs)));
}

// ---- the cursor --------------------------------------------------------------------------------

void CurvePage::ChartMousePress(QMouseEvent* event) {
    QCPAxisRect* rect = chart_->axisRectAt(event->position());
    if (!rect) return;
    if (event->button() == Qt::LeftButton) {
        cursorDragging_ = true;
        SetCursor(rect->axis(QCPAxis::atBottom)->pixelToCoord(event->position().x()));
    } else if (event->button() == Qt::RightButton) {
        panRect_ = rect;
        panFrom_ = event->position();
    }
}

void CurvePage::ChartMouseMove(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && cursorDragging_) {
        // The plots share their bottom axis, so any of them converts the position.
        SetCursor(chart_->xAxis->pixelToCoord(event->position().x()));
    } else if ((event->buttons() & Qt::RightButton) && panRect_) {
        QCPAxis* x = panRect_->axis(QCPAxis::atBottom);
        QCPAxis* y = panRect_->axis(QCPAxis::atLeft);
        const QPointF to = event->position();
        // The bottom axis moves every plot; the left axis only the plot under the press.
        x->moveRange(x->pixelToCoord(panFrom_.x()) - x->pixelToCoord(to.x()));
        y->moveRange(y->pixelToCoord(panFrom_.y()) - y->pixelToCoord(to.y()));
        panFrom_ = to;
        ScheduleRepaint();
    }
}

void CurvePage::SetCursor(double key) {
    hasCursor_ = true;
    cursorKey_ = key;
    for (QCPItemStraightLine* line : cursorLines_) {
        line->point1->setCoords(key, 0);
        line->point2->setCoords(key, 1);
        line->setVisible(true);
    }
    ShowCursorReading();
    ScheduleRepaint();
}

void CurvePage::ClearCursor() {
    if (!hasCursor_) return;
    hasCursor_ = false;
    for (QCPItemStraightLine* line : cursorLines_)
        line->setVisible(false);
    reading_->clear();
    ScheduleRepaint();
}

int CurvePage::PointAtOrBefore(double key) const {
    const int count = pointCount();
    if (count == 0) return -1;
    if (timeAxis_)
        return static_cast<int>(std::upper_bound(stamps_.begin(), stamps_.end(), key) -
                                stamps_.begin()) -
               1;
    if (key < 0) return -1;
    return static_cast<int>(std::min<double>(std::floor(key), count - 1));
}

QStringList CurvePage::cursorReading() const {
    if (!hasCursor_) return {};
    const int i = PointAtOrBefore(cursorKey_);
    if (i < 0) return {tr("游标之前没有数据")};
    QStringList texts;
    texts << (timeAxis_ ? tr("时间 %1").arg(StampText(stamps_[static_cast<std::size_t>(i)],
                                                      QStringLiteral("HH:mm:ss.zzz")))
                        : tr("序号 %1").arg(i));
    for (const QCPGraph* graph : series_)
        if (graph->visible())
            texts << QStringLiteral("%1 = %2").arg(graph->name(),
                                                   ValueText(graph->data()->at(i)->value));
    return texts;
}

void CurvePage::ShowCursorReading() {
    // The label wraps between the entries only, never inside "A相电压 = 22000".
    QString text;
    for (const QString& entry : cursorReading()) {
        if (!text.isEmpty()) text += QStringLiteral("    ");
        for (qsizetype i = 0; i < entry.size(); ++i) {
            if (i > 0) text += QChar(0x2060); // word joiner
            text += entry[i] == QLatin1Char(' ') ? QChar(0xA0) : entry[i];
        }
    }
    reading_->setText(text);
}

// ---- CSV ---------------------------------------------------------------------------------------

void CurvePage::BitBtn_ExportCsvClick() {
    const bool anyShown =
        std::any_of(series_.begin(), series_.end(), [](QCPGraph* g) { return g->visible(); });
    if (pointCount() == 0 || !anyShown) {
        Ui().inform(this, NoDataMessage());
        return;
    }
    const QString chosen = Ui().saveFileName(this, tr("曲线数据.csv"), tr("CSV 文件 (*.csv)"));
    if (chosen.isEmpty()) return;
    QString path = chosen;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    if (NeedsOverwriteQuestion(path) && !Ui().ask(this, OverwriteQuestion(), OverwriteCaption()))
        return;
    Ui().inform(this, WriteCsv(path) ? ExportSucceededMessage() : ExportFailedMessage());
}

bool CurvePage::WriteCsv(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    std::vector<const QCPGraph*> shown;
    for (const QCPGraph* graph : series_)
        if (graph->visible()) shown.push_back(graph);
    // The byte-order mark lets spreadsheet programs on Windows read the Chinese as UTF-8.
    QByteArray chunk("\xEF\xBB\xBF");
    QString line = CsvQuoted(tr("时间"));
    for (const QCPGraph* graph : shown)
        line += QLatin1Char(',') + CsvQuoted(graph->name());
    chunk += line.toUtf8() + "\r\n";
    // Every point went to every series, so row i is point i of each; the time column is the
    // wall-clock time of the read whichever bottom axis is shown.
    const int count = pointCount();
    for (int i = 0; i < count; ++i) {
        line = StampText(stamps_[static_cast<std::size_t>(i)],
                         QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        for (const QCPGraph* graph : shown)
            line += QLatin1Char(',') + ValueText(graph->data()->at(i)->value);
        chunk += line.toUtf8() + "\r\n";
        if (chunk.size() >= (1 << 16)) {
            if (file.write(chunk) != chunk.size()) return false;
            chunk.clear();
        }
    }
    if (file.write(chunk) != chunk.size()) return false;
    return file.commit();
}
