#include "common/conversion.h"
#include "store/database.h"
#include "store/mdb_import.h"
#include "store/passwords.h"
#include "store/schema.h"
#include "store_fixture.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {
const QString kTool = QStringLiteral(KX_DBTOOL);
const QString kMdbDir = QDir::cleanPath(QStringLiteral(KX_TESTDATA_DIR "/mdb"));

// The Jet files are not ours to commit: a clone without them skips the tests that read them.
#define SKIP_WITHOUT_MDB_FILES()                                                                   \
    do {                                                                                           \
        if (!QFileInfo(kMdbDir).isDir())                                                           \
            GTEST_SKIP() << "needs the Jet test files in the folder " << kMdbDir.toStdString();    \
    } while (false)

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

ToolRun RunTool(const QStringList& args) {
    QProcess p;
    p.start(kTool, args);
    EXPECT_TRUE(p.waitForStarted());
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The shipped seed: a fresh database passes the tool's check.
class ShippedSeed : public ::testing::Test {
protected:
    void SetUp() override {
        db = std::make_unique<ProductDatabase>(dir.filePath(kDatabaseFile));
        ASSERT_EQ(db->Open(QStringLiteral(KX_SOURCE_DATA_DIR)), QString());
    }
    QTemporaryDir dir;
    std::unique_ptr<ProductDatabase> db;
};

TEST_F(ShippedSeed, PassesTheCheck) {
    const ToolRun run = RunTool({"check", dir.filePath(kDatabaseFile)});
    EXPECT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("no problems found")) << run.out.toStdString();
}

TEST_F(ShippedSeed, CoversEveryProtocolWithWellFormedModels) {
    QList<Scheme> schemes;
    ASSERT_TRUE(db->SelectSchemes(schemes));
    QList<ProductModel> models;
    ASSERT_TRUE(db->SelectAllModels(models));
    QSet<int> protocols;
    int relative = 0, segmented = 0, multiply = 0, divide = 0;
    for (const Scheme& s : schemes) {
        protocols.insert(s.txxy);
        relative += FlagValue(s.cslxsn) == kFlagOn;
        segmented += FlagValue(s.fdbdsn) == kFlagOn;
        for (const QString& d : {s.ublfx, s.iblfx, s.pblfx, s.eblfx})
            (FlagValue(d) == kFlagOn ? multiply : divide)++;
        QStringList list;
        ASSERT_TRUE(db->SelectSchemeParameters(s.fs, list));
        EXPECT_FALSE(list.isEmpty()) << s.fs.toStdString();
    }
    EXPECT_EQ(protocols, (QSet<int>{0, 1, 2, 3, 4}));
    EXPECT_GE(relative, 1);
    EXPECT_GE(segmented, 1);
    EXPECT_GT(multiply, 0);
    EXPECT_GT(divide, 0);

    QSet<int> modelProtocols;
    int series = 0, modbus = 0;
    const QRegularExpression rule(QStringLiteral("^KX.{7}-.*$"));
    for (const ProductModel& m : models) {
        EXPECT_TRUE(rule.match(m.cpxh).hasMatch()) << m.cpxh.toStdString();
        EXPECT_TRUE(m.btlgs == 0 || m.btlgs == 3) << m.cpxh.toStdString();
        std::optional<Scheme> s;
        ASSERT_TRUE(db->SelectSchemeOfModel(m.cpxh, s));
        ASSERT_TRUE(s) << m.cpxh.toStdString();
        modelProtocols.insert(s->txxy);
        series += m.cpxh.startsWith("KX2953");
        modbus += s->txxy == 0;
    }
    EXPECT_EQ(modelProtocols, (QSet<int>{0, 1, 2, 3, 4}));
    EXPECT_GE(series, 1);
    EXPECT_GE(modbus, 2);

    bool matches = false;
    ASSERT_TRUE(db->MatchLogin("admin", "admin123", matches));
    EXPECT_TRUE(matches);
}

TEST_F(ShippedSeed, DumpPrintsEveryTable) {
    const ToolRun run = RunTool({"dump", dir.filePath(kDatabaseFile)});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    for (const TableSchema& t : DatabaseTables())
        EXPECT_TRUE(run.out.contains("# " + t.name + "\n" + t.columns.join(',') + "\n"))
            << t.name.toStdString();
    EXPECT_TRUE(run.out.contains("KX2953B35-01,")) << run.out.toStdString();
}

// Rows that break a coding make the check fail and are named.
struct BrokenRow {
    const char* name;
    const char* sql;
    const char* inReport;
};

class CheckFinds : public ::testing::TestWithParam<BrokenRow> {};

TEST_P(CheckFinds, TheBrokenRow) {
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    const QString path = dir.filePath(kDatabaseFile);
    {
        ProductDatabase db(path);
        ASSERT_EQ(db.Open(dir.path()), QString());
        ASSERT_EQ(RunTool({"check", path}).status, 0);
        QSqlQuery q = db.NewQuery();
        ASSERT_TRUE(ExecQuery(q, QString::fromUtf8(GetParam().sql))) << GetParam().sql;
    }
    const ToolRun run = RunTool({"check", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains(QString::fromUtf8(GetParam().inReport))) << run.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckFinds,
    ::testing::Values(
        BrokenRow{"DirectionNeither", "update Fstable set PBLFX='0x1234' where ID=1",
                  "PBLFX '0x1234' is neither"},
        BrokenRow{"EnableNotANumber", "update Fstable set GLYSFXSN='on' where ID=2",
                  "GLYSFXSN 'on' is neither"},
        BrokenRow{"DirectionDecimalOther", "update Fstable set UBLFX='1' where ID=1",
                  "UBLFX '1' is neither"},
        BrokenRow{"MissingParameter", "insert into Cstable(FS,CSMC) values('标准方式','无此参数')",
                  "parameter '无此参数' is not in Outpar"},
        BrokenRow{"YaaoOver127",
                  "insert into Cstable(FS,CSMC) with recursive n(i) as (select 1 union all "
                  "select i+1 from n where i < 126) select '亚奥方式','A相电压' from n",
                  "亚奥 scheme of 128 registers"},
        BrokenRow{"ModelWithoutScheme", "update Config set FS='无此方式' where CPXH='KX2953B35-01'",
                  "scheme '无此方式' is not in Fstable"},
        BrokenRow{"DateTimeOneRegister", "update Outpar set ZS=1 where CSMC='日期时间'",
                  "BL 3 takes 3 register(s) but ZS is 1"},
        BrokenRow{"GridStateTwoRegisters", "update Outpar set ZS=2 where CSMC='电网状态'",
                  "BL 1 takes 1 register(s) but ZS is 2"},
        BrokenRow{"NumberColumnText", "update Config set UPT='ten'", "UPT 'ten' is not a number"},
        BrokenRow{
            "PlanPointNoChoice",
            "insert into TestPlan(Model,Name,Position,VoltagePercent,CurrentPercent,Angle,"
            "Frequency) values('KX2953B35-01','满载',0,100,100,45,50)",
            "TestPlan (KX2953B35-01/满载) position 0: VoltagePercent 100, CurrentPercent 100, "
            "Angle 45, Frequency 50 is not a point of the real-time page"},
        BrokenRow{"PlanPointText",
                  "insert into TestPlan(Model,Name,Position,VoltagePercent,CurrentPercent,Angle,"
                  "Frequency) values('KX2953B35-01','满载',0,'全',100,0,50)",
                  "VoltagePercent 全, CurrentPercent 100"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckAllows, AYaaoSchemeOfExactly127Registers) {
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    const QString path = dir.filePath(kDatabaseFile);
    {
        ProductDatabase db(path);
        ASSERT_EQ(db.Open(dir.path()), QString());
        QSqlQuery q = db.NewQuery();
        // The fixture's 亚奥 scheme holds 2 registers; 125 more make 127.
        ASSERT_TRUE(ExecQuery(
            q, QString::fromUtf8("insert into Cstable(FS,CSMC) with recursive n(i) as (select "
                                 "1 union all select i+1 from n where i < 125) select "
                                 "'亚奥方式','A相电压' from n")));
    }
    EXPECT_EQ(RunTool({"check", path}).status, 0);
}

// Plans as the program stores them are sound, and a database of the version before plans,
// without their table, is as sound as it was.
TEST(CheckAllows, StoredPlansAndADatabaseWithoutThem) {
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    const QString path = dir.filePath(kDatabaseFile);
    {
        ProductDatabase db(path);
        ASSERT_EQ(db.Open(dir.path()), QString());
        ASSERT_TRUE(db.SavePlan({"KX2953B35-01",
                                 QString::fromUtf8("满载"),
                                 {{0, 0, 0, 45}, {10, 1, 30, 50}, {120, 120, 330, 65}}}));
        ASSERT_TRUE(db.SavePlan({"KX7410Y10-01", "O'Brien", {{100, 100, 0, 50}}}));
    }
    ToolRun run = RunTool({"check", path});
    EXPECT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("no problems found")) << run.out.toStdString();
    run = RunTool({"dump", path});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("# usertable\n")) << run.out.toStdString();
    {
        ProductDatabase db(path);
        QSqlQuery q = db.NewQuery();
        ASSERT_TRUE(ExecQuery(q, "drop table TestPlan"));
    }
    run = RunTool({"check", path});
    EXPECT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(RunTool({"dump", path}).status, 0);
}

TEST(Tool, RefusesWhatIsNoProductDatabase) {
    QTemporaryDir dir;
    WriteTextFile(dir.filePath("junk.db"), QByteArray(2048, 'j'));
    for (const QString& path : {dir.filePath("junk.db"), dir.filePath("absent.db")}) {
        for (const char* command : {"check", "dump"}) {
            const ToolRun run = RunTool({command, path});
            EXPECT_NE(run.status, 0);
            EXPECT_TRUE(run.err.contains(path)) << run.err.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("absent.db")));
    EXPECT_EQ(RunTool({"frobnicate"}).status, 2);
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(ToolCreate, ReplacesAnEmptyFileButNoOther) {
    QTemporaryDir dir;
    const QString path = dir.filePath(kDatabaseFile);
    WriteTextFile(path, "");
    ToolRun run = RunTool({"create", path});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(RunTool({"check", path}).status, 0);
    const QByteArray made = FileBytes(path);
    run = RunTool({"create", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("exists already")) << run.err.toStdString();
    EXPECT_EQ(FileBytes(path), made);
}

// The tool killed in the middle of its commit, after the rows went to disk and before SQLite
// deletes its journal (the tool's first unlink), as a power cut or a closed terminal would.
// strace delivers the kill at that system call.
TEST(ToolCreate, KilledInItsCommitLeavesNothingThatStopsTheNextStart) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty() || QProcess::execute(strace, {"-o", "/dev/null", "true"}) != 0)
        GTEST_SKIP() << "needs strace, able to trace here, to kill the tool at a system call";
    QTemporaryDir dir;
    const QString path = dir.filePath(kDatabaseFile);
    QProcess killed;
    killed.start(strace, {"-f", "-qq", "-o", "/dev/null", "-e", "trace=unlink,unlinkat", "-e",
                          "inject=unlink,unlinkat:signal=KILL:when=1", kTool, "create", path});
    ASSERT_TRUE(killed.waitForFinished(60000));
    ASSERT_EQ(killed.exitStatus(), QProcess::CrashExit) << "the tool was not killed";
    const QStringList remains =
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    ASSERT_FALSE(remains.filter("-journal").isEmpty()) << remains.join(' ').toStdString();
    EXPECT_FALSE(QFile::exists(path)) << remains.join(' ').toStdString();

    ProductDatabase db(path);
    ASSERT_EQ(db.Open(QStringLiteral(KX_SOURCE_DATA_DIR)), QString());
    EXPECT_EQ(RunTool({"check", path}).status, 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{kDatabaseFile});
}

// The mdb reader layer on real Jet files.
TEST(MdbReader, ReadsRowsWithoutThePassword) {
    SKIP_WITHOUT_MDB_FILES();
    QStringList tables;
    QString error;
    ASSERT_TRUE(ListMdbTables(kMdbDir + "/jet4-with-password.mdb", tables, &error))
        << error.toStdString();
    EXPECT_EQ(tables, QStringList{"Table1"});
    DataTable t;
    ASSERT_TRUE(ReadMdbTable(kMdbDir + "/jet4-with-password.mdb", "Table1", t, &error))
        << error.toStdString();
    EXPECT_EQ(t.columns, (QStringList{"ID", "Data"}));
    ASSERT_EQ(t.rows.size(), 3);
    EXPECT_EQ(t.rows[0], (QStringList{"1", "One"}));
    EXPECT_EQ(t.rows[2], (QStringList{"3", "Three"}));
}

TEST(MdbReader, ReadsTextIntegerAndBooleanColumns) {
    SKIP_WITHOUT_MDB_FILES();
    DataTable t;
    QString error;
    ASSERT_TRUE(ReadMdbTable(kMdbDir + "/jet4-numeric.mdb", "test", t, &error))
        << error.toStdString();
    ASSERT_EQ(t.columns.size(), 7);
    ASSERT_EQ(t.rows.size(), 1);
    EXPECT_EQ(t.rows[0][0], "some data");
    EXPECT_EQ(t.rows[0][1], "1");
}

TEST(MdbReader, ReportsAFileThatIsNoJetDatabase) {
    QTemporaryDir dir;
    QStringList tables;
    QString error;
    EXPECT_FALSE(ListMdbTables(dir.filePath("absent.mdb"), tables, &error));
    EXPECT_TRUE(error.contains("absent.mdb")) << error.toStdString();
    WriteTextFile(dir.filePath("junk.mdb"), QByteArray(4096, 'j'));
    DataTable t;
    EXPECT_FALSE(ReadMdbTable(dir.filePath("junk.mdb"), "Config", t, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(MdbImport, JetFileWithoutOurTablesIsRefused) {
    SKIP_WITHOUT_MDB_FILES();
    QTemporaryDir dir;
    const QString out = dir.filePath(kDatabaseFile);
    for (const char* file : {"jet4-with-password.mdb", "jet4-numeric.mdb"}) {
        const QString error = ImportMdb(kMdbDir + "/" + file, out);
        EXPECT_TRUE(error.contains("lacks the table(s) Config, Fstable, Cstable, Outpar, "
                                   "DL645Data_97, DL645Data_07, usertable"))
            << error.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    const ToolRun run = RunTool({"import-mdb", kMdbDir + "/jet4-with-password.mdb", out});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("Table1")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

struct CsvCase {
    const char* name;
    QByteArray text;
    QStringList columns;
    QList<QStringList> rows;
};

class CsvParsing : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvParsing, GivesTheFields) {
    const DataTable t = ParseCsv(GetParam().text);
    EXPECT_EQ(t.columns, GetParam().columns);
    EXPECT_EQ(t.rows, GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvParsing,
    ::testing::Values(
        CsvCase{"Plain", "a,b\n1,2\n", {"a", "b"}, {{"1", "2"}}},
        CsvCase{"CrLfNoFinalEnd", "a,b\r\n1,2", {"a", "b"}, {{"1", "2"}}},
        CsvCase{"QuotedComma", "a,b\n\"x,y\",2\n", {"a", "b"}, {{"x,y", "2"}}},
        CsvCase{"DoubledQuote", "a\n\"say \"\"hi\"\"\"\n", {"a"}, {{"say \"hi\""}}},
        CsvCase{"LineBreakInField", "a,b\n\"l1\nl2\",3\n", {"a", "b"}, {{"l1\nl2", "3"}}},
        CsvCase{"EmptyFields", "a,b,c\n,,\n", {"a", "b", "c"}, {{"", "", ""}}},
        CsvCase{"QuotedEmptyAndBlanks", "a,b\n\"\",\" x \"\n", {"a", "b"}, {{"", " x "}}},
        CsvCase{"HeaderOnly", "a,b\n", {"a", "b"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CsvParsingErrors, RaggedRowAndOpenQuote) {
    EXPECT_THROW(ParseCsv("a,b\n1,2,3\n"), ConversionError);
    EXPECT_THROW(ParseCsv("a,b\n\"1,2\n"), ConversionError);
}

// The table mapping, through CSV files shaped as mdb-export writes them.
QMap<QString, DataTable> ExportedTables() {
    QMap<QString, DataTable> tables;
    const QDir dir(QStringLiteral(KX_STORE_TEST_DIR "/mdb_export"));
    for (const QString& f : dir.entryList({"*.csv"}, QDir::Files)) {
        QFile file(dir.filePath(f));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        tables.insert(QFileInfo(f).completeBaseName(), ParseCsv(file.readAll()));
    }
    return tables;
}

TEST(MdbImport, MapsExportedTablesIntoTheSchema) {
    QTemporaryDir dir;
    const QString out = dir.filePath(kDatabaseFile);
    ASSERT_EQ(ImportTables(ExportedTables(), out), QString());
    ProductDatabase db(out);
    ASSERT_EQ(db.Open(dir.path()), QString()); // an existing file: checked, not seeded

    // IDs are kept: scheme order and list order come from the old database.
    QList<Scheme> schemes;
    ASSERT_TRUE(db.SelectSchemes(schemes));
    ASSERT_EQ(schemes.size(), 2);
    EXPECT_EQ(schemes[0].id, 4);
    EXPECT_EQ(schemes[0].fs, QString::fromUtf8("标准, 带逗号"));
    EXPECT_EQ(schemes[0].ubl, 10); // "10.00" of a real column
    EXPECT_EQ(schemes[0].sdbjxs, 85);
    EXPECT_EQ(schemes[1].fs, QString::fromUtf8("亚奥\"方式"));
    EXPECT_EQ(FlagValue(schemes[1].cslxsn), kFlagOn);

    QStringList list;
    ASSERT_TRUE(db.SelectOrderedParametersOfModel("KX2953B35-01", list));
    EXPECT_EQ(list, QString::fromUtf8("频率,A相电压,日期时间").split(','));
    QList<Dlt645ItemRow> items;
    ASSERT_TRUE(db.SelectDlt645Items1997(items));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].item.infonum, "0x9010");
    EXPECT_EQ(items[1].item.infonum, "0xB611");
    std::optional<UserAccount> user;
    ASSERT_TRUE(db.SelectUser("admin", user));
    ASSERT_TRUE(user);
    // The imported plain text became a hash when the database was opened.
    EXPECT_TRUE(VerifyPassword(user->userpass, "multi\nline"));
}

TEST(MdbImport, MissingTableOrExistingOutputIsRefused) {
    QTemporaryDir dir;
    const QString out = dir.filePath(kDatabaseFile);
    QMap<QString, DataTable> tables = ExportedTables();
    tables.remove("Outpar");
    tables.remove("usertable");
    EXPECT_EQ(ImportTables(tables, out), "missing table(s): Outpar, usertable");
    EXPECT_FALSE(QFile::exists(out));

    // An empty number field is kept as NULL, and the check names it.
    tables = ExportedTables();
    tables["Config"].rows[1][4] = "";
    ASSERT_EQ(ImportTables(tables, out), QString());
    const ToolRun run = RunTool({"check", out});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("Config (KX7410Y10-01): UPT '' is not a number"))
        << run.out.toStdString();
    ASSERT_TRUE(QFile::remove(out));

    tables = ExportedTables();
    tables["Config"].rows[0][2] = "three";
    EXPECT_TRUE(ImportTables(tables, out).contains("BTLGS"));
    EXPECT_FALSE(QFile::exists(out));

    WriteTextFile(out, "keep");
    EXPECT_TRUE(ImportTables(ExportedTables(), out).contains("exists"));
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "keep");
}
} // namespace
