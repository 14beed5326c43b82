// The records page "检验记录", offscreen, on a temporary Results.db: the table lists the records
// newest first, the filter row narrows it, the record chosen is shown whole, 导出CSV writes the
// selected (or all shown) records and 导出报表 one workbook per selected record, every dialog
// answered through the recording message seam and no modal window ever shown.

#include "gui/records/records_page.h"
#include "recording_messages.h"
#include "report/record_report.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Closes at once, and counts, any dialog or modal window that comes up, so that a box that
// slipped past the seam fails the test instead of waiting for a click.
class ModalGuard : public QObject {
public:
    ModalGuard() { qApp->installEventFilter(this); }
    ~ModalGuard() override { qApp->removeEventFilter(this); }
    QStringList seen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && (widget->isModal() || qobject_cast<QDialog*>(widget))) {
                seen << QString::fromLatin1(widget->metaObject()->className());
                QMetaObject::invokeMethod(widget, &QWidget::close, Qt::QueuedConnection);
            }
        }
        return false;
    }
};

QDateTime At(int month, int day, int hour) {
    return QDateTime(QDate(2026, month, day), QTime(hour, 15, 30, 250));
}

RecordQuantity Quantity(int point, const char* name, double expected, double measured,
                        bool passed) {
    return {point,
            QString::fromUtf8(name),
            QStringLiteral("Q"),
            QStringLiteral("%1 W").arg(measured),
            QStringLiteral("W"),
            expected,
            measured,
            (measured - expected) / 10,
            0.5,
            passed};
}

UnitRecord Record(const char* serial, const char* model, QDateTime started, Verdict verdict,
                  RecordKind kind, QList<RecordQuantity> quantities) {
    UnitRecord r;
    r.kind = kind;
    r.serial = QString::fromUtf8(serial);
    r.model = QString::fromLatin1(model);
    r.operatorName = QStringLiteral("李四");
    r.station = QStringLiteral("bench-2");
    r.softwareVersion = QStringLiteral("1.0");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.lineSettings = QStringLiteral("9600,N,8,1");
    r.protocol = QStringLiteral("MODBUS_RTU");
    r.started = started;
    r.ended = started.addSecs(75);
    r.verdict = verdict;
    r.quantities = std::move(quantities);
    for (const RecordQuantity& q : r.quantities)
        if (!q.passed) ++r.failures;
    if (!r.quantities.isEmpty()) r.points = {{1, 100, 100, 0, 50, verdict, r.failures}};
    r.details = QStringLiteral("written=%1").arg(r.serial);
    return r;
}

const char* const kUnicode = "序列号①-003";

// The lines of a CSV file after its byte-order mark, split at CR LF (none of the fields of these
// records holds a line break).
QStringList CsvLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {QStringLiteral("<unreadable>")};
    QByteArray bytes = f.readAll();
    if (!bytes.startsWith("\xEF\xBB\xBF")) return {QStringLiteral("<no byte-order mark>")};
    QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// The serial number column of each data line.
QStringList CsvSerials(const QStringList& lines) {
    QStringList serials;
    for (qsizetype i = 1; i < lines.size(); ++i)
        serials << lines[i].split(u',').value(2);
    return serials;
}

} // namespace

class RecordsPageTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void listsEveryRecordNewestFirst();
    void filtersNarrowTheTable_data();
    void filtersNarrowTheTable();
    void selectingShowsTheRecordWhole();
    void refreshKeepsTheSelection();
    void csvHoldsTheLinesOfTheSelectedRecords();
    void csvHoldsAllShownWhenNoneIsSelected();
    void csvCancelledOrNotReplacedWritesNothing();
    void csvThatFailsSaysWhy();
    void reportOfOneRecordProposesItsName();
    void reportsOfSeveralRecordsGoIntoOneFolder();
    void reportNeedsASelection();
    void aDatabaseThatCannotBeReadIsShownOnThePage();

private:
    RecordsPage& Page();
    int RowOf(const QString& serialShown) const;
    void Select(const QStringList& serialsShown);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ResultsDatabase> results_;
    std::unique_ptr<RecordingMessages> messages_;
    std::unique_ptr<ModalGuard> guard_;
    std::unique_ptr<RecordsPage> page_;
    QList<UnitRecord> stored_; // in the order added
};

void RecordsPageTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    results_ = std::make_unique<ResultsDatabase>(dir_->filePath(QLatin1String(kResultsFile)));
    QCOMPARE(results_->Open(), QString());
    stored_ = {
        Record("KX-001", "M1", At(3, 1, 9), Verdict::Pass, RecordKind::Check,
               {Quantity(1, "A相电压", 220, 220.1, true), Quantity(1, "频率", 50, 50, true)}),
        Record("KX-002", "M1", At(3, 2, 10), Verdict::Fail, RecordKind::Check,
               {Quantity(1, "A相电压", 220, 220.5, true),
                Quantity(1, "A相有功功率", 550, 560, false),
                Quantity(1, "功率因数", 1, std::nan(""), true)}),
        Record(kUnicode, "M2", At(3, 3, 11), Verdict::Pass, RecordKind::Calibration, {}),
        Record("", "M2", At(3, 4, 12), Verdict::NotAnswering, RecordKind::Download, {}),
    };
    for (UnitRecord& r : stored_)
        QVERIFY2(results_->Add(r), qPrintable(results_->lastError()));
    messages_ = std::make_unique<RecordingMessages>();
    guard_ = std::make_unique<ModalGuard>();
}

// The page goes before the database it reads, and each recorder puts back the seam it found.
void RecordsPageTest::cleanup() {
    if (guard_) QCOMPARE(guard_->seen, QStringList());
    page_.reset();
    guard_.reset();
    messages_.reset();
    results_.reset();
    dir_.reset();
}

RecordsPage& RecordsPageTest::Page() {
    if (!page_) {
        page_ = std::make_unique<RecordsPage>(*results_, QStringList{"M1", "M2"});
        page_->resize(1000, 700);
        page_->show();
        page_->Refresh();
    }
    return *page_;
}

int RecordsPageTest::RowOf(const QString& serialShown) const {
    QTableWidget* table = page_->recordTable();
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, RecordsPage::Serial)->text() == serialShown) return row;
    return -1;
}

// Selects the rows of these serial numbers as a ctrl-click on each would, the last one current.
void RecordsPageTest::Select(const QStringList& serialsShown) {
    QTableWidget* table = Page().recordTable();
    table->clearSelection();
    for (const QString& serial : serialsShown) {
        const int row = RowOf(serial);
        QVERIFY2(row >= 0, qPrintable(serial));
        table->selectionModel()->setCurrentIndex(
            table->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void RecordsPageTest::listsEveryRecordNewestFirst() {
    RecordsPage& page = Page();
    QCOMPARE(page.objectName(), QStringLiteral("RecordsPage"));
    QCOMPARE(page.modelBox()->count(), 3);
    QCOMPARE(page.modelBox()->itemText(0), QStringLiteral("全部"));
    QCOMPARE(page.modelBox()->itemText(2), QStringLiteral("M2"));
    QStringList verdicts;
    for (int i = 0; i < page.verdictBox()->count(); ++i)
        verdicts << page.verdictBox()->itemText(i);
    QCOMPARE(verdicts, QStringList({"全部", "合格", "不合格", "无应答", "未判定"}));
    QVERIFY(!page.fromEdit()->isEnabled());
    page.fromBox()->setChecked(true);
    QVERIFY(page.fromEdit()->isEnabled());
    page.fromBox()->setChecked(false);

    QTableWidget* table = page.recordTable();
    QCOMPARE(table->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QStringList titles;
    for (int c = 0; c < table->columnCount(); ++c)
        titles << table->horizontalHeaderItem(c)->text();
    QCOMPARE(titles, QStringList({"时间", "序列号", "型号", "操作员", "类型", "结论", "不合格数"}));
    const QStringList expected[] = {
        {"2026-03-04 12:15:30", "（无）", "M2", "李四", "配置下载", "无应答", "0"},
        {"2026-03-03 11:15:30", kUnicode, "M2", "李四", "标定", "合格", "0"},
        {"2026-03-02 10:15:30", "KX-002", "M1", "李四", "检验", "不合格", "1"},
        {"2026-03-01 09:15:30", "KX-001", "M1", "李四", "检验", "合格", "0"},
    };
    QCOMPARE(table->rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells << table->item(row, c)->text();
        QCOMPARE(cells, expected[row]);
    }
    // A failure does not look like a pass.
    QCOMPARE(table->item(2, RecordsPage::Result)->foreground().color(), QColor(Qt::red));
    QVERIFY(table->item(3, RecordsPage::Result)->foreground().color() != QColor(Qt::red));
    QCOMPARE(page.statusLabel()->text(), QStringLiteral("共 4 条记录"));
    QCOMPARE(messages_->shown, QStringList());
}

void RecordsPageTest::filtersNarrowTheTable_data() {
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("model"); // index in the box
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<int>("verdict"); // index in the box
    QTest::addColumn<QStringList>("shown");
    const QDate any;
    QTest::newRow("part of a serial")
        << "KX-00" << 0 << any << any << 0 << QStringList{"KX-002", "KX-001"};
    QTest::newRow("unicode serial") << "①" << 0 << any << any << 0 << QStringList{kUnicode};
    QTest::newRow("blanks around a serial")
        << "  KX-001 " << 0 << any << any << 0 << QStringList{"KX-001"};
    QTest::newRow("a % is not a wildcard") << "%" << 0 << any << any << 0 << QStringList{};
    QTest::newRow("model") << "" << 2 << any << any << 0 << QStringList{"（无）", kUnicode};
    QTest::newRow("from") << "" << 0 << QDate(2026, 3, 3) << any << 0
                          << QStringList{"（无）", kUnicode};
    QTest::newRow("to") << "" << 0 << any << QDate(2026, 3, 2) << 0
                        << QStringList{"KX-002", "KX-001"};
    QTest::newRow("one day") << "" << 0 << QDate(2026, 3, 2) << QDate(2026, 3, 2) << 0
                             << QStringList{"KX-002"};
    QTest::newRow("pass") << "" << 0 << any << any << 1 << QStringList{kUnicode, "KX-001"};
    QTest::newRow("fail") << "" << 0 << any << any << 2 << QStringList{"KX-002"};
    QTest::newRow("not answering") << "" << 0 << any << any << 3 << QStringList{"（无）"};
    QTest::newRow("no verdict") << "" << 0 << any << any << 4 << QStringList{};
    QTest::newRow("model and verdict") << "" << 1 << any << any << 1 << QStringList{"KX-001"};
}

void RecordsPageTest::filtersNarrowTheTable() {
    QFETCH(QString, serial);
    QFETCH(int, model);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(int, verdict);
    QFETCH(QStringList, shown);
    RecordsPage& page = Page();
    page.serialEdit()->setText(serial);
    page.modelBox()->setCurrentIndex(model);
    page.fromBox()->setChecked(from.isValid());
    if (from.isValid()) page.fromEdit()->setDate(from);
    page.toBox()->setChecked(to.isValid());
    if (to.isValid()) page.toEdit()->setDate(to);
    page.verdictBox()->setCurrentIndex(verdict);
    QTest::mouseClick(page.queryButton(), Qt::LeftButton);

    QStringList serials;
    for (int row = 0; row < page.recordTable()->rowCount(); ++row)
        serials << page.recordTable()->item(row, RecordsPage::Serial)->text();
    QCOMPARE(serials, shown);
    QCOMPARE(page.statusLabel()->text(), QStringLiteral("共 %1 条记录").arg(shown.size()));

    // Ticking a date off again stops it filtering.
    page.serialEdit()->clear();
    page.modelBox()->setCurrentIndex(0);
    page.fromBox()->setChecked(false);
    page.toBox()->setChecked(false);
    page.verdictBox()->setCurrentIndex(0);
    page.Refresh();
    QCOMPARE(page.recordTable()->rowCount(), 4);
}

void RecordsPageTest::selectingShowsTheRecordWhole() {
    RecordsPage& page = Page();
    QCOMPARE(page.quantityTable()->rowCount(), 0);
    QVERIFY(!page.current());

    Select({"KX-002"});
    QVERIFY(page.current());
    QCOMPARE(page.current()->id, stored_[1].id);
    QTableWidget* q = page.quantityTable();
    QStringList titles;
    for (int c = 0; c < q->columnCount(); ++c)
        titles << q->horizontalHeaderItem(c)->text();
    QCOMPARE(titles, QStringList({"测试点", "名称", "显示值", "期望值", "测量值", "误差", "限值",
                                  "单位", "结论"}));
    const QStringList expected[] = {
        {"1", "A相电压", "220.5 W", "220", "220.5", "0.05", "0.5", "W", "合格"},
        {"1", "A相有功功率", "560 W", "550", "560", "1", "0.5", "W", "不合格"},
        {"1", "功率因数", "nan W", "1", "—", "—", "0.5", "W", "合格"},
    };
    QCOMPARE(q->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        QStringList cells;
        for (int c = 0; c < q->columnCount(); ++c)
            cells << q->item(row, c)->text();
        QCOMPARE(cells, expected[row]);
    }
    QCOMPARE(q->item(1, RecordsPage::Passed)->foreground().color(), QColor(Qt::red));
    const QString identity = page.identityLabel()->text();
    for (const char* part :
         {"序列号：KX-002", "型号：M1", "操作员：李四", "工位：bench-2", "2026-03-02 10:15:30.250",
          "/dev/ttyUSB0", "9600,N,8,1", "MODBUS_RTU", "结论：不合格", "不合格数：1"})
        QVERIFY2(identity.contains(QString::fromUtf8(part)), part);
    QCOMPARE(page.detailsText()->toPlainText(), QStringLiteral("written=KX-002"));

    // With two selected, the one clicked last is shown; a record without quantities empties the
    // quantities table; a record without serial number says so.
    Select({"KX-002", "（无）"});
    QCOMPARE(page.current()->id, stored_[3].id);
    QCOMPARE(page.quantityTable()->rowCount(), 0);
    QVERIFY(page.identityLabel()->text().contains(QStringLiteral("序列号：（无）")));

    page.recordTable()->clearSelection();
    QVERIFY(!page.current());
    QCOMPARE(page.quantityTable()->rowCount(), 0);
    QCOMPARE(page.detailsText()->toPlainText(), QString());
    QCOMPARE(messages_->shown, QStringList());
}

void RecordsPageTest::refreshKeepsTheSelection() {
    RecordsPage& page = Page();
    Select({"KX-001", kUnicode});
    // A record added meanwhile comes at the top; the chosen ones stay chosen.
    UnitRecord newer = Record("KX-005", "M1", At(3, 5, 8), Verdict::Pass, RecordKind::Check, {});
    QVERIFY(results_->Add(newer));
    page.Refresh();
    QCOMPARE(page.recordTable()->rowCount(), 5);
    QCOMPARE(page.recordTable()->item(0, RecordsPage::Serial)->text(), QStringLiteral("KX-005"));
    QList<int> rows;
    for (const QModelIndex& index : page.recordTable()->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QCOMPARE(rows, (QList<int>{RowOf(kUnicode), RowOf("KX-001")}));
    QVERIFY(page.current());
}

void RecordsPageTest::csvHoldsTheLinesOfTheSelectedRecords() {
    RecordsPage& page = Page();
    Select({"KX-002", kUnicode});
    const QString path = dir_->filePath(QStringLiteral("selected"));
    messages_->fileNames << path;
    QTest::mouseClick(page.csvButton(), Qt::LeftButton);

    const QString written = path + QStringLiteral(".csv");
    QCOMPARE(messages_->shown,
             QStringList({"save: 检验记录.csv", "inform: " + ExportSucceededMessage(written)}));
    const QStringList lines = CsvLines(written);
    QCOMPARE(lines.size(), 1 + 3 + 1);
    QVERIFY(lines[0].startsWith(QStringLiteral("记录号,类型,序列号,型号")));
    // In table order (newest first): the calibration without quantities has one line.
    QCOMPARE(CsvSerials(lines), QStringList({kUnicode, "KX-002", "KX-002", "KX-002"}));
    QVERIFY(lines[1].startsWith(QString::number(stored_[2].id) + QStringLiteral(",标定,")));
    QVERIFY(lines[3].contains(QStringLiteral(",A相有功功率,Q,560 W,W,550,560,1,0.5,不合格")));
}

void RecordsPageTest::csvHoldsAllShownWhenNoneIsSelected() {
    RecordsPage& page = Page();
    page.modelBox()->setCurrentIndex(1); // M1
    page.Refresh();
    const QString path = dir_->filePath(QStringLiteral("shown.csv"));
    messages_->fileNames << path;
    page.ExportCsvClick();
    QCOMPARE(messages_->shown.last(), "inform: " + ExportSucceededMessage(path));
    QCOMPARE(CsvSerials(CsvLines(path)),
             QStringList({"KX-002", "KX-002", "KX-002", "KX-001", "KX-001"}));

    // Nothing shown: nothing to export, and no file dialog.
    page.serialEdit()->setText(QStringLiteral("no such unit"));
    page.Refresh();
    messages_->shown.clear();
    page.ExportCsvClick();
    QCOMPARE(messages_->shown, QStringList{QStringLiteral("inform: 无数据，不能导出保存！！")});
}

void RecordsPageTest::csvCancelledOrNotReplacedWritesNothing() {
    RecordsPage& page = Page();
    page.ExportCsvClick(); // the save dialog cancelled
    QCOMPARE(messages_->shown, QStringList{QStringLiteral("save: 检验记录.csv")});

    const QString path = dir_->filePath(QStringLiteral("old.csv"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("an older export");
    }
    messages_->shown.clear();
    messages_->fileNames << path;
    messages_->answers << false;
    page.ExportCsvClick();
    QCOMPARE(messages_->shown, QStringList({"save: 检验记录.csv", "ask: 文件已经存在,是否覆盖?"}));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("an older export"));
}

void RecordsPageTest::csvThatFailsSaysWhy() {
    RecordsPage& page = Page();
    const QString path = dir_->filePath(QStringLiteral("missing/records.csv"));
    messages_->fileNames << path;
    page.ExportCsvClick();
    QCOMPARE(messages_->shown.size(), 2);
    const QString shown = messages_->shown.last();
    QVERIFY2(shown.startsWith(QStringLiteral("inform: 数据导出失败！！\n")), qPrintable(shown));
    QVERIFY2(shown.size() > QStringLiteral("inform: 数据导出失败！！\n").size(), qPrintable(shown));
    QVERIFY(!QFileInfo::exists(dir_->filePath(QStringLiteral("missing"))));
}

void RecordsPageTest::reportOfOneRecordProposesItsName() {
    RecordsPage& page = Page();
    Select({"KX-002"});
    const std::optional<UnitRecord> whole = results_->Get(stored_[1].id);
    QVERIFY(whole);
    // What the report writer makes of this record elsewhere is what the page must report.
    const ExportResult engine =
        WriteRecordWorkbook(dir_->filePath(QStringLiteral("engine.xlsx")), *whole);

    const QString path = dir_->filePath(QStringLiteral("one.xlsx"));
    messages_->fileNames << path;
    QTest::mouseClick(page.reportButton(), Qt::LeftButton);
    QCOMPARE(messages_->shown.size(), 2);
    QCOMPARE(messages_->shown[0], "save: " + DefaultReportFileName(*whole));
    if (engine.ok) {
        QCOMPARE(messages_->shown[1], "inform: " + ExportSucceededMessage(path));
        QVERIFY(QFileInfo::exists(path));
    } else {
        QCOMPARE(messages_->shown[1], "inform: 数据导出失败！！\n" + engine.detail);
        QVERIFY(!QFileInfo::exists(path));
    }
}

void RecordsPageTest::reportsOfSeveralRecordsGoIntoOneFolder() {
    RecordsPage& page = Page();
    Select({"KX-001", "KX-002", "（无）"});
    const QString folder = dir_->filePath(QStringLiteral("reports"));
    QVERIFY(QDir().mkpath(folder));
    const ExportResult engine = WriteRecordWorkbook(dir_->filePath(QStringLiteral("engine.xlsx")),
                                                    *results_->Get(stored_[0].id));

    messages_->folders << folder;
    page.ExportReportClick();
    QCOMPARE(messages_->shown.size(), 2);
    QCOMPARE(messages_->shown[0], QStringLiteral("folder: 选择保存报表的文件夹"));
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    if (engine.ok) {
        QCOMPARE(messages_->shown[1],
                 "inform: " + ExportSucceededMessage(QDir::toNativeSeparators(folder)));
        QCOMPARE(files.size(), 3);
        for (int i : {0, 1, 3})
            QVERIFY2(files.contains(DefaultReportFileName(stored_[i])),
                     qPrintable(DefaultReportFileName(stored_[i])));
    } else {
        QVERIFY2(messages_->shown[1].startsWith(
                     QStringLiteral("inform: 数据导出失败！！\n已导出 0 份，3 份未导出：")),
                 qPrintable(messages_->shown[1]));
        QVERIFY(messages_->shown[1].contains(engine.detail));
        QCOMPARE(files, QStringList());
    }

    // Cancelling the folder writes nothing.
    messages_->shown.clear();
    page.ExportReportClick();
    QCOMPARE(messages_->shown, QStringList{QStringLiteral("folder: 选择保存报表的文件夹")});
}

void RecordsPageTest::reportNeedsASelection() {
    RecordsPage& page = Page();
    page.ExportReportClick();
    QCOMPARE(messages_->shown, QStringList{QStringLiteral("inform: 请先选择要导出报表的记录！")});
}

void RecordsPageTest::aDatabaseThatCannotBeReadIsShownOnThePage() {
    // A store whose file could not be opened at the start (the window said so then).
    ResultsDatabase closed(dir_->filePath(QStringLiteral("never-opened.db")));
    RecordsPage page(closed, {});
    page.show();
    page.Refresh();
    QCOMPARE(page.recordTable()->rowCount(), 0);
    QVERIFY(page.statusLabel()->text().contains(closed.path()));
    QVERIFY(page.statusLabel()->styleSheet().contains(QStringLiteral("red")));
    page.ExportCsvClick();
    QCOMPARE(messages_->shown, QStringList{QStringLiteral("inform: 无数据，不能导出保存！！")});
}

QTEST_MAIN(RecordsPageTest)
#include "records_page_test.moc"
