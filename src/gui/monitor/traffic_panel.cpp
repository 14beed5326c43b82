#include "gui/monitor/traffic_panel.h"

#include "gui/kit/messages.h"
#include "report/check_export.h"
#include "report/records_csv.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QColor kFailedColour(0xC0, 0x00, 0x00);
// Every other exchange is tinted, so that a request and its reply read as one pair.
const QColor kPairTint(0xF2, 0xF5, 0xFA);

// The titles and fixed cell texts of the table stay Chinese where they are written (the CSV file);
// only the view shows them translated.
QString Source(const char* text) {
    return QString::fromUtf8(text);
}
QString Shown(const QString& text) {
    return QCoreApplication::translate("TrafficModel", text.toUtf8().constData());
}

QString TimeText(int64_t msSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch).toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString MsText(int64_t us) {
    return QString::number(static_cast<double>(us) / 1000.0, 'f', 1);
}

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

// ---- TrafficModel -------------------------------------------------------------------------

TrafficModel::Kept::Kept(const Exchange& exchange)
    : sequence(exchange.sequence), startedMs(exchange.startedMs), roundTripUs(exchange.roundTripUs),
      bytes(new uint8_t[exchange.request.size() + exchange.reply.size()]),
      requestSize(static_cast<uint32_t>(exchange.request.size())),
      replySize(static_cast<uint32_t>(exchange.reply.size())), protocol(exchange.protocol),
      outcome(exchange.outcome) {
    std::copy(exchange.request.begin(), exchange.request.end(), bytes.get());
    std::copy(exchange.reply.begin(), exchange.reply.end(), bytes.get() + requestSize);
}

TrafficModel::TrafficModel(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max<std::size_t>(capacity, 1)) {}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(2 * shown_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString TrafficModel::ColumnTitle(int column) {
    switch (column) {
    case Sequence:
        return Source(QT_TRANSLATE_NOOP("TrafficModel", "序号"));
    case Time:
        return Source(QT_TRANSLATE_NOOP("TrafficModel", "时间"));
    case Direction:
        return Source(QT_TRANSLATE_NOOP("TrafficModel", "方向"));
    case Frame:
        return Source(QT_TRANSLATE_NOOP("TrafficModel", "帧"));
    case Decoded:
        return Source(QT_TRANSLATE_NOOP("TrafficModel", "解析"));
    case RoundTrip:
        return Source(QT_TRANSLATE_NOOP("TrafficModel", "往返(ms)"));
    case Outcome:
        return Source(QT_TRANSLATE_NOOP("TrafficModel", "结果"));
    default:
        return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return Shown(ColumnTitle(section));
}

QString TrafficModel::CellText(int row, int column) const {
    const Kept& e = KeptOfRow(row);
    const bool isReply = row % 2 == 1;
    const std::span<const uint8_t> bytes = isReply ? e.reply() : e.request();
    switch (column) {
    case Sequence:
        return isReply ? QString() : QString::number(e.sequence);
    case Time:
        return TimeText(isReply ? e.startedMs + e.roundTripUs / 1000 : e.startedMs);
    case Direction:
        return isReply ? Source(QT_TRANSLATE_NOOP("TrafficModel", "接收"))
                       : Source(QT_TRANSLATE_NOOP("TrafficModel", "发送"));
    case Frame:
        return Text(HexText(bytes));
    case Decoded:
        if (isReply && bytes.empty())
            return e.outcome == ExchangeOutcome::LinkFailed
                       ? Source(QT_TRANSLATE_NOOP("TrafficModel", "无数据"))
                       : Source(QT_TRANSLATE_NOOP("TrafficModel", "无应答"));
        return Text(DecodeFrame(e.protocol, !isReply, bytes));
    case RoundTrip:
        return isReply ? MsText(e.roundTripUs) : QString();
    case Outcome:
        return isReply ? Text(OutcomeText(e.outcome)) : QString();
    default:
        return {};
    }
}

QString TrafficModel::RowText(int row, QChar separator) const {
    QString line;
    for (int column = 0; column < ColumnCount; ++column) {
        if (column > 0) line += separator;
        line += CellText(row, column);
    }
    return line;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == Direction || index.column() == Decoded)
            return Shown(CellText(index.row(), index.column()));
        return CellText(index.row(), index.column());
    case Qt::ToolTipRole: // a long frame is cut off in its cell
        if (index.column() == Frame || index.column() == Decoded)
            return CellText(index.row(), index.column());
        return {};
    case Qt::ForegroundRole:
        if (index.row() % 2 == 1 && KeptOfRow(index.row()).outcome != ExchangeOutcome::Answered)
            return kFailedColour;
        return {};
    case Qt::BackgroundRole:
        if (KeptOfRow(index.row()).sequence % 2 == 0) return kPairTint;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == RoundTrip || index.column() == Sequence)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

bool TrafficModel::Shows(const Kept& exchange) const {
    return !errorsOnly_ || exchange.outcome != ExchangeOutcome::Answered;
}

int TrafficModel::Append(std::vector<Exchange> batch) {
    if (batch.empty()) return 0;
    if (batch.size() > capacity_)
        batch.erase(batch.begin(), batch.end() - static_cast<std::ptrdiff_t>(capacity_));

    // Room first, so that the view never holds more than the capacity.
    const std::size_t total = all_.size() + batch.size();
    int removedRows = 0;
    if (total > capacity_) {
        const std::size_t dropped = total - capacity_;
        const uint64_t lastDropped = all_[dropped - 1].sequence;
        std::size_t shownDropped = 0;
        while (shownDropped < shown_.size() && shown_[shownDropped]->sequence <= lastDropped)
            ++shownDropped;
        if (shownDropped > 0) {
            removedRows = static_cast<int>(2 * shownDropped);
            beginRemoveRows({}, 0, removedRows - 1);
            shown_.erase(shown_.begin(),
                         shown_.begin() + static_cast<std::ptrdiff_t>(shownDropped));
            endRemoveRows();
        }
        all_.erase(all_.begin(), all_.begin() + static_cast<std::ptrdiff_t>(dropped));
    }

    const std::size_t first = all_.size();
    std::size_t newlyShown = 0;
    for (const Exchange& exchange : batch) {
        all_.emplace_back(exchange);
        if (Shows(all_.back())) ++newlyShown;
    }
    if (newlyShown == 0) return removedRows;
    const int firstRow = static_cast<int>(2 * shown_.size());
    beginInsertRows({}, firstRow, firstRow + static_cast<int>(2 * newlyShown) - 1);
    for (std::size_t i = first; i < all_.size(); ++i)
        if (Shows(all_[i])) shown_.push_back(&all_[i]);
    endInsertRows();
    return removedRows;
}

void TrafficModel::Clear() {
    beginResetModel();
    shown_.clear();
    all_.clear();
    endResetModel();
}

void TrafficModel::SetErrorsOnly(bool on) {
    if (on == errorsOnly_) return;
    beginResetModel();
    errorsOnly_ = on;
    shown_.clear();
    for (const Kept& exchange : all_)
        if (Shows(exchange)) shown_.push_back(&exchange);
    endResetModel();
}

// ---- TrafficPanel -------------------------------------------------------------------------

TrafficPanel::TrafficPanel(TrafficLog& log, QWidget* parent)
    : QDockWidget(tr("通信监视"), parent), log_(log),
      model_(new TrafficModel(log.capacity(), this)) {
    setObjectName(QStringLiteral("TrafficPanel"));

    auto* body = new QWidget(this);
    pause_ = new QCheckBox(tr("暂停"), body);
    pause_->setObjectName(QStringLiteral("TrafficPause"));
    errorsOnly_ = new QCheckBox(tr("仅显示错误"), body);
    errorsOnly_->setObjectName(QStringLiteral("TrafficErrorsOnly"));
    clear_ = new QPushButton(tr("清除"), body);
    clear_->setObjectName(QStringLiteral("TrafficClear"));
    copy_ = new QPushButton(tr("复制"), body);
    copy_->setObjectName(QStringLiteral("TrafficCopy"));
    save_ = new QPushButton(tr("另存为CSV"), body);
    save_->setObjectName(QStringLiteral("TrafficSave"));
    counters_ = new QLabel(body);
    counters_->setObjectName(QStringLiteral("TrafficCounters"));
    counters_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    table_ = new QTableView(body);
    table_->setObjectName(QStringLiteral("TrafficTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem); // the value counts rows
    // Fixed row heights: the view never measures rows, however many there are.
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    const int widths[TrafficModel::ColumnCount] = {60, 95, 40, 320, 380, 70, 70};
    for (int column = 0; column < TrafficModel::ColumnCount; ++column)
        table_->setColumnWidth(column, widths[column]);

    auto* copyAction = new QAction(tr("复制"), table_);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(copyAction);
    connect(copyAction, &QAction::triggered, this, &TrafficPanel::CopyClick);

    auto* bar = new QHBoxLayout;
    bar->addWidget(pause_);
    bar->addWidget(errorsOnly_);
    bar->addWidget(clear_);
    bar->addWidget(copy_);
    bar->addWidget(save_);
    bar->addStretch();
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(counters_);
    layout->addWidget(table_);
    setWidget(body);

    timer_.setInterval(kRefreshIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TrafficPanel::Refresh);
    connect(pause_, &QCheckBox::toggled, this, &TrafficPanel::PauseToggled);
    connect(errorsOnly_, &QCheckBox::toggled, this, [this](bool on) {
        model_->SetErrorsOnly(on);
        table_->scrollToBottom();
    });
    connect(clear_, &QPushButton::clicked, this, &TrafficPanel::ClearClick);
    connect(copy_, &QPushButton::clicked, this, &TrafficPanel::CopyClick);
    connect(save_, &QPushButton::clicked, this, &TrafficPanel::SaveClick);

    counters_->setText(CountersText(log_.totals()));
}

QString TrafficPanel::CountersText(const TrafficLog::Totals& totals) {
    QString text = tr("共 %1 次 |").arg(totals.exchanges);
    for (std::size_t i = 0; i < kExchangeOutcomeCount; ++i)
        text += QStringLiteral(" %1 %2")
                    .arg(Text(OutcomeText(static_cast<ExchangeOutcome>(i))))
                    .arg(totals.byOutcome[i]);
    if (totals.maxRoundTripUs == 0 && totals.minRoundTripUs == 0) return text + tr(" | 往返 —");
    return text + tr(" | 往返 最小 %1 ms 平均 %2 ms 最大 %3 ms")
                      .arg(MsText(totals.minRoundTripUs),
                           MsText(static_cast<int64_t>(totals.meanRoundTripUs)),
                           MsText(totals.maxRoundTripUs));
}

bool TrafficPanel::AtBottom() const {
    const QScrollBar* bar = table_->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void TrafficPanel::Refresh() {
    counters_->setText(CountersText(log_.totals()));
    if (pause_->isChecked()) return;
    std::vector<Exchange> batch = log_.Since(lastSeen_, kBatchLimit);
    if (batch.empty()) {
        timer_.setInterval(kRefreshIntervalMs);
        return;
    }
    lastSeen_ = batch.back().sequence;
    const bool more = batch.size() == kBatchLimit && lastSeen_ < log_.lastSequence();
    const bool follow = AtBottom();
    QScrollBar* bar = table_->verticalScrollBar();
    const int value = bar->value();
    const int removedRows = model_->Append(std::move(batch));
    if (follow)
        table_->scrollToBottom();
    else if (removedRows > 0) // the user who scrolled up keeps the lines he reads in view
        bar->setValue(std::max(0, value - removedRows));
    // A catch-up goes on with the next slice as soon as the window has painted.
    timer_.setInterval(more ? 0 : kRefreshIntervalMs);
}

void TrafficPanel::PauseToggled(bool paused) {
    if (!paused) Refresh();
}

void TrafficPanel::ClearClick() {
    log_.Clear();
    model_->Clear();
    counters_->setText(CountersText(log_.totals()));
}

void TrafficPanel::CopyClick() {
    const QModelIndexList selected = table_->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    QString text;
    for (int row : rows)
        text += model_->RowText(row, QLatin1Char('\t')) + QLatin1Char('\n');
    QApplication::clipboard()->setText(text);
}

void TrafficPanel::SaveClick() {
    const QString chosen = Ui().saveFileName(this, tr("通信记录.csv"), tr("CSV 文件 (*.csv)"));
    if (chosen.isEmpty()) return;
    QString path = chosen;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    if (NeedsOverwriteQuestion(path) && !Ui().ask(this, OverwriteQuestion(), OverwriteCaption()))
        return;

    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        // The byte-order mark lets spreadsheet programs on Windows read the Chinese as UTF-8.
        QByteArray chunk("\xEF\xBB\xBF");
        QString line;
        for (int column = 0; column < TrafficModel::ColumnCount; ++column) {
            if (column > 0) line += QLatin1Char(',');
            line += CsvQuoted(TrafficModel::ColumnTitle(column));
        }
        chunk += line.toUtf8() + '\n';
        const int rows = model_->rowCount();
        for (int row = 0; row < rows && ok; ++row) {
            line.clear();
            for (int column = 0; column < TrafficModel::ColumnCount; ++column) {
                if (column > 0) line += QLatin1Char(',');
                line += CsvQuoted(model_->CellText(row, column));
            }
            chunk += line.toUtf8() + '\n';
            if (chunk.size() >= (1 << 16) || row == rows - 1) {
                ok = file.write(chunk) == chunk.size();
                chunk.clear();
            }
        }
        if (ok && rows == 0) ok = file.write(chunk) == chunk.size();
        ok = ok && file.commit();
    }
    Ui().inform(this, ok ? ExportSucceededMessage() : ExportFailedMessage());
}

void TrafficPanel::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    timer_.start();
    Refresh(); // catch up at once with what came while hidden
}

void TrafficPanel::hideEvent(QHideEvent* event) {
    timer_.stop();
    QDockWidget::hideEvent(event);
}
