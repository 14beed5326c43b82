#include "report/workbook_writer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <mutex>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

#ifdef __linux__
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

// fsync of this test program, watched: each call records the file as its descriptor names it at
// that moment (a file renamed before its flush would show its new name) and its size, then runs
// the C library's fsync.
namespace {
std::mutex gSyncsLock;
std::vector<std::pair<QString, qint64>> gSyncs;
} // namespace

extern "C" int fsync(int fd) {
    static const auto flush = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    char name[4096];
    const ssize_t length =
        readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name, sizeof name);
    struct stat info {};
    fstat(fd, &info);
    {
        const std::lock_guard<std::mutex> lock(gSyncsLock);
        gSyncs.emplace_back(QFile::decodeName(QByteArray(name, length > 0 ? length : 0)),
                            info.st_size);
    }
    return flush(fd);
}
#endif

namespace {

// openpyxl's view of a workbook, as printed by read_workbook.py.
QJsonObject ReadBack(const QString& path) {
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(KX_WORKBOOK_READER), path});
    const bool finished = reader.waitForFinished(60000);
    const QByteArray out = reader.readAllStandardOutput();
    EXPECT_TRUE(finished && reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0)
        << reader.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

QJsonObject Cell(const QJsonObject& book, const char* ref) {
    return book[QStringLiteral("cells")].toObject()[QLatin1String(ref)].toObject();
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

const QString kTitle = QStringLiteral("三相电参数采集模块输出寄存器数据");
const QString kStatus = QStringLiteral("发送：12 接收：12");

ExportGrid SmallGrid() {
    ExportGrid grid;
    grid.title = QStringLiteral("  ") + kTitle + QStringLiteral(" ");
    grid.status = QStringLiteral("\t") + kStatus + QStringLiteral("  ");
    grid.rows = {
        {QStringLiteral("1"), QStringLiteral(" Ua "), QStringLiteral("220.01 V"), false},
        {QStringLiteral("2"), QStringLiteral("Ia"), QStringLiteral(" 5.2 A\t"), true},
        {QStringLiteral("3"), QStringLiteral("=SUM(A1)"), QStringLiteral("0.987"), false},
        {QStringLiteral("4"), QStringLiteral("<Pa & Pb>"), QString(), false},
    };
    return grid;
}

ExportHeaderLines Header() {
    ExportTestPoint point;
    point.voltage = 3;
    return BuildHeaderLines(ExportSettings{}, point);
}

TEST(CollectGrid, TakesTitleAndStatusFromColumnZeroAndDataFromRowTwo) {
    auto text = [](int c, int r) { return QStringLiteral("%1,%2").arg(c).arg(r); };
    auto failed = [](int c, int r) { return c == 2 && r == 3; };
    const ExportGrid grid = CollectGrid(4, text, failed);
    EXPECT_EQ(grid.title, QStringLiteral("0,0"));
    EXPECT_EQ(grid.status, QStringLiteral("0,1"));
    ASSERT_EQ(grid.rows.size(), 2u);
    EXPECT_EQ(grid.rows[0].number, QStringLiteral("0,2"));
    EXPECT_EQ(grid.rows[0].name, QStringLiteral("1,2"));
    EXPECT_EQ(grid.rows[1].value, QStringLiteral("2,3"));
    EXPECT_FALSE(grid.rows[0].failed);
    EXPECT_TRUE(grid.rows[1].failed);
    EXPECT_TRUE(CollectGrid(0, text, failed).rows.empty());
}

class WorkbookWriter : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString File(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

TEST_F(WorkbookWriter, LaysOutTitleHeaderLinesAndMergesAcrossThreeColumns) {
    const QString path = File("Excel.xlsx");
    const ExportResult result = WriteCheckWorkbook(path, SmallGrid(), Header());
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    const QJsonObject book = ReadBack(path);

    EXPECT_EQ(book[QStringLiteral("sheets")].toArray().size(), 1);
    QStringList merged;
    for (const auto& m : book[QStringLiteral("merged")].toArray())
        merged << m.toString();
    EXPECT_EQ(merged, QStringList({"A1:C1", "A2:C2", "A3:C3", "A4:C4", "A5:C5"}));

    // The file stores widths with the padding of the default font's character cell:
    // trunc((chars * 7 + 5) / 7 * 256) / 256, which is what a width of 4 / 46 / 99 becomes.
    const QJsonObject widths = book[QStringLiteral("widths")].toObject();
    EXPECT_EQ(widths.keys(), QStringList({"A", "B", "C"}));
    EXPECT_DOUBLE_EQ(widths[QStringLiteral("A")].toDouble(), 4.7109375);
    EXPECT_DOUBLE_EQ(widths[QStringLiteral("B")].toDouble(), 46.7109375);
    EXPECT_DOUBLE_EQ(widths[QStringLiteral("C")].toDouble(), 99.7109375);

    const QJsonObject a1 = Cell(book, "A1");
    EXPECT_EQ(a1[QStringLiteral("value")].toString(), kTitle);
    EXPECT_EQ(a1[QStringLiteral("font")].toString(), QStringLiteral("黑体"));
    EXPECT_EQ(a1[QStringLiteral("size")].toDouble(), 20);
    EXPECT_EQ(a1[QStringLiteral("horizontal")].toString(), QStringLiteral("center"));
    EXPECT_EQ(a1[QStringLiteral("vertical")].toString(), QStringLiteral("center"));

    const ExportHeaderLines header = Header();
    const std::pair<const char*, QString> lines[] = {{"A2", kStatus},
                                                     {"A3", header.ratedValues},
                                                     {"A4", header.accuracy},
                                                     {"A5", header.testConditions}};
    for (const auto& [ref, text] : lines) {
        const QJsonObject cell = Cell(book, ref);
        EXPECT_EQ(cell[QStringLiteral("value")].toString(), text) << ref;
        EXPECT_EQ(cell[QStringLiteral("horizontal")].toString(), QStringLiteral("left")) << ref;
        EXPECT_EQ(cell[QStringLiteral("vertical")].toString(), QStringLiteral("center")) << ref;
        EXPECT_NE(cell[QStringLiteral("font")].toString(), QStringLiteral("黑体")) << ref;
        EXPECT_NE(cell[QStringLiteral("size")].toDouble(), 20) << ref;
    }
    EXPECT_EQ(Cell(book, "A3")[QStringLiteral("value")].toString(),
              QStringLiteral("额定值(电压：220V; 电流：5A)"));
    EXPECT_EQ(Cell(book, "A5")[QStringLiteral("value")].toString(),
              QStringLiteral("检验条件(电压: 100%;电流: 0%;角度: 0°;频率: 45Hz)"));
}

TEST_F(WorkbookWriter, DataRowsStartOnRowSixAndOnlyFailedValuesAreRedAndUnderlined) {
    const QString path = File("rows.xlsx");
    ASSERT_TRUE(WriteCheckWorkbook(path, SmallGrid(), Header()).ok);
    const QJsonObject book = ReadBack(path);

    EXPECT_EQ(book[QStringLiteral("max_row")].toInt(), 9);
    EXPECT_EQ(book[QStringLiteral("max_column")].toInt(), 3);
    const char* expected[4][3] = {{"1", "Ua", "220.01 V"},
                                  {"2", "Ia", "5.2 A"},
                                  {"3", "=SUM(A1)", "0.987"},
                                  {"4", "<Pa & Pb>", nullptr}};
    const char* columns[3] = {"A", "B", "C"};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QByteArray ref = QByteArray(columns[c]) + QByteArray::number(r + 6);
            const QJsonObject cell = Cell(book, ref.constData());
            SCOPED_TRACE(ref.toStdString());
            if (expected[r][c]) {
                // texts stay texts: no number conversion, no formula
                EXPECT_EQ(cell[QStringLiteral("type")].toString(), QStringLiteral("str"));
                EXPECT_EQ(cell[QStringLiteral("value")].toString(),
                          QString::fromUtf8(expected[r][c]));
            } else {
                EXPECT_TRUE(cell[QStringLiteral("value")].isNull());
            }
            EXPECT_EQ(cell[QStringLiteral("horizontal")].toString(), QStringLiteral("left"));
            EXPECT_EQ(cell[QStringLiteral("vertical")].toString(), QStringLiteral("center"));
            const bool failed = (r == 1 && c == 2);
            EXPECT_EQ(cell[QStringLiteral("color")].toString() == QStringLiteral("FFFF0000"),
                      failed);
            EXPECT_EQ(cell[QStringLiteral("underline")].toString() == QStringLiteral("single"),
                      failed);
        }
    }
}

TEST_F(WorkbookWriter, ReplacesAnExistingFileWhenTheWriteSucceeds) {
    const QString path = File("Excel.xlsx");
    WriteFile(path, "an older export");
    ASSERT_TRUE(WriteCheckWorkbook(path, SmallGrid(), Header()).ok);
    EXPECT_EQ(Cell(ReadBack(path), "B7")[QStringLiteral("value")].toString(), QStringLiteral("Ia"));
    EXPECT_EQ(Entries(dir.path()), QStringList({"Excel.xlsx"}));
}

TEST_F(WorkbookWriter, FailureHalfWayLeavesTheOldFileAndNoPartialOne) {
    const QString path = File("Excel.xlsx");
    WriteFile(path, "an older export");
    ExportGrid grid = SmallGrid();
    // longer than a spreadsheet cell may hold: the write stops after the rows before it
    grid.rows.push_back({QStringLiteral("5"), QStringLiteral("Pb"), QString(40000, u'9'), false});
    grid.rows.push_back({QStringLiteral("6"), QStringLiteral("Pc"), QStringLiteral("1 W"), false});

    const ExportResult result = WriteCheckWorkbook(path, grid, Header());
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.detail.isEmpty());
    EXPECT_EQ(Contents(path), QByteArray("an older export"));
    EXPECT_EQ(Entries(dir.path()), QStringList({"Excel.xlsx"}));
}

#ifdef __linux__
TEST_F(WorkbookWriter, FlushesTheWholeFileToDiskBeforeItTakesTheTargetsName) {
    const QString path = File("Excel.xlsx");
    WriteFile(path, "an older export");
    const QString folder = QDir(dir.path()).canonicalPath();
    {
        const std::lock_guard<std::mutex> lock(gSyncsLock);
        gSyncs.clear();
    }
    ASSERT_TRUE(WriteCheckWorkbook(path, SmallGrid(), Header()).ok);
    std::vector<std::pair<QString, qint64>> syncs;
    {
        const std::lock_guard<std::mutex> lock(gSyncsLock);
        for (const auto& sync : gSyncs)
            if (QFileInfo(sync.first).path() == folder) syncs.push_back(sync);
    }
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_TRUE(QFileInfo(syncs[0].first).fileName().startsWith(QStringLiteral(".Excel.xlsx.")))
        << syncs[0].first.toStdString();
    EXPECT_EQ(syncs[0].second, QFileInfo(path).size());
}
#endif

TEST_F(WorkbookWriter, RemovesTheTemporaryFilesOfEarlierExportsToTheSameTargetOnly) {
    const QStringList remains = {".Excel.xlsx.a1B2c3.part", ".Excel.xlsx.ZZZZZZ.part"};
    const QStringList others = {
        ".Other.xlsx.a1B2c3.part",        // another target's
        ".Excel.xlsx.b.xlsx.a1B2c3.part", // the target "Excel.xlsx.b.xlsx"
        "Excel.xlsx.a1B2c3.part",         // not hidden: the user's
        ".Excel.xlsx.a1B2c3.partial",     ".Excel.xlsx.a1B2.part",
    };
    for (const QString& name : remains + others)
        WriteFile(dir.filePath(name), "left");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    WriteFile(File("folder/.Excel.xlsx.a1B2c3.part"), "left");

    ASSERT_TRUE(WriteCheckWorkbook(File("Excel.xlsx"), SmallGrid(), Header()).ok);
    QStringList expected = others + QStringList{QStringLiteral("Excel.xlsx"), "folder"};
    expected.sort();
    EXPECT_EQ(Entries(dir.path()).join(' ').toStdString(), expected.join(' ').toStdString());
    EXPECT_EQ(Entries(File("folder")), QStringList{".Excel.xlsx.a1B2c3.part"});
}

struct UnwritableCase {
    const char* name;
    const char* target; // relative to the test folder
};

void PrintTo(const UnwritableCase& c, std::ostream* os) {
    *os << c.target;
}

class UnwritableTarget : public WorkbookWriter,
                         public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableTarget, FailsAndCreatesNothing) {
    WriteFile(File("plain-file"), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QStringList before = Entries(dir.path());
    const QStringList beforeFolder = Entries(File("folder"));

    const QString path = dir.filePath(QString::fromUtf8(GetParam().target));
    const ExportResult result = WriteCheckWorkbook(path, SmallGrid(), Header());
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.detail.isEmpty());
    EXPECT_EQ(Entries(dir.path()), before);
    EXPECT_EQ(Entries(File("folder")), beforeFolder);
    EXPECT_EQ(Contents(File("plain-file")), QByteArray("x"));
}

INSTANTIATE_TEST_SUITE_P(Report, UnwritableTarget,
                         ::testing::Values(UnwritableCase{"MissingFolder", "missing/Excel.xlsx"},
                                           UnwritableCase{"ParentIsAFile", "plain-file/Excel.xlsx"},
                                           UnwritableCase{"TargetIsAFolder", "folder"},
                                           UnwritableCase{"EmptyName", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkbookWriter, TwoExportsOnWorkerThreadsAtOnceBothComplete) {
    ExportGrid grid = SmallGrid();
    grid.rows.clear();
    for (int i = 1; i <= 200; ++i)
        grid.rows.push_back({QString::number(i), QStringLiteral("P%1").arg(i),
                             QStringLiteral("%1.5 W").arg(i), i % 7 == 0});
    const ExportHeaderLines header = Header();
    ExportResult first, second;
    std::thread a([&] { first = WriteCheckWorkbook(File("a.xlsx"), grid, header); });
    std::thread b([&] { second = WriteCheckWorkbook(File("b.xlsx"), grid, header); });
    a.join();
    b.join();
    ASSERT_TRUE(first.ok) << first.detail.toStdString();
    ASSERT_TRUE(second.ok) << second.detail.toStdString();
    for (const char* name : {"a.xlsx", "b.xlsx"}) {
        const QJsonObject book = ReadBack(File(name));
        EXPECT_EQ(book[QStringLiteral("max_row")].toInt(), 205) << name;
        EXPECT_EQ(Cell(book, "C205")[QStringLiteral("value")].toString(),
                  QStringLiteral("200.5 W"));
        EXPECT_EQ(Cell(book, "C12")[QStringLiteral("color")].toString(),
                  QStringLiteral("FFFF0000")); // grid row 7
        EXPECT_EQ(Cell(book, "C11")[QStringLiteral("color")].toString() == "FFFF0000", false);
    }
}

} // namespace
