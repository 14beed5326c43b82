#include "gui/curves/curve_page.h"

#include "common/conversion.h"
#include "gui/curves/curve_host.h"
#include "gui/kit/messages.h"
#include "session/device_session.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <qcustomplot.h>

namespace {

constexpr int kReenableMs = 200;

// The line colours are the classic chart palette in series order; the white series gets a light
// grey swatch so that it can be seen on the panel.
const std::array<CurveSeriesSpec, kCurveSeriesCount> kSeries{{
    {"CBox_PA", "A相有功功率", QColor(255, 0, 0), QColor(255, 0, 0)},
    {"CBox_PB", "B相有功功率", QColor(0, 128, 0), QColor(0, 128, 0)},
    {"CBox_PC", "C相有功功率", QColor(255, 255, 0), QColor(255, 255, 0)},
    {"CBox_QA", "A相无功功率", QColor(0, 0, 255), QColor(0, 0, 255)},
    {"CBox_QB", "B相无功功率", QColor(255, 255, 255), QColor(211, 211, 211)},
    {"CBox_QC", "C相无功功率", QColor(128, 128, 128), QColor(128, 128, 128)},
    {"CBox_F", "频率", QColor(255, 0, 255), QColor(255, 0, 255)},
    {"CBox_UA", "A相电压", QColor(0, 128, 128), QColor(0, 128, 128)},
    {"CBox_UB", "B相电压", QColor(0, 0, 128), QColor(0, 0, 128)},
    {"CBox_UC", "C相电压", QColor(128, 0, 0), QColor(128, 0, 0)},
    {"CBox_IA", "A相电流", QColor(0, 255, 0), QColor(0, 255, 0)},
    {"CBox_IB", "B相电流", QColor(128, 128, 0), QColor(128, 128, 0)},
    {"CBox_IC", "C相电流", QColor(128, 0, 128), QColor(128, 0, 128)},
}};

// The plot's back wall is the panel grey of the classic chart rather than white, so that the
// white series shows.
const QColor kBackWall(212, 208, 200);

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
    chart_->plotLayout()->insertRow(0);
    QFont titleFont = font();
    titleFont.setBold(true);
    chart_->plotLayout()->addElement(
        0, 0, new QCPTextElement(chart_, QStringLiteral("三相电参数采集模块曲线数据"), titleFont));
    chart_->legend->setVisible(false);
    chart_->axisRect()->setBackground(kBackWall);
    for (int k = 0; k < kCurveSeriesCount; ++k) {
        QCPGraph* graph = chart_->addGraph();
        graph->setName(QString::fromUtf8(kSeries[k].caption));
        graph->setPen(QPen(kSeries[k].colour, 1));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        // Adaptive sampling draws a series of a million points in the cost of a few thousand.
        graph->setAdaptiveSampling(true);
        series_[k] = graph;
    }
    settingRange_ = true;
    chart_->xAxis->setRange(0, kInitialAxisMaximum);
    chart_->yAxis->setRange(0, 10);
    settingRange_ = false;
    chart_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    // A drag or zoom of the user stops the axes from following new points.
    connect(chart_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &CurvePage::RangeChangedByUser);
    connect(chart_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &CurvePage::RangeChangedByUser);
}

void CurvePage::BuildControls() {
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(chart_, 1);

    auto* side = new QVBoxLayout;
    auto* boxes = new QGridLayout;
    for (int k = 0; k < kCurveSeriesCount; ++k) {
        auto* swatch = new QLabel(this);
        swatch->setObjectName(QStringLiteral("Swatch_") +
                              QString::fromLatin1(kSeries[k].box).mid(5));
        swatch->setFixedSize(16, 10);
        swatch->setAutoFillBackground(true);
        QPalette palette = swatch->palette();
        palette.setColor(QPalette::Window, kSeries[k].swatch);
        swatch->setPalette(palette);
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
    side->addStretch(1);

    readQX_ = new QPushButton(QStringLiteral("读曲线"), this);
    readQX_->setObjectName(QStringLiteral("BitBtn_ReadQX"));
    readQX_->setMinimumHeight(32);
    connect(readQX_, &QPushButton::clicked, this, &CurvePage::BitBtn_ReadQXClick);
    side->addWidget(readQX_);
    layout->addLayout(side);
}

void CurvePage::ClearSeries() {
    for (QCPGraph* graph : series_)
        graph->data()->clear();
    stamps_.clear();
    stamps_.shrink_to_fit();
    low_.fill(0);
    high_.fill(0);
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
        chart_->xAxis->setRange(0, CurveAxisMaximum(0));
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
    if (following_) ApplyFollowRange();
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
        chart_->xAxis->setRange(start,
                                std::max(start + kTimeSpanMinimumS, last + 0.05 * span + 1.0));
    } else if (count > 0) {
        chart_->xAxis->setRange(0, CurveAxisMaximum(count));
    }
    // The left axis is automatic over the series shown.
    bool any = false;
    double low = 0, high = 0;
    if (count > 0)
        for (int k = 0; k < kCurveSeriesCount; ++k) {
            if (!series_[k]->visible()) continue;
            low = any ? std::min(low, low_[k]) : low_[k];
            high = any ? std::max(high, high_[k]) : high_[k];
            any = true;
        }
    if (any) {
        const double margin = high > low ? (high - low) * 0.05 : 1.0;
        chart_->yAxis->setRange(low - margin, high + margin);
    }
    settingRange_ = false;
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
        chart_->xAxis->setRange(0, thread_ ? CurveAxisMaximum(0) : chart_->xAxis->range().upper);
        settingRange_ = false;
    }
    ApplyFollowRange();
    ScheduleRepaint();
}

void CurvePage::SetTimeAxis(bool on) {
    timeAxisBox_->setChecked(on);
    if (on == timeAxis_) return;
    timeAxis_ = on;
    for (QCPGraph* graph : series_) {
        std::size_t i = 0;
        for (auto it = graph->data()->begin(); it != graph->data()->end(); ++it, ++i)
            it->key = KeyOf(i);
    }
    if (on) {
        auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
        ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss"));
        chart_->xAxis->setTicker(ticker);
    } else {
        chart_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    }
    // The old range means nothing on the new axis: follow again.
    following_ = true;
    follow_->setEnabled(false);
    settingRange_ = true;
    if (!on && pointCount() == 0) chart_->xAxis->setRange(0, CurveAxisMaximum(0));
    settingRange_ = false;
    ApplyFollowRange();
    ScheduleRepaint();
}

void CurvePage::ScheduleRepaint() {
    if (!repaint_->isActive()) repaint_->start();
}

void CurvePage::Repaint() {
    ++repaints_;
    QElapsedTimer timer;
    timer.start();
    chart_->replot();
    // A chart of millions of points takes tens of ms to draw: space the repaints so that drawing
    // never takes more than about a quarter of the window's time.
    const qint64 tookMs = timer.elapsed();
    repaint_->setInterval(static_cast<int>(
        std::clamp<qint64>(4 * tookMs, kRepaintIntervalMs, kLongestRepaintIntervalMs)));
}
