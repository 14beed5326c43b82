#include "gui/check/check_page.h"

#include "acquire/dlt645_pass.h"
#include "acquire/read_thread.h"
#include "acquire/rows.h"
#include "acquire/unit_check.h"
#include "common/address_list.h"
#include "common/conversion.h"
#include "gui/check/check_host.h"
#include "gui/kit/messages.h"
#include "report/record_report.h"
#include "report/workbook_writer.h"
#include "session/device_session.h"
#include "store/settings.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace {

constexpr int kColumns = 3;
constexpr int kDesignWidths[kColumns] = {34, 172, 336};
constexpr int kMinimumTotalWidth = 543;
constexpr int kTitleRowHeight = 28;
constexpr int kRowHeight = 21;
constexpr int kReenableCheckMs = 200;
const QColor kFailedColour(255, 0, 0);
const QColor kStatusColour(0, 255, 0);
// A value of an earlier cycle, shown while the module does not answer.
const QColor kStaleColour(150, 150, 150);
// A pale selection under which red and grey text stay readable.
const QColor kSelectionColour(204, 228, 247);
// Set on a value cell while it holds a value of an earlier cycle than the last one.
constexpr int kStaleRole = Qt::UserRole + 1;

struct RadioSpec {
    const char* name;
    const char* caption;
};

constexpr std::array<RadioSpec, 5> kVoltageButtons{{{"RButton_U0In", "0%"},
                                                    {"RButton_U10In", "10%"},
                                                    {"RButton_U50In", "50%"},
                                                    {"RButton_U100In", "100%"},
                                                    {"RButton_U120In", "120%"}}};
constexpr std::array<RadioSpec, 5> kCurrentButtons{{{"RButton_I0In", "0%"},
                                                    {"RButton_I1In", "1%"},
                                                    {"RButton_I50In", "50%"},
                                                    {"RButton_I100In", "100%"},
                                                    {"RButton_I120In", "120%"}}};
constexpr std::array<RadioSpec, 6> kAngleButtons{{{"RButton_0d", "0°"},
                                                  {"RButton_30d", "30°"},
                                                  {"RButton_60d", "60°"},
                                                  {"RButton_90d", "90°"},
                                                  {"RButton_300d", "300°"},
                                                  {"RButton_330d", "330°"}}};
constexpr std::array<RadioSpec, 5> kFrequencyButtons{{{"RButton_45Hz", "45Hz"},
                                                      {"RButton_50Hz", "50Hz"},
                                                      {"RButton_55Hz", "55Hz"},
                                                      {"RButton_60Hz", "60Hz"},
                                                      {"RButton_65Hz", "65Hz"}}};

template <std::size_t N>
QButtonGroup* AddRadioGroup(QWidget* owner, QHBoxLayout* row, const char* groupName,
                            const QString& title, const std::array<RadioSpec, N>& buttons) {
    auto* box = new QGroupBox(title, owner);
    box->setObjectName(QString::fromLatin1(groupName));
    // Three choices a line: four groups side by side keep every caption readable at the
    // window's minimum width.
    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setVerticalSpacing(2);
    auto* group = new QButtonGroup(box);
    for (std::size_t i = 0; i < N; ++i) {
        auto* button = new QRadioButton(QString::fromUtf8(buttons[i].caption), box);
        button->setObjectName(QString::fromLatin1(buttons[i].name));
        group->addButton(button, static_cast<int>(i));
        layout->addWidget(button, int(i / 3), int(i % 3));
    }
    group->button(0)->setChecked(true);
    row->addWidget(box);
    return group;
}

// The grid's title stays in view while the rows scroll: it is painted as one header section
// across all columns. Row 0 keeps the title text (hidden) for whoever reads the grid's cells, as
// the export does.
class TitleHeader : public QHeaderView {
public:
    explicit TitleHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        setSectionsClickable(false);
        setHighlightSections(false);
        QFont bold = font();
        bold.setBold(true);
        setFont(bold);
    }
    void setTitle(const QString& title) {
        title_ = title;
        viewport()->update();
    }
    QSize sizeHint() const override {
        QSize size = QHeaderView::sizeHint();
        size.setHeight(kTitleRowHeight);
        return size;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(viewport());
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = QRect(-offset(), 0, length(), height());
        option.text = title_;
        option.textAlignment = Qt::AlignCenter;
        option.position = QStyleOptionHeader::OnlyOneSection;
        style()->drawControl(QStyle::CE_Header, &option, &painter, this);
    }

private:
    QString title_;
};

// A selected row keeps its text colours (a failed value stays red) on a pale highlight, and a
// stale value is drawn grey. The item's own foreground is untouched: the export reads it.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(kStaleRole).toBool()) option->palette.setColor(QPalette::Text, kStaleColour);
        option->palette.setColor(QPalette::Highlight, kSelectionColour);
        option->palette.setBrush(QPalette::HighlightedText, option->palette.brush(QPalette::Text));
    }
};

// Columns 0 and 1 are centred, except in the status row.
void AlignLikeTheGrid(QTableWidgetItem* item, int row, int column) {
    if (column <= 1 && row != 1) item->setTextAlignment(Qt::AlignCenter);
}

QTableWidgetItem* CellAt(QTableWidget* grid, int row, int column) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        AlignLikeTheGrid(item, row, column);
        grid->setItem(row, column, item);
    }
    return item;
}

template <std::size_t N>
double Choice(const QButtonGroup* group, const double (&values)[N], double fallback) {
    const int id = group->checkedId();
    return id >= 0 && id < static_cast<int>(N) ? values[id] : fallback;
}

} // namespace

CheckPage::CheckPage(CheckHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("TabSheet2"));
    qRegisterMetaType<QList<AcquiredRow>>();
    BuildGrid();
    BuildControls();
    reenableCheck_ = new QTimer(this);
    reenableCheck_->setSingleShot(true);
    reenableCheck_->setInterval(kReenableCheckMs);
    connect(reenableCheck_, &QTimer::timeout, this, [this] {
        if (!stopping_ && !exporting_) check_->setEnabled(true);
    });
}

CheckPage::~CheckPage() {
    // The host may already be half destroyed (the page dies with the main window's children, after
    // its session): nothing calls back into it. A job still running when the page goes first is
    // cancelled; it keeps its own share of the loop until it ends.
    if (thread_) {
        thread_->disconnect(this);
        if (session_) session_->Cancel();
    }
    // The export writes only its own file: let it finish rather than leave it half written.
    if (exportWorker_) {
        exportWorker_->disconnect(this);
        exportWorker_->wait();
    }
}

void CheckPage::BuildGrid() {
    grid_ = new QTableWidget(kFirstDataRow + 1, kColumns, this);
    grid_->setObjectName(QStringLiteral("AdvStringGrid"));
    auto* title = new TitleHeader(grid_);
    title->setTitle(GridTitleText());
    grid_->setHorizontalHeader(title);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setItemDelegate(new GridDelegate(grid_));
    for (int c = 0; c < kColumns; ++c)
        grid_->setColumnWidth(c, kDesignWidths[c]);
    // The value column takes what the window's width leaves.
    grid_->horizontalHeader()->setStretchLastSection(true);
    PrepareGrid();
}

void CheckPage::BuildVerdictPanel(QWidget* panel) {
    panel->setObjectName(QStringLiteral("VerdictPanel"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    verdictLabel_ = new QLabel(panel);
    verdictLabel_->setObjectName(QStringLiteral("VerdictLabel"));
    verdictLabel_->setAlignment(Qt::AlignCenter);
    verdictLabel_->setMinimumHeight(56);
    QFont large = verdictLabel_->font();
    large.setPointSize(large.pointSize() * 2);
    large.setBold(true);
    verdictLabel_->setFont(large);
    verdictLabel_->setAutoFillBackground(true);
    verdictLabel_->setWordWrap(true);
    layout->addWidget(verdictLabel_);
    verdictTable_ = new QTableWidget(0, 6, panel);
    verdictTable_->setObjectName(QStringLiteral("VerdictTable"));
    verdictTable_->verticalHeader()->hide();
    verdictTable_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    verdictTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    verdictTable_->setSelectionMode(QAbstractItemView::NoSelection);
    verdictTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    verdictTable_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(verdictTable_, 1);
    ShowVerdict();
}

namespace {
// What the operator is asked before a point of a plan.
QString PlanPointRequest(qsizetype index, qsizetype count, const TestPlanPoint& p) {
    return QCoreApplication::translate(
               "CheckPage", "测试点 %1/%2：请将标准源设为 U %3% I %4% %5° %6Hz，然后点 继续")
        .arg(index + 1)
        .arg(count)
        .arg(p.voltagePercent)
        .arg(p.currentPercent)
        .arg(p.angle)
        .arg(p.frequency);
}

QString Figure(double v, const QString& unit) {
    if (!std::isfinite(v)) return QStringLiteral("—");
    return QString::number(v, 'f', std::fabs(v) >= 1000 ? 1 : 3) +
           (unit.isEmpty() ? "" : " " + unit);
}
} // namespace

void CheckPage::ShowVerdict() {
    QPalette palette = verdictLabel_->palette();
    QString text;
    QColor colour = palette.color(QPalette::Window);
    if (!running_ && cyclesEnded_ == 0) {
        text = tr("未检验");
    } else if (verdict_.settled()) {
        const int failures = verdict_.failures();
        text = failures == 0 ? tr("合格") : tr("不合格（%1 项）").arg(failures);
        colour = failures == 0 ? QColor(0, 170, 0) : kFailedColour;
    } else if (cyclesEnded_ > 0 && !verdict_.anyAnswered()) {
        text = tr("无应答");
        colour = kFailedColour;
    } else {
        text = tr("稳定中 %1/%2").arg(verdict_.goodCycles()).arg(verdict_.settleCycles());
    }
    verdictLabel_->setText(text);
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::WindowText, colour == palette.color(QPalette::Base)
                                               ? palette.color(QPalette::WindowText)
                                               : QColor(Qt::white));
    verdictLabel_->setPalette(palette);

    verdictTable_->setHorizontalHeaderLabels(
        {tr("名称"), tr("期望值"), tr("测量值"), tr("误差"), tr("限值"), tr("结论")});
    // Failures first: a red value must never be the one scrolled out of sight.
    QList<VerdictLine> lines = verdict_.lines();
    std::stable_partition(lines.begin(), lines.end(),
                          [](const VerdictLine& line) { return line.failed; });
    verdictTable_->setRowCount(static_cast<int>(lines.size()));
    for (int r = 0; r < lines.size(); ++r) {
        const VerdictLine& line = lines[r];
        const bool errorInHz = line.quantity == QStringLiteral("F");
        const QString errorUnit = errorInHz ? QStringLiteral("Hz") : QStringLiteral("%");
        const QStringList cells{
            line.name,
            line.check.checked ? Figure(line.check.expected, line.unit) : QStringLiteral("—"),
            line.check.checked ? Figure(line.check.measured, line.unit) : line.text,
            line.check.checked ? Figure(line.check.error, errorUnit) : QStringLiteral("—"),
            line.check.checked ? Figure(line.check.limit, errorUnit) : QStringLiteral("—"),
            line.failed ? tr("不合格") : tr("合格")};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (line.failed) item->setForeground(kFailedColour);
            verdictTable_->setItem(r, c, item);
        }
    }
}

void CheckPage::BuildControls() {
    auto* layout = new QVBoxLayout(this);

    // Who and what is tested: the scanner ends a serial number with Enter, which starts the
    // check; the operator's name stays from one session to the next.
    auto* identity = new QHBoxLayout;
    identity->addWidget(new QLabel(tr("序列号："), this));
    serial_ = new QLineEdit(this);
    serial_->setObjectName(QStringLiteral("LE_Serial"));
    serial_->setPlaceholderText(tr("扫描或输入产品序列号"));
    identity->addWidget(serial_, 2);
    identity->addWidget(new QLabel(tr("操作员："), this));
    operator_ = new QLineEdit(LoadOperator(host_.dataFolder()), this);
    operator_->setObjectName(QStringLiteral("LE_Operator"));
    identity->addWidget(operator_, 1);
    identity->addWidget(new QLabel(tr("地址列表："), this));
    addresses_ = new QLineEdit(this);
    addresses_->setObjectName(QStringLiteral("LE_Addresses"));
    addresses_->setPlaceholderText(tr("如 1-8；空：串口设置的地址"));
    identity->addWidget(addresses_, 1);
    identity->addWidget(new QLabel(tr("检验方案："), this));
    plan_ = new QComboBox(this);
    plan_->setObjectName(QStringLiteral("CB_Plan"));
    plan_->setMinimumWidth(140);
    identity->addWidget(plan_);
    continue_ = new QPushButton(tr("继续"), this);
    continue_->setObjectName(QStringLiteral("BitBtn_Continue"));
    continue_->setEnabled(false);
    identity->addWidget(continue_);
    connect(continue_, &QPushButton::clicked, this, &CheckPage::ContinueClick);
    layout->addLayout(identity);
    connect(serial_, &QLineEdit::returnPressed, this, [this] {
        if (!running_) BitBtn_CheckClick();
    });
    connect(operator_, &QLineEdit::editingFinished, this, [this] {
        try {
            SaveOperator(host_.dataFolder(), operator_->text().trimmed());
        } catch (const ConversionError& e) {
            Ui().error(this, e.text());
        }
    });

    auto* results = new QHBoxLayout;
    results->addWidget(grid_, 3);
    auto* verdictPanel = new QWidget(this);
    BuildVerdictPanel(verdictPanel);
    results->addWidget(verdictPanel, 2);
    layout->addLayout(results, 1);

    auto* points = new QHBoxLayout;
    voltage_ = AddRadioGroup(this, points, "GroupBox_U", tr("电压U"), kVoltageButtons);
    current_ = AddRadioGroup(this, points, "GroupBox_I", tr("电流I"), kCurrentButtons);
    angle_ = AddRadioGroup(this, points, "GroupBox_A", tr("角度Φ"), kAngleButtons);
    frequency_ = AddRadioGroup(this, points, "GroupBox_F", tr("频率F"), kFrequencyButtons);
    layout->addLayout(points);
    for (QButtonGroup* group : {voltage_, current_, angle_, frequency_})
        connect(group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
            if (checked) TestPointChanged();
        });

    // The button row keeps the positions of the original panel: 检查数据 moves between the left
    // edges 240 and 48 with the protocol.
    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("JY_Pdata"));
    panel_->setMinimumHeight(48);
    pzData_ = new QRadioButton(tr("读配置数据"), panel_);
    pzData_->setObjectName(QStringLiteral("RButton_PZdata"));
    pzData_->setGeometry(8, 2, 100, 22);
    pzData_->setChecked(true);
    xbData_ = new QRadioButton(tr("读谐波数据"), panel_);
    xbData_->setObjectName(QStringLiteral("RButton_XBdata"));
    xbData_->setGeometry(8, 24, 100, 22);
    bitBtn15_ = new QPushButton(tr("读取配置"), panel_);
    bitBtn15_->setObjectName(QStringLiteral("BitBtn15"));
    bitBtn15_->setGeometry(120, 8, 100, 32);
    // Hidden for every protocol: the read-back belongs to the calibration page, where the
    // product selection runs with it.
    bitBtn15_->setVisible(false);
    check_ = new QPushButton(tr("检查数据"), panel_);
    check_->setObjectName(QStringLiteral("BitBtn_Check"));
    check_->setGeometry(240, 8, 100, 32);
    save_ = new QPushButton(tr("保存数据"), panel_);
    save_->setObjectName(QStringLiteral("BitBtn16"));
    save_->setGeometry(360, 8, 100, 32);
    layout->addWidget(panel_);

    connect(check_, &QPushButton::clicked, this, &CheckPage::BitBtn_CheckClick);
    connect(save_, &QPushButton::clicked, this, &CheckPage::BitBtn16Click);
    connect(bitBtn15_, &QPushButton::clicked, this, &CheckPage::ReadConfigurationClicked);
}

void CheckPage::PrepareGrid() {
    grid_->clearContents();
    grid_->clearSpans();
    grid_->setRowCount(kFirstDataRow + 1);
    grid_->setSpan(0, 0, 1, kColumns);
    grid_->setSpan(1, 0, 1, kColumns);
    grid_->setRowHeight(0, kTitleRowHeight);
    grid_->setRowHidden(0, true); // shown by the fixed header above the rows
    QTableWidgetItem* title = CellAt(grid_, 0, 0);
    title->setText(GridTitleText());
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setFlags(Qt::ItemIsEnabled);
    QTableWidgetItem* status = CellAt(grid_, 1, 0);
    status->setBackground(kStatusColour);
    status->setText(GridInitialStatusText());
    status->setFlags(Qt::ItemIsEnabled);
    // No row starts selected: a selection must never be what hides a red value.
    grid_->clearSelection();
    grid_->setCurrentItem(nullptr);
    markedRow_ = -1;
}

void CheckPage::ShowRows(int firstRow, const QList<AcquiredRow>& rows, bool rowsBuilt,
                         bool dlt645Mode) {
    const QPalette palette = grid_->palette();
    const QFontMetrics metrics(grid_->font());
    int widths[kColumns] = {0, 0, 0};
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const int r = firstRow + static_cast<int>(i);
        const AcquiredRow& row = rows[i];
        if (!rowsBuilt) {
            if (r > kFirstDataRow) grid_->setRowCount(r + 1);
            CellAt(grid_, r, 0)->setText(QString::number(r - 1));
            CellAt(grid_, r, 1)->setText(row.name);
        } else if (r >= grid_->rowCount()) {
            grid_->setRowCount(r + 1); // a later pass with more rows than the first
            CellAt(grid_, r, 0)->setText(QString::number(r - 1));
            CellAt(grid_, r, 1)->setText(row.name);
        }
        QTableWidgetItem* value = CellAt(grid_, r, 2);
        if (dlt645Mode) {
            // Red marks the item being read, and only that one: a pass that stopped early must
            // not leave its marker behind when the next pass starts at the top.
            ClearMarker();
            if (r != grid_->rowCount() - 1) {
                value->setBackground(kFailedColour);
                markedRow_ = r;
            }
        }
        value->setText(row.value);
        value->setData(kStaleRole, false);
        const qsizetype index = r - kFirstDataRow;
        if (index >= shown_.size()) shown_.resize(index + 1);
        shown_[index] = row;
        value->setForeground(row.checkFailed ? kFailedColour : palette.color(QPalette::WindowText));
        if (!rowsBuilt) {
            widths[0] = std::max(widths[0], metrics.horizontalAdvance(QString::number(r - 1)));
            widths[1] = std::max(widths[1], metrics.horizontalAdvance(row.name));
            widths[2] = std::max(widths[2], metrics.horizontalAdvance(row.value));
        }
    }
    if (!rowsBuilt && !rows.isEmpty()) {
        // Columns fit their content (the title and status rows span all three and do not count).
        int total = 0;
        for (int c = 0; c < kColumns; ++c) {
            for (int r = kFirstDataRow; r < firstRow; ++r)
                if (const QTableWidgetItem* item = grid_->item(r, c))
                    widths[c] = std::max(widths[c], metrics.horizontalAdvance(item->text()));
            grid_->setColumnWidth(c, widths[c] + 12);
            total += widths[c] + 12;
        }
        if (total < kMinimumTotalWidth) grid_->setColumnWidth(2, kMinimumTotalWidth);
    }
}

void CheckPage::CycleEnded(bool failed) {
    ++cyclesEnded_;
    // While the operator sets the reference source the readings belong to no point.
    if (waiting_) return;
    const bool taken = verdict_.CycleEnded(failed, shown_);
    ShowVerdict();
    if (!taken || plan_points_.isEmpty() || stopping_) return;
    // The point has settled: it goes into the record, and the plan moves on.
    AddPointToRecord(record_, CurrentTestPoint(), verdict_);
    if (++planIndex_ < plan_points_.size()) {
        AskForPlanPoint();
    } else {
        StopCheck();
    }
}

void CheckPage::ReloadPlans() {
    plans_.clear();
    if (!host_.database().SelectPlans(host_.modelText(), plans_)) plans_.clear();
    const QString current = plan_->currentText();
    plan_->clear();
    plan_->addItem(tr("单点"));
    for (const TestPlan& plan : plans_)
        plan_->addItem(plan.name);
    const int again = plan_->findText(current);
    plan_->setCurrentIndex(again > 0 ? again : 0);
}

void CheckPage::SelectPoint(const TestPlanPoint& point) {
    const auto select = [](QButtonGroup* group, const auto& values, double value) {
        for (std::size_t i = 0; i < std::size(values); ++i)
            if (std::fabs(values[i] - value) < 1e-9)
                if (QAbstractButton* button = group->button(static_cast<int>(i)))
                    button->setChecked(true);
    };
    select(voltage_, kVoltageFactors, point.voltagePercent / 100);
    select(current_, kCurrentFactors, point.currentPercent / 100);
    select(angle_, kAngles, point.angle);
    select(frequency_, kFrequencies, point.frequency);
}

void CheckPage::AskForPlanPoint() {
    const TestPlanPoint& p = plan_points_[planIndex_];
    SelectPoint(p);
    verdict_.Reset();
    waiting_ = true;
    continue_->setEnabled(true);
    verdictLabel_->setText(PlanPointRequest(planIndex_, plan_points_.size(), p));
}

void CheckPage::ContinueClick() {
    if (!waiting_ || !running_) return;
    waiting_ = false;
    continue_->setEnabled(false);
    if (batch_) return batch_->Continue();
    verdict_.Reset();
    ShowVerdict();
}

void CheckPage::ShowStatusLine(const QString& text, bool failed) {
    QTableWidgetItem* status = CellAt(grid_, 1, 0);
    status->setText(text);
    status->setForeground(failed ? QBrush(kFailedColour) : QBrush());
    if (!failed) return;
    // What the grid shows now comes from an earlier cycle: grey until a value is read again.
    ClearMarker();
    for (int r = kFirstDataRow; r < grid_->rowCount(); ++r)
        if (QTableWidgetItem* value = grid_->item(r, 2)) value->setData(kStaleRole, true);
}

void CheckPage::ClearMarker() {
    if (markedRow_ >= kFirstDataRow && markedRow_ < grid_->rowCount())
        CellAt(grid_, markedRow_, 2)
            ->setBackground(grid_->palette().color(QPalette::HighlightedText));
    markedRow_ = -1;
}

TestPoint CheckPage::CurrentTestPoint() const {
    const TestPoint defaults;
    return {Choice(voltage_, kVoltageFactors, defaults.ku),
            Choice(current_, kCurrentFactors, defaults.ki), Choice(angle_, kAngles, defaults.angle),
            Choice(frequency_, kFrequencies, defaults.frequency)};
}

ExportTestPoint CheckPage::CurrentExportTestPoint() const {
    return {voltage_->checkedId(), current_->checkedId(), angle_->checkedId(),
            frequency_->checkedId()};
}

void CheckPage::TestPointChanged() {
    // Readings of another point must settle again before they say anything of the unit.
    verdict_.Reset();
    if (running_) ShowVerdict();
    if (thread_) thread_->SetTestPoint(CurrentTestPoint());
}

void CheckPage::ApplyProtocol(int txxy) {
    if (txxy < 0 || txxy > 4) return;
    const bool modbus = txxy == 0;
    pzData_->setVisible(modbus);
    xbData_->setVisible(modbus);
    if (txxy != 1 && txxy != 2) pzData_->setChecked(true);
    check_->move(modbus ? 240 : 48, check_->y());
}

void CheckPage::SetOwnControls(bool running) {
    plan_->setEnabled(!running);
    pzData_->setEnabled(!running);
    xbData_->setEnabled(!running);
    bitBtn15_->setEnabled(!running);
    save_->setEnabled(!running);
}

void CheckPage::BitBtn_CheckClick() {
    if (stopping_ || exporting_) return;
    if (!host_.portOpen()) {
        Ui().inform(this, tr("请打开串口！！"));
        return;
    }
    if (running_) {
        StopCheck();
        return;
    }
    int settleCycles = kDefaultSettleCycles;
    try {
        settleCycles = LoadSettleCycles(host_.dataFolder());
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
        return;
    }
    if (!addresses_->text().trimmed().isEmpty()) {
        StartAddressList(addresses_->text());
        return;
    }
    // Everything the loop needs is taken from the controls now; the job never reads a widget.
    auto loop =
        std::make_shared<Thread_Read>(host_.database(), host_.dataFolder(), host_.moduleAddress(),
                                      host_.modelText(), pzData_->isChecked());
    loop->SetTestPoint(CurrentTestPoint());
    connect(loop.get(), &Thread_Read::ShowRows, this, &CheckPage::ShowRows, Qt::QueuedConnection);
    connect(loop.get(), &Thread_Read::ShowStatusLine, this, &CheckPage::ShowStatusLine,
            Qt::QueuedConnection);
    connect(loop.get(), &Thread_Read::CycleEnded, this, &CheckPage::CycleEnded,
            Qt::QueuedConnection);
    DeviceSession& session = host_.session();
    const QPointer<CheckPage> page(this);
    const bool started = session.Submit(
        DeviceSession::State::Checking, tr("检查数据"),
        [loop](JobContext& job) mutable {
            loop->Run(job);
            // The loop is a GUI-thread object: its last share goes back there to be deleted.
            job.Post([last = std::move(loop)] {});
        },
        [page] {
            if (page) page->CheckEnded();
        });
    if (!started) {
        Ui().inform(this, DeviceSession::BusyText());
        return;
    }
    // The rows come queued, after this.
    PrepareGrid();
    shown_.clear();
    verdict_ = SettledVerdict(settleCycles);
    cyclesEnded_ = 0;
    record_ = host_.RecordTemplate();
    record_.kind = RecordKind::Check;
    record_.model = host_.modelText();
    record_.serial = serial_->text().trimmed();
    record_.operatorName = operator_->text().trimmed();
    record_.started = QDateTime::currentDateTime();
    plan_points_.clear();
    planIndex_ = 0;
    waiting_ = false;
    if (const int chosen = plan_->currentIndex(); chosen > 0 && chosen <= plans_.size()) {
        record_.plan = plans_[chosen - 1].name;
        plan_points_ = plans_[chosen - 1].points;
    }
    thread_ = std::move(loop);
    session_ = &session;
    ShowRunning(true);
    if (!plan_points_.isEmpty()) AskForPlanPoint();
}

void CheckPage::StopCheck() {
    if (!running_ || stopping_) return;
    stopping_ = true;
    reenableCheck_->stop();
    check_->setEnabled(false);
    if (batch_)
        batch_->Stop();
    else if (session_)
        session_->Cancel();
    else
        CheckEnded(); // the session has gone, and its job with it
}

void CheckPage::CheckEnded() {
    thread_.reset();
    session_ = nullptr;
    running_ = false;
    stopping_ = false;
    waiting_ = false;
    continue_->setEnabled(false);
    if (cyclesEnded_ > 0) RecordCheck();
    plan_points_.clear();
    ShowVerdict();
    ShowRunning(false);
}

bool CheckPage::StartAddressList(const QString& list) {
    QList<int> addresses;
    QString why;
    if (!ParseAddressList(list, addresses, why)) {
        Ui().inform(this, tr("地址列表错误：%1").arg(why));
        return false;
    }
    const QString serialText = serial_->text().trimmed();
    const QStringList serials =
        serialText.isEmpty() ? QStringList() : serialText.split(QLatin1Char(','));
    if (!serials.isEmpty() && serials.size() != addresses.size()) {
        Ui().inform(
            this,
            tr("序列号个数（%1）与地址个数（%2）不同！").arg(serials.size()).arg(addresses.size()));
        return false;
    }
    int settleCycles = kDefaultSettleCycles;
    try {
        settleCycles = LoadSettleCycles(host_.dataFolder());
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
        return false;
    }
    UnitCheckOptions options;
    options.dataFolder = host_.dataFolder();
    options.model = host_.modelText();
    options.addresses = addresses;
    options.point = CurrentTestPoint();
    options.settleCycles = settleCycles;
    options.configDataMode = pzData_->isChecked();
    options.identity = host_.RecordTemplate();
    options.identity.operatorName = operator_->text().trimmed();
    options.serials = serials;
    QList<TestPlanPoint> planPoints;
    if (const int chosen = plan_->currentIndex(); chosen > 0 && chosen <= plans_.size()) {
        options.identity.plan = plans_[chosen - 1].name;
        planPoints = plans_[chosen - 1].points;
        for (const TestPlanPoint& p : planPoints)
            options.points << TestPoint{p.voltagePercent / 100, p.currentPercent / 100, p.angle,
                                        p.frequency};
    }
    auto batch = std::make_unique<UnitCheck>(host_.session(), host_.database(),
                                             host_.resultsDatabase(), options);
    connect(batch.get(), &UnitCheck::rowsShown, this, &CheckPage::ShowRows);
    connect(batch.get(), &UnitCheck::statusShown, this, &CheckPage::ShowStatusLine);
    connect(batch.get(), &UnitCheck::unitStarted, this, [this, count = addresses.size()](int a) {
        PrepareGrid();
        shown_.clear();
        ShowBatchVerdict(tr("地址 %1（%2/%3）").arg(a).arg(batchResults_.size() + 1).arg(count));
    });
    connect(batch.get(), &UnitCheck::cycleEnded, this, [this](int a, int good, int needed) {
        ++cyclesEnded_;
        ShowBatchVerdict(tr("地址 %1：稳定中 %2/%3").arg(a).arg(good).arg(needed));
    });
    connect(batch.get(), &UnitCheck::unitEnded, this, &CheckPage::BatchUnitEnded);
    // A plan: every unit at each point in turn; the operator sets the source and presses 继续.
    connect(batch.get(), &UnitCheck::pointNeeded, this,
            [this, planPoints](int index, const TestPoint&) {
                const TestPlanPoint& p = planPoints[index];
                SelectPoint(p);
                waiting_ = true;
                continue_->setEnabled(true);
                ShowBatchVerdict(PlanPointRequest(index, planPoints.size(), p));
            });
    connect(batch.get(), &UnitCheck::finished, this, &CheckPage::BatchEnded, Qt::QueuedConnection);
    batchResults_.clear();
    cyclesEnded_ = 0;
    // One row per unit checked, added as each ends: address, serial, cycles, failures, verdict.
    verdictTable_->setHorizontalHeaderLabels(
        {tr("单元"), tr("序列号"), tr("周期"), tr("不合格项"), QString(), tr("结论")});
    verdictTable_->setRowCount(0);
    if (!batch->Start()) {
        Ui().inform(this, DeviceSession::BusyText());
        return false;
    }
    batch_ = std::move(batch);
    ShowRunning(true);
    return true;
}

void CheckPage::BatchUnitEnded(const UnitCheckResult& result) {
    batchResults_.append(result);
    AddBatchRow(result);
    lastRecord_ = result.record;
    if (!result.stored && !result.storeError.isEmpty()) Ui().error(this, result.storeError);
}

void CheckPage::BatchEnded() {
    batch_.reset();
    running_ = false;
    stopping_ = false;
    waiting_ = false;
    continue_->setEnabled(false);
    ShowBatchVerdict(QString());
    ShowRunning(false);
}

void CheckPage::ShowRunning(bool running) {
    running_ = running;
    check_->setText(running ? tr("停止检查") : tr("检查数据"));
    host_.SetCheckControls(running);
    SetOwnControls(running);
    // A double click must not stop the check it just started.
    if (running) check_->setEnabled(false);
    reenableCheck_->start();
}

void CheckPage::ShowBatchVerdict(const QString& running) {
    int passed = 0;
    for (const UnitCheckResult& r : batchResults_)
        if (r.record.verdict == Verdict::Pass) ++passed;
    const int others = int(batchResults_.size()) - passed;
    QString text = running;
    QColor colour = verdictLabel_->palette().color(QPalette::Base);
    if (running.isEmpty()) {
        text = others == 0 ? tr("合格 %1/%2").arg(passed).arg(batchResults_.size())
                           : tr("不合格 %1/%2").arg(others).arg(batchResults_.size());
        colour = others == 0 && passed > 0 ? QColor(0, 170, 0) : kFailedColour;
    }
    QPalette palette = verdictLabel_->palette();
    verdictLabel_->setText(text);
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::WindowText,
                     running.isEmpty() ? QColor(Qt::white) : palette.color(QPalette::Text));
    verdictLabel_->setPalette(palette);
}

void CheckPage::AddBatchRow(const UnitCheckResult& u) {
    const int r = verdictTable_->rowCount();
    verdictTable_->setRowCount(r + 1);
    const bool bad = u.record.verdict != Verdict::Pass;
    const QStringList cells{
        tr("地址 %1").arg(u.address),       u.record.serial, QString::number(u.cycles),
        QString::number(u.record.failures), QString(),       VerdictText(u.record.verdict)};
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (bad) item->setForeground(kFailedColour);
        verdictTable_->setItem(r, c, item);
    }
}

void CheckPage::RecordCheck() {
    UnitRecord record = record_;
    record.ended = QDateTime::currentDateTime();
    // A plan's settled points are in already; the point it was stopped at goes in as it stood,
    // so that an unfinished plan never passes.
    if (plan_points_.isEmpty() || planIndex_ < plan_points_.size())
        AddPointToRecord(record, CurrentTestPoint(), verdict_);
    // The record is added even when the verdict was never taken: that the unit did not settle
    // or did not answer is a result too.
    if (ResultsDatabase* results = host_.resultsDatabase(); results && !results->Add(record))
        Ui().error(this, results->lastError());
    lastRecord_ = record;
}

void CheckPage::BitBtn16Click() {
    if (running_ || exporting_) return;
    if (!GridHasExportableData(grid_->rowCount())) {
        Ui().inform(this, NoDataMessage());
        return;
    }
    ExportSettings settings;
    try {
        const SavedCheckSettings s = LoadCheckSettings(host_.dataFolder());
        settings = {s.U, s.I, s.JDF, s.JDU, s.JDI, s.JDC, s.JDP, s.JDQ, s.JDS};
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
        return;
    }
    // The report names the unit it is about once a check has been recorded.
    const QString proposed =
        lastRecord_ ? DefaultReportFileName(*lastRecord_) : ProposedExportFileName();
    const QString chosen = Ui().saveFileName(
        this, proposed.isEmpty() ? ProposedExportFileName() : proposed, ExportFileFilter());
    if (chosen.isEmpty()) return;
    const QString path = WithExportSuffix(chosen);
    if (NeedsOverwriteQuestion(path) && !Ui().ask(this, OverwriteQuestion(), OverwriteCaption()))
        return;

    const ExportGrid grid = CollectGrid(
        grid_->rowCount(),
        [this](int column, int row) {
            const QTableWidgetItem* item = grid_->item(row, column);
            return item ? item->text() : QString();
        },
        [this](int column, int row) {
            const QTableWidgetItem* item = grid_->item(row, column);
            return item && item->foreground().style() != Qt::NoBrush &&
                   item->foreground().color() == kFailedColour;
        });
    const ExportHeaderLines header = BuildHeaderLines(settings, CurrentExportTestPoint());

    // The workbook is written on a worker thread; the window keeps painting meanwhile and its
    // buttons refuse a second export or a check until it is done.
    exporting_ = true;
    save_->setEnabled(false);
    check_->setEnabled(false);
    exportPath_ = path;
    exportWorker_.reset(QThread::create([this, path, grid, header, record = lastRecord_] {
        exportResult_ = WriteCheckWorkbook(path, grid, header, record ? &*record : nullptr);
    }));
    connect(exportWorker_.get(), &QThread::finished, this, &CheckPage::ExportEnded,
            Qt::QueuedConnection);
    exportWorker_->start();
}

void CheckPage::ExportEnded() {
    exportWorker_->wait();
    exportWorker_.reset();
    exporting_ = false;
    save_->setEnabled(true);
    check_->setEnabled(true);
    Ui().inform(this,
                exportResult_.ok ? ExportSucceededMessage(exportPath_) : ExportFailedMessage());
}
