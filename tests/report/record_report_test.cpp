#include "report/record_report.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <ostream>
#include <tuple>
#include <utility>

// Readable failures: the JSON and Qt values as text.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QJsonValue& value, std::ostream* os) {
    *os << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}
void PrintTo(const QJsonArray& value, std::ostream* os) {
    *os << QJsonDocument(value).toJson(QJsonDocument::Compact).toStdString();
}
void PrintTo(const QJsonObject& value, std::ostream* os) {
    *os << QJsonDocument(value).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

bool ReaderAvailable() {
    static const bool available = [] {
        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
        return probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit &&
               probe.exitCode() == 0;
    }();
    return available;
}

#define REQUIRE_READER()                                                                           \
    if (!ReaderAvailable())                                                                        \
    GTEST_SKIP() << "/usr/bin/python3 cannot import openpyxl (Debian package python3-openpyxl)"

QJsonObject RunReader(const char* script, const QStringList& arguments) {
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QLatin1String(script)} + arguments);
    const bool finished = reader.waitForFinished(60000);
    const QByteArray out = reader.readAllStandardOutput();
    EXPECT_TRUE(finished && reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0)
        << reader.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

// openpyxl's view of one sheet, as read_report.py prints it.
QJsonObject ReadSheet(const QString& path, int index) {
    return RunReader(KX_REPORT_READER, {path, QString::number(index)});
}

QJsonObject Cells(const QJsonObject& sheet) {
    return sheet[QStringLiteral("cells")].toObject();
}

// Splits "G12" into its column letters and row number.
std::pair<QString, int> Split(const QString& ref) {
    const auto m = QRegularExpression(QStringLiteral("^([A-Z]+)(\\d+)$")).match(ref);
    return {m.captured(1), m.captured(2).toInt()};
}

QString Ref(const QString& column, int row) {
    return column + QString::number(row);
}

// The reference of the topmost (then leftmost) cell that holds exactly this text; empty when
// none does.
QString Find(const QJsonObject& sheet, const QString& text) {
    const QJsonObject cells = Cells(sheet);
    QString found;
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        if (it.value().toObject()[QStringLiteral("value")] != QJsonValue(text)) continue;
        const auto [column, row] = Split(it.key());
        if (found.isEmpty() ||
            std::make_pair(row, column) < std::make_pair(Split(found).second, Split(found).first))
            found = it.key();
    }
    return found;
}

// The value of an identity label: the next cell to its right (merged cells are not listed).
QJsonValue ValueOf(const QJsonObject& sheet, const QString& label) {
    const QString at = Find(sheet, label);
    if (at.isEmpty()) return QJsonValue(QStringLiteral("<no label %1>").arg(label));
    const auto [column, row] = Split(at);
    const QJsonObject cells = Cells(sheet);
    for (char c = column.at(0).toLatin1() + 1; c <= 'Z'; ++c) {
        const QString ref = Ref(QString(QLatin1Char(c)), row);
        if (cells.contains(ref)) return cells[ref].toObject()[QStringLiteral("value")];
    }
    return QJsonValue(QStringLiteral("<nothing right of %1>").arg(label));
}

// The quantity table: the header row (测试点 beside 名称) and the column of each heading.
struct Table {
    int headerRow = 0;
    QHash<QString, QString> columns;
    QJsonObject Cell(const QJsonObject& sheet, const char* heading, int line) const {
        return Cells(sheet)[Ref(columns.value(QString::fromUtf8(heading)), headerRow + 1 + line)]
            .toObject();
    }
};

Table FindTable(const QJsonObject& sheet) {
    Table table;
    const QJsonObject cells = Cells(sheet);
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        const auto [column, row] = Split(it.key());
        if (it.value().toObject()[QStringLiteral("value")] == QJsonValue(QStringLiteral("名称")) &&
            cells[Ref(QStringLiteral("A"), row)].toObject()[QStringLiteral("value")] ==
                QJsonValue(QStringLiteral("测试点")))
            table.headerRow = row;
    }
    for (char c = 'A'; c <= 'Z' && table.headerRow; ++c) {
        const QString column{QLatin1Char(c)};
        const QJsonValue v =
            cells[Ref(column, table.headerRow)].toObject()[QStringLiteral("value")];
        if (v.isString()) table.columns.insert(v.toString(), column);
    }
    return table;
}

QDateTime Local(int hour, int minute, int second) {
    return QDateTime(QDate(2024, 3, 5), QTime(hour, minute, second));
}

RecordQuantity Quantity(int point, const char* name, const char* quantity, const char* unit,
                        double expected, double measured, double error, double limit, bool passed) {
    RecordQuantity q;
    q.point = point;
    q.name = QString::fromUtf8(name);
    q.quantity = QString::fromUtf8(quantity);
    q.unit = QString::fromUtf8(unit);
    q.text = QStringLiteral("%1 %2").arg(measured).arg(q.unit);
    q.expected = expected;
    q.measured = measured;
    q.error = error;
    q.limit = limit;
    q.passed = passed;
    return q;
}

// A check at one point with a failed frequency and a red status value that names no quantity.
UnitRecord FailedCheck() {
    UnitRecord r;
    r.id = 41;
    r.serial = QStringLiteral("KX-2024-0001");
    r.model = QStringLiteral("KX7410M3");
    r.operatorName = QStringLiteral("张工");
    r.station = QStringLiteral("QA-PC-07");
    r.softwareVersion = QStringLiteral("1.4.0");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.lineSettings = QStringLiteral("9600,N,8,1");
    r.protocol = QStringLiteral("MODBUS_RTU");
    r.address = 17;
    r.started = Local(14, 7, 9);
    r.ended = Local(14, 7, 59);
    r.points = {{0, 100, 100, 60, 50, Verdict::Fail, 2}};
    const double nan = std::nan("");
    r.quantities = {
        Quantity(0, "A相电压", "Ua", "V", 220, 220.01, 0.0045, 0.2, true),
        Quantity(0, "A相有功功率", "Pa", "W", 550, 551.5, 0.2727, 0.5, true),
        Quantity(0, "频率", "F", "Hz", 50, 50.03, 0.03, 0.02, false),
        Quantity(0, "告警状态", "", "", nan, nan, nan, nan, false),
    };
    r.verdict = Verdict::Fail;
    r.failures = 2;
    return r;
}

class RecordReport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString File(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QStringList Entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }
    QTemporaryDir dir;
};

TEST_F(RecordReport, IdentityBlockNamesTheUnitTheTestAndItsPoint) {
    REQUIRE_READER();
    const QString path = File("report.xlsx");
    const ExportResult result = WriteRecordWorkbook(path, FailedCheck());
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    const QJsonObject sheet = ReadSheet(path, 0);

    EXPECT_EQ(sheet[QStringLiteral("sheets")].toArray(), QJsonArray({QStringLiteral("检验报告")}));
    const std::pair<const char*, QJsonValue> identity[] = {
        {"序列号", QStringLiteral("KX-2024-0001")},
        {"型号", QStringLiteral("KX7410M3")},
        {"操作员", QStringLiteral("张工")},
        {"工位", QStringLiteral("QA-PC-07")},
        {"开始时间", QStringLiteral("2024-03-05 14:07:09")},
        {"结束时间", QStringLiteral("2024-03-05 14:07:59")},
        {"软件版本", QStringLiteral("1.4.0")},
        {"串口", QStringLiteral("/dev/ttyUSB0")},
        {"通信参数", QStringLiteral("9600,N,8,1")},
        {"通信协议", QStringLiteral("MODBUS_RTU")},
        {"地址", 17},
        {"检验方案", QStringLiteral("单点")},
        {"测试点", QStringLiteral("U 100% I 100% 60° 50Hz")},
    };
    for (const auto& [label, value] : identity)
        EXPECT_EQ(ValueOf(sheet, QString::fromUtf8(label)), value) << label;
}

TEST_F(RecordReport, QuantityTableHoldsFiguresAsNumbersAndUnitsApart) {
    REQUIRE_READER();
    const QString path = File("report.xlsx");
    const UnitRecord record = FailedCheck();
    ASSERT_TRUE(WriteRecordWorkbook(path, record).ok);
    const QJsonObject sheet = ReadSheet(path, 0);

    const Table table = FindTable(sheet);
    ASSERT_NE(table.headerRow, 0);
    const QStringList headings = {"测试点", "名称",    "检验量",  "期望值", "测量值",
                                  "单位",   "误差(%)", "限值(%)", "结论"};
    QStringList inOrder;
    for (char c = 'A'; c < 'A' + headings.size(); ++c)
        inOrder << Cells(sheet)[Ref(QString(QLatin1Char(c)), table.headerRow)]
                       .toObject()[QStringLiteral("value")]
                       .toString();
    EXPECT_EQ(inOrder, headings);

    for (int line = 0; line < record.quantities.size(); ++line) {
        SCOPED_TRACE(line);
        const RecordQuantity& q = record.quantities[line];
        EXPECT_EQ(table.Cell(sheet, "名称", line)["value"].toString(), q.name);
        EXPECT_EQ(table.Cell(sheet, "单位", line)["value"],
                  q.unit.isEmpty() ? QJsonValue() : QJsonValue(q.unit));
        const std::pair<const char*, double> figures[] = {{"期望值", q.expected},
                                                          {"测量值", q.measured},
                                                          {"误差(%)", q.error},
                                                          {"限值(%)", q.limit}};
        for (const auto& [heading, value] : figures) {
            const QJsonObject cell = table.Cell(sheet, heading, line);
            if (std::isnan(value)) {
                EXPECT_TRUE(cell["value"].isNull()) << heading;
            } else {
                EXPECT_EQ(cell["data_type"].toString(), QStringLiteral("n")) << heading;
                EXPECT_DOUBLE_EQ(cell["value"].toDouble(), value) << heading;
            }
        }
        const QJsonObject verdict = table.Cell(sheet, "结论", line);
        EXPECT_EQ(verdict["value"].toString(),
                  q.passed ? QStringLiteral("合格") : QStringLiteral("不合格"));
        EXPECT_EQ(verdict["color"].toString() == QStringLiteral("FFFF0000"), !q.passed);
        // every cell of the table has its thin frame, empty ones too (the point's cell runs
        // down its quantities from the first)
        for (const QString& heading : headings) {
            if (heading == QStringLiteral("测试点") && line > 0) continue;
            const QJsonObject cell =
                Cells(sheet)[Ref(table.columns.value(heading), table.headerRow + 1 + line)]
                    .toObject();
            EXPECT_EQ(cell["borders"].toArray(), QJsonArray({"thin", "thin", "thin", "thin"}))
                << heading.toStdString();
        }
    }
    EXPECT_EQ(table.Cell(sheet, "测试点", 0)["value"].toString(),
              QStringLiteral("U 100% I 100% 60° 50Hz"));
    for (const QString& heading : headings)
        EXPECT_EQ(Cells(sheet)[Ref(table.columns.value(heading), table.headerRow)]
                      .toObject()["borders"]
                      .toArray(),
                  QJsonArray({"thin", "thin", "thin", "thin"}))
            << heading.toStdString();
}

TEST_F(RecordReport, VerdictSignatureAndOneUprightA4Page) {
    REQUIRE_READER();
    const QString path = File("report.xlsx");
    ASSERT_TRUE(WriteRecordWorkbook(path, FailedCheck()).ok);
    const QJsonObject sheet = ReadSheet(path, 0);

    const QString verdict = Find(sheet, QStringLiteral("不合格（2 项不合格）"));
    ASSERT_FALSE(verdict.isEmpty());
    const QJsonObject cell = Cells(sheet)[verdict].toObject();
    EXPECT_GE(cell["size"].toDouble(), 14);
    EXPECT_EQ(cell["color"].toString(), QStringLiteral("FFFF0000"));
    EXPECT_GT(Split(verdict).second, FindTable(sheet).headerRow + 4); // below the table
    const QString signature =
        Find(sheet, QStringLiteral("检验员：________  审核：________  日期：________"));
    ASSERT_FALSE(signature.isEmpty());
    EXPECT_GT(Split(signature).second, Split(verdict).second);

    EXPECT_EQ(sheet["paper"].toInt(), 9);
    EXPECT_EQ(sheet["orientation"].toString(), QStringLiteral("portrait"));
    EXPECT_TRUE(sheet["fit_to_page"].toBool());
    EXPECT_EQ(sheet["fit_width"].toInt(), 1);
    EXPECT_EQ(sheet["fit_height"].toInt(), 1);
    // the print area runs from A1 to the last used row and column
    const QString lastRow = QString::number(sheet["max_row"].toInt());
    EXPECT_EQ(sheet["max_column"].toInt(), 9);
    EXPECT_EQ(sheet["print_area"].toArray(), QJsonArray({QStringLiteral("$A$1:$I$") + lastRow}));
    EXPECT_EQ(Split(signature).second, sheet["max_row"].toInt());
    // every column of the table has a width chosen for it
    EXPECT_EQ(sheet["widths"].toObject().keys(),
              QStringList({"A", "B", "C", "D", "E", "F", "G", "H", "I"}));
}

TEST_F(RecordReport, PointsOfAPlanAreListedAndEachNamesItsRunOfQuantities) {
    REQUIRE_READER();
    UnitRecord r = FailedCheck();
    r.serial.clear();
    r.plan = QStringLiteral("三点方案");
    r.points = {{0, 100, 100, 0, 50, Verdict::Pass, 0}, {1, 50, 1, 300, 45, Verdict::Pass, 0}};
    r.quantities = {Quantity(0, "A相电压", "Ua", "V", 220, 220.1, 0.05, 0.2, true),
                    Quantity(0, "A相电流", "Ia", "A", 5, 5.001, 0.02, 0.2, true),
                    Quantity(0, "频率", "F", "Hz", 50, 50, 0, 0.02, true),
                    Quantity(1, "A相电压", "Ua", "V", 110, 110.05, 0.0227, 0.2, true)};
    r.verdict = Verdict::Pass;
    r.failures = 0;
    const QString path = File("plan.xlsx");
    ASSERT_TRUE(WriteRecordWorkbook(path, r).ok);
    const QJsonObject sheet = ReadSheet(path, 0);

    EXPECT_EQ(ValueOf(sheet, QStringLiteral("序列号")), QJsonValue(QStringLiteral("（无序列号）")));
    EXPECT_EQ(ValueOf(sheet, QStringLiteral("检验方案")), QJsonValue(QStringLiteral("三点方案")));
    EXPECT_EQ(ValueOf(sheet, QStringLiteral("测试点")),
              QJsonValue(QStringLiteral("U 100% I 100% 0° 50Hz；U 50% I 1% 300° 45Hz")));

    const Table table = FindTable(sheet);
    const int first = table.headerRow + 1;
    QStringList merged;
    for (const auto& m : sheet["merged"].toArray())
        merged << m.toString();
    EXPECT_TRUE(merged.contains(QStringLiteral("A%1:A%2").arg(first).arg(first + 2)))
        << merged.join(' ').toStdString();
    EXPECT_EQ(table.Cell(sheet, "测试点", 0)["value"].toString(),
              QStringLiteral("U 100% I 100% 0° 50Hz"));
    EXPECT_EQ(table.Cell(sheet, "测试点", 3)["value"].toString(),
              QStringLiteral("U 50% I 1% 300° 45Hz"));
    EXPECT_EQ(table.Cell(sheet, "期望值", 3)["value"].toDouble(), 110);

    // the one "合格" outside the table is the overall verdict, in black
    QString overall;
    const QJsonObject cells = Cells(sheet);
    for (auto it = cells.begin(); it != cells.end(); ++it)
        if (it.value().toObject()["value"] == QJsonValue(QStringLiteral("合格")) &&
            Split(it.key()).second > first + 3)
            overall = it.key();
    ASSERT_FALSE(overall.isEmpty());
    EXPECT_GE(cells[overall].toObject()["size"].toDouble(), 14);
    EXPECT_NE(cells[overall].toObject()["color"].toString(), QStringLiteral("FFFF0000"));
}

TEST_F(RecordReport, ARecordWithoutQuantitiesSaysSoAndGivesItsVerdict) {
    REQUIRE_READER();
    UnitRecord r = FailedCheck();
    r.points = {{0, 100, 100, 60, 50, Verdict::NotAnswering, 0}};
    r.quantities.clear();
    r.verdict = Verdict::NotAnswering;
    r.failures = 0;
    const QString path = File("silent.xlsx");
    ASSERT_TRUE(WriteRecordWorkbook(path, r).ok);
    const QJsonObject sheet = ReadSheet(path, 0);
    const Table table = FindTable(sheet);
    ASSERT_NE(table.headerRow, 0);
    EXPECT_EQ(Cells(sheet)[Ref("A", table.headerRow + 1)].toObject()["value"].toString(),
              QStringLiteral("无检验数据"));
    EXPECT_FALSE(Find(sheet, QStringLiteral("无应答")).isEmpty());
}

TEST(ReportVerdictText, NamesTheFailuresOfAFailedUnit) {
    const std::tuple<Verdict, int, const char*> cases[] = {
        {Verdict::Pass, 0, "合格"},   {Verdict::Fail, 3, "不合格（3 项不合格）"},
        {Verdict::Fail, 0, "不合格"}, {Verdict::NotAnswering, 0, "无应答"},
        {Verdict::None, 0, "未判定"},
    };
    for (const auto& [verdict, failures, text] : cases) {
        UnitRecord r;
        r.verdict = verdict;
        r.failures = failures;
        EXPECT_EQ(ReportVerdictText(r), QString::fromUtf8(text)) << text;
    }
}

TEST_F(RecordReport, CheckWorkbookKeepsItsFirstSheetAndAddsTheReportSecond) {
    REQUIRE_READER();
    ExportGrid grid;
    grid.title = QStringLiteral("三相电参数采集模块输出寄存器数据");
    grid.status = QStringLiteral("发送：12 接收：12");
    grid.rows = {{QStringLiteral("1"), QStringLiteral("Ua"), QStringLiteral("220.01 V"), false},
                 {QStringLiteral("2"), QStringLiteral("F"), QStringLiteral("50.03 Hz"), true},
                 {QStringLiteral("3"), QStringLiteral("Pa"), QStringLiteral("551.50 W"), false}};
    ExportTestPoint point;
    point.voltage = 3;
    point.current = 3;
    point.angle = 2;
    point.frequency = 1;
    const ExportHeaderLines header = BuildHeaderLines(ExportSettings{}, point);

    const QString plain = File("plain.xlsx");
    const QString both = File("both.xlsx");
    ASSERT_TRUE(WriteCheckWorkbook(plain, grid, header).ok);
    const UnitRecord record = FailedCheck();
    const ExportResult result = WriteCheckWorkbook(both, grid, header, &record);
    ASSERT_TRUE(result.ok) << result.detail.toStdString();

    // the grid's sheet as openpyxl sees it (values, fonts, colours, merges, widths) ...
    QJsonObject first = RunReader(KX_WORKBOOK_READER, {both});
    QJsonObject alone = RunReader(KX_WORKBOOK_READER, {plain});
    EXPECT_EQ(first["sheets"].toArray(), QJsonArray({"Sheet1", "检验报告"}));
    EXPECT_EQ(alone["sheets"].toArray(), QJsonArray({"Sheet1"}));
    first.remove("sheets");
    alone.remove("sheets");
    EXPECT_EQ(first, alone);
    // ... and as stored
    const QJsonObject parts = ReadSheet(both, 1)["parts"].toObject();
    EXPECT_EQ(parts["xl/worksheets/sheet1.xml"],
              ReadSheet(plain, 0)["parts"].toObject()["xl/worksheets/sheet1.xml"]);
    EXPECT_TRUE(parts.contains("xl/worksheets/sheet2.xml"));

    const QJsonObject report = ReadSheet(both, 1);
    EXPECT_EQ(report["title"].toString(), QStringLiteral("检验报告"));
    EXPECT_EQ(ValueOf(report, QStringLiteral("序列号")),
              QJsonValue(QStringLiteral("KX-2024-0001")));
    EXPECT_EQ(report["paper"].toInt(), 9);
}

TEST_F(RecordReport, AReportThatCannotBeWrittenLeavesTheOldWorkbook) {
    const QString path = File("Excel.xlsx");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older export");
    }
    UnitRecord record = FailedCheck();
    record.quantities[1].name = QString(40000, u'名'); // more than a cell may hold
    ExportGrid grid;
    grid.rows = {{QStringLiteral("1"), QStringLiteral("Ua"), QStringLiteral("220 V"), false}};

    const ExportResult withGrid = WriteCheckWorkbook(path, grid, ExportHeaderLines{}, &record);
    EXPECT_FALSE(withGrid.ok);
    EXPECT_FALSE(withGrid.detail.isEmpty());
    const ExportResult alone = WriteRecordWorkbook(path, record);
    EXPECT_FALSE(alone.ok);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("an older export"));
    EXPECT_EQ(Entries(), QStringList{"Excel.xlsx"});
}

TEST_F(RecordReport, RecordWorkbookReplacesTheTargetAndLeavesNothingElse) {
    REQUIRE_READER();
    const QString path = File("KX7410M3_KX-2024-0001_20240305-140709.xlsx");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older report");
    }
    ASSERT_TRUE(WriteRecordWorkbook(path, FailedCheck()).ok);
    EXPECT_EQ(Entries(), QStringList{QFileInfo(path).fileName()});
    EXPECT_EQ(ValueOf(ReadSheet(path, 0), QStringLiteral("型号")),
              QJsonValue(QStringLiteral("KX7410M3")));
}

TEST_F(RecordReport, RecordWorkbookIntoAMissingFolderFailsAndLeavesNothing) {
    const QStringList before = Entries();
    const ExportResult result = WriteRecordWorkbook(File("missing/report.xlsx"), FailedCheck());
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.detail.isEmpty());
    EXPECT_EQ(Entries(), before);
    EXPECT_FALSE(QFileInfo::exists(File("missing")));
}

struct FileNameCase {
    const char* name;
    const char* model;
    const char* serial;
    const char* expected;
};

void PrintTo(const FileNameCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportFileName : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(ReportFileName, IsModelSerialAndStartTime) {
    UnitRecord r;
    r.model = QString::fromUtf8(GetParam().model);
    r.serial = QString::fromUtf8(GetParam().serial);
    r.started = Local(14, 7, 9);
    EXPECT_EQ(DefaultReportFileName(r).toStdString(), std::string(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Report, ReportFileName,
    ::testing::Values(
        FileNameCase{"Plain", "KX7410M3", "A123", "KX7410M3_A123_20240305-140709.xlsx"},
        FileNameCase{"EmptySerial", "KX7410M3", "", "KX7410M3_无序列号_20240305-140709.xlsx"},
        FileNameCase{"RefusedCharacters", "KX/7410", "a\\b/c:d*e?f\"g<h>i|j",
                     "KX_7410_a_b_c_d_e_f_g_h_i_j_20240305-140709.xlsx"},
        FileNameCase{"ControlCharacters", "KX7410M3",
                     "A\t1\n2\x01\x7f"
                     "3",
                     "KX7410M3_A_1_2__3_20240305-140709.xlsx"},
        FileNameCase{"UnicodeKept", "KX7410M3", "模块-№5·α",
                     "KX7410M3_模块-№5·α_20240305-140709.xlsx"},
        FileNameCase{"DotsAndSpacesKept", "KX 7410", "v1.2 b",
                     "KX 7410_v1.2 b_20240305-140709.xlsx"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReportFileNameTime, IsTheLocalTimeOfTheStart) {
    UnitRecord r;
    r.model = QStringLiteral("M");
    r.serial = QStringLiteral("S");
    const QDateTime local = Local(23, 59, 58);
    r.started = local.toUTC(); // as a record read back might carry it
    EXPECT_EQ(DefaultReportFileName(r), QStringLiteral("M_S_20240305-235958.xlsx"));
}

TEST(ReportMessages, SuccessNamesThePathOnALineOfItsOwn) {
#ifdef _WIN32
    const QString shown = QStringLiteral("C:\\报告\\a.xlsx");
#else
    const QString shown = QStringLiteral("/home/qa/报告/a.xlsx");
#endif
    EXPECT_EQ(ExportSucceededMessage(QDir::fromNativeSeparators(shown)),
              QStringLiteral("数据导出成功！\n") + shown);
    EXPECT_EQ(ExportSucceededMessage(), QStringLiteral("数据导出成功！"));
}

} // namespace
