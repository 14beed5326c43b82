// The CSV file of records: RFC 4180 quoting, the byte-order mark and the header, one line for each
// checked quantity with its record's identity and test point, one line for a record without
// quantities, and a target that cannot be written fails and leaves nothing.

#include "report/records_csv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <ostream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Reads CSV text as a spreadsheet does (RFC 4180): fields between commas, quoted fields may hold
// commas, doubled quotes and line breaks, records end in CR LF. A quote inside an unquoted field
// or a line that does not end in CR LF is reported as a field "<bad>".
QList<QStringList> Parse(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    qsizetype i = 0;
    bool quoted = false;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                i += 2;
            } else if (c == u'"') {
                quoted = false;
                ++i;
            } else {
                field += c;
                ++i;
            }
            continue;
        }
        if (c == u'"') {
            if (!field.isEmpty()) field = QStringLiteral("<bad>");
            quoted = true;
            ++i;
        } else if (c == u',') {
            row << field;
            field.clear();
            ++i;
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            row << field;
            field.clear();
            rows << row;
            row.clear();
            i += 2;
        } else if (c == u'\r' || c == u'\n') {
            field = QStringLiteral("<bad>");
            ++i;
        } else {
            field += c;
            ++i;
        }
    }
    if (!row.isEmpty() || !field.isEmpty()) rows << (row << field << QStringLiteral("<bad>"));
    return rows;
}

// A check of two test points: a serial number a spreadsheet must not split, a quantity that could
// not be judged (NaN figures) and one whose point is not among the record's.
UnitRecord Checked() {
    UnitRecord r;
    r.id = 7;
    r.kind = RecordKind::Check;
    r.serial = QStringLiteral("A,\"B\"\n①");
    r.model = QStringLiteral("KX7410M3-01");
    r.operatorName = QStringLiteral("张三");
    r.station = QStringLiteral("bench-7");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.lineSettings = QStringLiteral("9600,N,8,1");
    r.protocol = QStringLiteral("MODBUS_RTU");
    r.address = 3;
    r.plan = QStringLiteral("出厂检验");
    r.started = QDateTime(QDate(2026, 3, 4), QTime(9, 8, 7, 654));
    r.ended = QDateTime(QDate(2026, 3, 4), QTime(9, 10, 0, 5));
    r.verdict = Verdict::Fail;
    r.failures = 1;
    r.points = {{1, 100, 100, 0, 50, Verdict::Pass, 0},
                {2, 120, 50.5, 300, 49.98, Verdict::Fail, 1}};
    r.quantities = {
        {1, QStringLiteral("A相电压"), QStringLiteral("UA"), QStringLiteral("220.01 V"),
         QStringLiteral("V"), 220, 220.01, 0.0045, 0.2, true},
        {2, QStringLiteral("功率因数"), QStringLiteral("PF"), QStringLiteral("---"),
         QStringLiteral("°"), std::nan(""), std::nan(""), std::nan(""), 0.5, false},
        {9, QStringLiteral("频率"), QStringLiteral("F"), QStringLiteral("50.00"),
         QStringLiteral("Hz"), 50, 50, 0, 0.02, true},
    };
    return r;
}

// A configuration download: no points, no quantities, no serial number.
UnitRecord Downloaded() {
    UnitRecord r;
    r.id = 8;
    r.kind = RecordKind::Download;
    r.model = QStringLiteral("KX7410M3-02");
    r.started = QDateTime(QDate(2026, 3, 5), QTime(14, 0, 0));
    r.ended = QDateTime(QDate(2026, 3, 5), QTime(14, 0, 9, 900));
    r.verdict = Verdict::Pass;
    return r;
}

TEST(RecordsCsv, QuotesOnlyWhatMustBeQuoted) {
    const struct {
        QString field;
        QString written;
    } cases[] = {
        {QStringLiteral("plain"), QStringLiteral("plain")},
        {QString(), QString()},
        {QStringLiteral(" 序列号① "), QStringLiteral(" 序列号① ")},
        {QStringLiteral("9600,N,8,1"), QStringLiteral("\"9600,N,8,1\"")},
        {QStringLiteral("say \"hi\""), QStringLiteral("\"say \"\"hi\"\"\"")},
        {QStringLiteral("\""), QStringLiteral("\"\"\"\"")},
        {QStringLiteral("two\nlines"), QStringLiteral("\"two\nlines\"")},
        {QStringLiteral("cr\ronly"), QStringLiteral("\"cr\ronly\"")},
        {QStringLiteral("50%_'x'"), QStringLiteral("50%_'x'")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvQuoted(c.field).toStdString(), c.written.toStdString());
}

class RecordsCsvFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString File(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

TEST_F(RecordsCsvFile, HoldsTheHeaderAndALineForEachQuantity) {
    const QString path = File("records.csv");
    WriteFile(path, "an older export");
    const ExportResult result = WriteRecordsCsv(path, {Checked(), Downloaded()});
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("records.csv")});

    const QByteArray bytes = Contents(path);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    // The header as a spreadsheet shows it, and the serial number quoted in the raw text.
    EXPECT_TRUE(text.startsWith(QStringLiteral(
        "记录号,类型,序列号,型号,操作员,工位,开始时间,结束时间,串口,通信参数,协议,地址,方案,"
        "结论,测试点,电压(%),电流(%),角度(°),频率(Hz),名称,检验量,显示值,单位,期望值,测量值,"
        "误差,限值,判定\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral(",\"A,\"\"B\"\"\n①\",")));

    const QList<QStringList> rows = Parse(text);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], RecordsCsvHeader());
    const QStringList identity = {"7",
                                  "检验",
                                  "A,\"B\"\n①",
                                  "KX7410M3-01",
                                  "张三",
                                  "bench-7",
                                  "2026-03-04 09:08:07.654",
                                  "2026-03-04 09:10:00.005",
                                  "/dev/ttyUSB0",
                                  "9600,N,8,1",
                                  "MODBUS_RTU",
                                  "3",
                                  "出厂检验",
                                  "不合格"};
    const QStringList expected[] = {
        RecordsCsvHeader(),
        identity + QStringList{"1", "100", "100", "0", "50", "A相电压", "UA", "220.01 V", "V",
                               "220", "220.01", "0.0045", "0.2", "合格"},
        // Figures that could not be judged are empty fields.
        identity + QStringList{"2", "120", "50.5", "300", "49.98", "功率因数", "PF", "---", "°", "",
                               "", "", "0.5", "不合格"},
        // A point the record does not hold leaves its columns empty.
        identity + QStringList{"9", "", "", "", "", "频率", "F", "50.00", "Hz", "50", "50", "0",
                               "0.02", "合格"},
        // A record without quantities: one line, its identity and nothing else.
        QStringList{"8", "配置下载", "", "KX7410M3-02", "", "", "2026-03-05 14:00:00.000",
                    "2026-03-05 14:00:09.900", "", "", "", "1", "", "合格"} +
            QStringList(14, QString()),
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].size(), RecordsCsvHeader().size());
        EXPECT_EQ(rows[i].join(u'|').toStdString(), expected[i].join(u'|').toStdString());
    }
}

TEST_F(RecordsCsvFile, NoRecordsGiveTheHeaderAlone) {
    const QString path = File("empty.csv");
    ASSERT_TRUE(WriteRecordsCsv(path, {}).ok);
    EXPECT_EQ(Contents(path),
              QByteArray("\xEF\xBB\xBF") +
                  (RecordsCsvHeader().join(u',') + QStringLiteral("\r\n")).toUtf8());
}

// A disk that fills up while the file is written: the limit on the size of files this process
// writes is lowered, with SIGXFSZ ignored so that the write fails instead of ending the process.
TEST_F(RecordsCsvFile, AWriteThatFailsHalfWayLeavesTheOldFileAndNoPartialOne) {
    const QString path = File("records.csv");
    WriteFile(path, "an older export");
    UnitRecord many = Checked();
    for (int i = 0; i < 2000; ++i)
        many.quantities.append(many.quantities.first());

    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit lowered = previous;
    lowered.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    const ExportResult result = WriteRecordsCsv(path, {many});
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.detail.isEmpty());
    EXPECT_EQ(Contents(path), QByteArray("an older export"));
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("records.csv")});
}

struct UnwritableCase {
    const char* name;
    const char* target; // relative to the test folder
};

void PrintTo(const UnwritableCase& c, std::ostream* os) {
    *os << c.name;
}

class UnwritableCsv : public RecordsCsvFile,
                      public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableCsv, FailsAndLeavesNothing) {
    WriteFile(File("plain-file"), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    ASSERT_TRUE(QFile::setPermissions(File("locked"), QFile::ReadOwner | QFile::ExeOwner));
    if (std::string(GetParam().name) == "ReadOnlyFolder" && geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    const QStringList before = Entries(dir.path());

    const QString path = dir.filePath(QString::fromUtf8(GetParam().target));
    const ExportResult result = WriteRecordsCsv(path, {Checked(), Downloaded()});
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.detail.isEmpty());
    EXPECT_EQ(Entries(dir.path()), before);
    EXPECT_EQ(Entries(File("folder")), QStringList());
    EXPECT_EQ(Entries(File("locked")), QStringList());
    EXPECT_EQ(Contents(File("plain-file")), QByteArray("x"));
    QFile::setPermissions(File("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::string UnwritableName(const ::testing::TestParamInfo<UnwritableCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    RecordsCsv, UnwritableCsv,
    ::testing::Values(UnwritableCase{"MissingFolder", "missing/records.csv"},
                      UnwritableCase{"ParentIsAFile", "plain-file/records.csv"},
                      UnwritableCase{"ReadOnlyFolder", "locked/records.csv"},
                      UnwritableCase{"TargetIsAFolder", "folder"}, UnwritableCase{"EmptyName", ""}),
    UnwritableName);

} // namespace
