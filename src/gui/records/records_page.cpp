#include "gui/records/records_page.h"

#include "gui/kit/language.h"
#include "gui/kit/messages.h"
#include "report/check_export.h"
#include "report/record_report.h"
#include "report/records_csv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kIdRole = Qt::UserRole;
const QColor kFailedColour(Qt::red);

// A figure in the shortest text that reads back as the stored number; "—" for one that could not
// be judged.
QString Figure(double v) {
    return std::isfinite(v) ? QString::number(v, 'g', 15) : QStringLiteral("—");
}

QString PointText(const RecordPoint& p) {
    return QCoreApplication::translate("RecordsPage", "%1（U %2% I %3% %4° %5Hz）")
        .arg(p.index)
        .arg(Figure(p.voltagePercent), Figure(p.currentPercent), Figure(p.angle),
             Figure(p.frequency));
}

QTableWidgetItem* Cell(const QString& text, bool failed = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (failed) item->setForeground(kFailedColour);
    return item;
}

bool Failed(Verdict v) {
    return v == Verdict::Fail || v == Verdict::NotAnswering;
}

QTableWidget* NewTable(const QStringList& titles, QWidget* parent) {
    auto* table = new QTableWidget(0, int(titles.size()), parent);
    table->setHorizontalHeaderLabels(titles);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// The failure line of an export: the usual words and then why.
QString FailedText(const QString& detail) {
    return detail.isEmpty() ? ExportFailedMessage() : ExportFailedMessage() + u'\n' + detail;
}

// A report's file name unique among those of one export into a folder: two units of one model
// without serial numbers started in the same second would otherwise share a name.
QString UniqueName(const UnitRecord& r, QSet<QString>& taken) {
    QString name = DefaultReportFileName(r);
    if (name.isEmpty()) name = QStringLiteral("记录%1.xlsx").arg(r.id);
    if (taken.contains(name)) {
        const QFileInfo info(name);
        name = QStringLiteral("%1_%2.%3").arg(info.completeBaseName()).arg(r.id).arg(info.suffix());
    }
    taken.insert(name);
    return name;
}

} // namespace

QString RecordsPage::SerialText(const QString& serial) {
    return serial.isEmpty() ? tr("（无）") : serial;
}

RecordsPage::RecordsPage(ResultsDatabase& results, const QStringList& models, QWidget* parent)
    : QWidget(parent), results_(results) {
    setObjectName(QStringLiteral("RecordsPage"));
    setWindowTitle(tr("检验记录"));

    serial_ = new QLineEdit(this);
    serial_->setPlaceholderText(tr("序列号的一部分"));
    serial_->setClearButtonEnabled(true);
    model_ = new QComboBox(this);
    model_->setMinimumContentsLength(14);
    // Until a box is ticked its date does not filter, so a new page shows every record.
    const QDate today = QDate::currentDate();
    fromOn_ = new QCheckBox(tr("起始日期"), this);
    from_ = new QDateEdit(today, this);
    toOn_ = new QCheckBox(tr("结束日期"), this);
    to_ = new QDateEdit(today, this);
    for (QDateEdit* edit : {from_, to_}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(DisplayDateFormat());
        edit->setEnabled(false);
    }
    connect(fromOn_, &QCheckBox::toggled, from_, &QWidget::setEnabled);
    connect(toOn_, &QCheckBox::toggled, to_, &QWidget::setEnabled);
    verdict_ = new QComboBox(this);
    verdict_->addItem(tr("全部"), -1);
    for (Verdict v : {Verdict::Pass, Verdict::Fail, Verdict::NotAnswering, Verdict::None})
        verdict_->addItem(VerdictText(v), int(v));
    query_ = new QPushButton(tr("查询"), this);
    SetModels(models);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("序列号"), this));
    filters->addWidget(serial_, 2);
    filters->addWidget(new QLabel(tr("型号"), this));
    filters->addWidget(model_, 1);
    filters->addWidget(fromOn_);
    filters->addWidget(from_);
    filters->addWidget(toOn_);
    filters->addWidget(to_);
    filters->addWidget(new QLabel(tr("结论"), this));
    filters->addWidget(verdict_);
    filters->addWidget(query_);

    status_ = new QLabel(this);
    table_ = NewTable({tr("时间"), tr("序列号"), tr("型号"), tr("操作员"), tr("类型"), tr("结论"),
                       tr("不合格数")},
                      this);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    quantities_ = NewTable({tr("测试点"), tr("名称"), tr("显示值"), tr("期望值"), tr("测量值"),
                            tr("误差"), tr("限值"), tr("单位"), tr("结论")},
                           this);
    identity_ = new QLabel(this);
    identity_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    identity_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    identity_->setTextFormat(Qt::PlainText);
    details_ = new QPlainTextEdit(this);
    details_->setReadOnly(true);
    details_->setPlaceholderText(tr("写入与读回的内容"));

    auto* record = new QWidget(this);
    auto* recordLayout = new QHBoxLayout(record);
    recordLayout->setContentsMargins(0, 0, 0, 0);
    recordLayout->addWidget(quantities_, 3);
    auto* side = new QVBoxLayout;
    side->addWidget(identity_);
    side->addWidget(details_, 1);
    recordLayout->addLayout(side, 2);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table_);
    splitter->addWidget(record);

    csv_ = new QPushButton(tr("导出CSV"), this);
    report_ = new QPushButton(tr("导出报表"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(csv_);
    buttons->addWidget(report_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(query_, &QPushButton::clicked, this, &RecordsPage::Refresh);
    connect(serial_, &QLineEdit::returnPressed, this, &RecordsPage::Refresh);
    // The current row moves after the selection has changed, so both are followed: the record
    // shown is the one clicked last.
    connect(table_, &QTableWidget::itemSelectionChanged, this, &RecordsPage::ShowChosen);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &RecordsPage::ShowChosen);
    connect(csv_, &QPushButton::clicked, this, &RecordsPage::ExportCsvClick);
    connect(report_, &QPushButton::clicked, this, &RecordsPage::ExportReportClick);
    ShowChosen();
}

void RecordsPage::SetModels(const QStringList& models) {
    const QString chosen = model_->currentIndex() > 0 ? model_->currentText() : QString();
    model_->clear();
    model_->addItem(tr("全部"));
    model_->addItems(models);
    model_->setCurrentIndex(chosen.isEmpty() ? 0 : std::max(0, model_->findText(chosen)));
}

RecordFilter RecordsPage::Filter() const {
    RecordFilter f;
    // Blanks around a scanned or pasted number are not part of it.
    f.serial = serial_->text().trimmed();
    if (model_->currentIndex() > 0) f.model = model_->currentText();
    if (fromOn_->isChecked()) f.from = from_->date();
    if (toOn_->isChecked()) f.to = to_->date();
    if (const int v = verdict_->currentData().toInt(); v >= 0) f.verdict = static_cast<Verdict>(v);
    return f;
}

void RecordsPage::Refresh() {
    QSet<qint64> kept;
    for (int row : SelectedRows())
        kept.insert(records_[row].id);

    QList<UnitRecord> found;
    const bool read = results_.Select(Filter(), found);
    records_ = found;
    {
        const QSignalBlocker quiet(table_);
        table_->clearSelection();
        table_->setRowCount(int(records_.size()));
        for (int row = 0; row < records_.size(); ++row) {
            const UnitRecord& r = records_[row];
            auto* started = Cell(DisplayDateTime(r.started));
            started->setData(kIdRole, r.id);
            table_->setItem(row, Started, started);
            table_->setItem(row, Serial, Cell(SerialText(r.serial)));
            table_->setItem(row, Model, Cell(r.model));
            table_->setItem(row, Operator, Cell(r.operatorName));
            table_->setItem(row, Kind, Cell(RecordKindText(r.kind)));
            table_->setItem(row, Result, Cell(VerdictText(r.verdict), Failed(r.verdict)));
            table_->setItem(row, Failures, Cell(QString::number(r.failures), r.failures > 0));
        }
        for (int row = 0; row < records_.size(); ++row)
            if (kept.contains(records_[row].id))
                table_->selectionModel()->select(table_->model()->index(row, 0),
                                                 QItemSelectionModel::Select |
                                                     QItemSelectionModel::Rows);
    }
    table_->resizeColumnsToContents();
    if (read) {
        status_->setStyleSheet(QString());
        status_->setText(tr("共 %1 条记录").arg(records_.size()));
    } else {
        // Shown on the page rather than in a box: the page refreshes each time it is shown.
        status_->setStyleSheet(QStringLiteral("color: red"));
        status_->setText(results_.lastError());
    }
    ShowChosen();
}

QList<int> RecordsPage::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        if (index.row() < records_.size()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void RecordsPage::ShowChosen() {
    // The row last clicked when it is among the selected ones, else the first selected.
    const QList<int> rows = SelectedRows();
    int row = -1;
    if (!rows.isEmpty()) row = rows.contains(table_->currentRow()) ? table_->currentRow() : rows[0];

    current_.reset();
    QString failure;
    if (row >= 0) {
        current_ = results_.Get(records_[row].id);
        if (!current_) failure = tr("无法读取该记录：%1").arg(results_.lastError());
    }

    quantities_->setRowCount(0);
    details_->clear();
    if (!current_) {
        identity_->setText(failure.isEmpty() ? tr("选择一条记录查看其全部内容") : failure);
        return;
    }
    const UnitRecord& r = *current_;
    quantities_->setRowCount(int(r.quantities.size()));
    for (int i = 0; i < r.quantities.size(); ++i) {
        const RecordQuantity& c = r.quantities[i];
        const bool failed = !c.passed;
        quantities_->setItem(i, Point, Cell(QString::number(c.point)));
        quantities_->setItem(i, Name, Cell(c.name));
        quantities_->setItem(i, Shown, Cell(c.text));
        quantities_->setItem(i, Expected, Cell(Figure(c.expected)));
        quantities_->setItem(i, Measured, Cell(Figure(c.measured), failed));
        quantities_->setItem(i, Error, Cell(Figure(c.error), failed));
        quantities_->setItem(i, Limit, Cell(Figure(c.limit)));
        quantities_->setItem(i, Unit, Cell(c.unit));
        quantities_->setItem(i, Passed, Cell(c.passed ? tr("合格") : tr("不合格"), failed));
    }
    quantities_->resizeColumnsToContents();

    QStringList points;
    for (const RecordPoint& p : r.points)
        points << PointText(p) + QStringLiteral(" ") + VerdictText(p.verdict);
    const QStringList lines = {
        tr("记录号：%1    类型：%2").arg(r.id).arg(RecordKindText(r.kind)),
        tr("序列号：%1").arg(SerialText(r.serial)),
        tr("型号：%1").arg(r.model),
        tr("操作员：%1    工位：%2").arg(r.operatorName, r.station),
        tr("软件版本：%1").arg(r.softwareVersion),
        tr("开始：%1").arg(DisplayDateTime(r.started, true)),
        tr("结束：%1").arg(DisplayDateTime(r.ended, true)),
        tr("串口：%1  %2").arg(r.port, r.lineSettings),
        tr("协议：%1    地址：%2").arg(r.protocol).arg(r.address),
        tr("方案：%1").arg(r.plan.isEmpty() ? tr("（单点）") : r.plan),
        tr("测试点：%1").arg(points.isEmpty() ? tr("（无）") : points.join(tr("；"))),
        tr("结论：%1    不合格数：%2").arg(VerdictText(r.verdict)).arg(r.failures),
    };
    identity_->setText(lines.join(u'\n'));
    details_->setPlainText(r.details);
}

bool RecordsPage::WholeRecords(const QList<int>& rows, QList<UnitRecord>& out) {
    out.clear();
    for (int row : rows) {
        const std::optional<UnitRecord> whole = results_.Get(records_[row].id);
        if (!whole) {
            Ui().inform(
                this,
                FailedText(
                    tr("无法读取记录 %1：%2").arg(records_[row].id).arg(results_.lastError())));
            return false;
        }
        out << *whole;
    }
    return true;
}

void RecordsPage::ExportCsvClick() {
    QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        for (int row = 0; row < records_.size(); ++row)
            rows << row;
    if (rows.isEmpty()) {
        Ui().inform(this, NoDataMessage());
        return;
    }
    QList<UnitRecord> whole;
    if (!WholeRecords(rows, whole)) return;

    const QString chosen = Ui().saveFileName(this, tr("检验记录.csv"), tr("CSV 文件 (*.csv)"));
    if (chosen.isEmpty()) return;
    QString path = chosen;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    if (NeedsOverwriteQuestion(path) && !Ui().ask(this, OverwriteQuestion(), OverwriteCaption()))
        return;
    const ExportResult written = WriteRecordsCsv(path, whole);
    Ui().inform(this, written.ok ? ExportSucceededMessage(path) : FailedText(written.detail));
}

void RecordsPage::ExportReportClick() {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty()) {
        Ui().inform(this, tr("请先选择要导出报表的记录！"));
        return;
    }
    QList<UnitRecord> whole;
    if (!WholeRecords(rows, whole)) return;

    if (whole.size() == 1) {
        const UnitRecord& r = whole.first();
        const QString chosen =
            Ui().saveFileName(this, DefaultReportFileName(r), ExportFileFilter());
        if (chosen.isEmpty()) return;
        const QString path = WithExportSuffix(chosen);
        if (NeedsOverwriteQuestion(path) &&
            !Ui().ask(this, OverwriteQuestion(), OverwriteCaption()))
            return;
        const ExportResult written = WriteRecordWorkbook(path, r);
        Ui().inform(this, written.ok ? ExportSucceededMessage(path) : FailedText(written.detail));
        return;
    }

    // Several reports go into one folder under their own names, with one question for all the
    // files already there.
    const QString folder = Ui().existingDirectory(this, tr("选择保存报表的文件夹"));
    if (folder.isEmpty()) return;
    QSet<QString> taken;
    QStringList paths;
    bool anyThere = false;
    for (const UnitRecord& r : whole) {
        paths << QDir(folder).filePath(UniqueName(r, taken));
        anyThere = anyThere || NeedsOverwriteQuestion(paths.last());
    }
    if (anyThere && !Ui().ask(this, OverwriteQuestion(), OverwriteCaption())) return;
    QStringList failures;
    for (int i = 0; i < whole.size(); ++i) {
        const ExportResult written = WriteRecordWorkbook(paths[i], whole[i]);
        if (!written.ok)
            failures << tr("%1：%2").arg(QDir::toNativeSeparators(paths[i]), written.detail);
    }
    if (failures.isEmpty()) {
        Ui().inform(this, ExportSucceededMessage(QDir::toNativeSeparators(folder)));
        return;
    }
    failures.prepend(
        tr("已导出 %1 份，%2 份未导出：").arg(whole.size() - failures.size()).arg(failures.size()));
    Ui().inform(this, FailedText(failures.join(u'\n')));
}
