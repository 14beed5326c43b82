#pragma once
// CurvePage: the curve page "曲线监测" (objectName TabSheet3): the chart Chart with its thirteen
// line series, the thirteen check boxes with their line swatches and the button BitBtn_ReadQX. It
// runs Thread_Readqx as a job of the device session and plots the points the loop hands over.
// The series sit on four stacked plots, one per quantity (powers, frequency, voltages, currents)
// so that 220 V, 5 A and 50 Hz each get a scale of their own; the four share one bottom axis range.
// Each phase has its own colour and its own line pattern, so the phases can be told apart without
// colour too. A cursor (left button) reads every shown series at one instant, and "导出CSV"
// writes what is plotted to a file.
// For long sessions the bottom axis can show the wall-clock time instead of the point index,
// the user can pan (right button) and zoom (wheel) while points arrive (the page then stops moving
// the axes until "跟随最新" is pressed), and every point is kept. The chart repaints at most 25
// times a second, less often when a repaint grows long.
// GUI thread only.

#include "acquire/curve_thread.h"

#include <QColor>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

class CurveHost;
class DeviceSession;
class QCheckBox;
class QCustomPlot;
class QCPAxis;
class QCPAxisRect;
class QCPGraph;
class QCPItemStraightLine;
class QCPLegend;
class QCPRange;
class QLabel;
class QMouseEvent;
class QPushButton;
class QTimer;

// The stacked plots of the chart, top to bottom.
enum CurveQuantity : int {
    kCurvePower,
    kCurveFrequency,
    kCurveVoltage,
    kCurveCurrent,
    kCurveQuantityCount
};

// Caption, check-box name, line and plot of each series in chart order.
struct CurveSeriesSpec {
    const char* box;
    const char* caption;
    QColor colour;
    Qt::PenStyle style; // the second cue beside the colour
    CurveQuantity quantity;
};
const std::array<CurveSeriesSpec, kCurveSeriesCount>& CurveSeriesSpecs();

class CurvePage : public QWidget {
    Q_OBJECT
public:
    // The repaint timer: at most one repaint per this many ms, however fast points arrive.
    static constexpr int kRepaintIntervalMs = 40;
    // ... and at least this often, however long a repaint takes.
    static constexpr int kLongestRepaintIntervalMs = 1000;
    // The bottom axis maximum of the window's initial layout.
    static constexpr int kInitialAxisMaximum = 25;

    explicit CurvePage(CurveHost& host, QWidget* parent = nullptr);
    ~CurvePage() override;

    // Stops a running curve reading as the stop button does (the window's closing uses it):
    // cancels the job and returns at once; the button stays disabled until the job has ended,
    // and then the page and the host return to their idle state.
    void StopCurve();
    // True from the start of a curve reading until its job has ended (CurveRunning).
    bool isRunning() const { return thread_ != nullptr; }
    // True from a stop until the job has ended.
    bool isStopping() const { return stopping_; }

    // The bottom axis: point index (false, the default) or wall-clock time (true). Switching
    // moves every point already plotted.
    void SetTimeAxis(bool on);
    bool timeAxis() const { return timeAxis_; }
    // False once the user has dragged or zoomed; FollowLatest makes the axes follow again.
    bool isFollowing() const { return following_; }
    void FollowLatest();

    QCustomPlot* chart() const { return chart_; }
    QCPGraph* series(int k) const { return series_.at(static_cast<std::size_t>(k)); }
    // The plot of a quantity; chart()->axisRect() is the top one (powers).
    QCPAxisRect* quantityRect(CurveQuantity q) const { return rects_.at(q); }

    // The cursor: a vertical line at one instant (a key of the bottom axis) across the four plots
    // and a reading of every shown series at the last point at or before it. The left button
    // places it.
    void SetCursor(double key);
    void ClearCursor();
    bool hasCursor() const { return hasCursor_; }
    double cursorKey() const { return cursorKey_; }
    // The reading: the instant of the point read ("序号 5" or "时间 12:00:01.350"), then
    // "caption = value" for every shown series in chart order; one text when no point lies at or
    // before the cursor; empty without a cursor.
    QStringList cursorReading() const;
    // Points in each series since the last start.
    int pointCount() const { return static_cast<int>(stamps_.size()); }
    // Repaints done by the repaint timer (tests and benchmarks).
    int repaintCount() const { return repaints_; }
    // The running loop, null when none runs (tests look at its counters).
    Thread_Readqx* curveThread() const { return thread_.get(); }

public slots:
    void BitBtn_ReadQXClick();
    // "导出CSV": what is plotted, one row per point (its wall-clock time, then every shown series).
    void BitBtn_ExportCsvClick();
    // A good read: one point to every series, shown or not.
    void ShowCurvePoint(const CurvePoint& point);
    // A failed read's text for the status bar.
    void ShowStatusText(const QString& text);

private:
    void BuildChart();
    void BuildControls();
    void ClearSeries();
    // The end of the reading's job: the page and the host return to their idle state.
    void CurveEnded();
    void SeriesBoxClick(int k, bool checked);
    void ApplyFollowRange();
    // Every plot's bottom axis to the same range.
    void SetKeyRange(const QCPRange& range);
    void RangeChangedByUser();
    void ChartMousePress(QMouseEvent* event);
    void ChartMouseMove(QMouseEvent* event);
    void ShowCursorReading();
    void RebuildLegends();
    // The last point at or before key, -1 when none.
    int PointAtOrBefore(double key) const;
    bool WriteCsv(const QString& path) const;
    void ScheduleRepaint();
    void Repaint();
    double KeyOf(std::size_t index) const;

    CurveHost& host_;
    QCustomPlot* chart_ = nullptr;
    std::array<QCPGraph*, kCurveSeriesCount> series_{};
    std::array<QCPAxisRect*, kCurveQuantityCount> rects_{};
    std::array<QCPLegend*, kCurveQuantityCount> legends_{};
    std::array<QCPItemStraightLine*, kCurveQuantityCount> cursorLines_{};
    QLabel* reading_ = nullptr;
    QPushButton* exportCsv_ = nullptr;
    std::array<QCheckBox*, kCurveSeriesCount> boxes_{};
    QPushButton* readQX_ = nullptr;
    QCheckBox* timeAxisBox_ = nullptr;
    QPushButton* follow_ = nullptr;
    QTimer* reenable_ = nullptr;
    QTimer* repaint_ = nullptr;
    // Shared with the job, which may outlive the page when the page goes first.
    std::shared_ptr<Thread_Readqx> thread_;
    // The session the running reading was submitted to; null once it is gone.
    QPointer<DeviceSession> session_;
    bool stopping_ = false;

    // Wall-clock time of every point (seconds since the epoch), for the time axis.
    std::vector<double> stamps_;
    // Smallest and largest value of each series, for the automatic left axis.
    std::array<double, kCurveSeriesCount> low_{};
    std::array<double, kCurveSeriesCount> high_{};
    bool timeAxis_ = false;
    bool following_ = true;
    bool settingRange_ = false;
    bool syncingKeys_ = false;
    bool hasCursor_ = false;
    double cursorKey_ = 0;
    // A pan with the right button: the plot under the press and the last mouse position.
    QCPAxisRect* panRect_ = nullptr;
    bool cursorDragging_ = false;
    QPointF panFrom_;
    int repaints_ = 0;
};
