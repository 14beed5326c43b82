// The results database: records go in whole and come back as they were stored (NaN figures, times
// to the millisecond, Unicode), a file that is not a results database is refused and left as it
// was, the filters of the records page, newest first, records never changed, and a disk that fills
// up during an Add keeps exactly the records stored before.

#include "engine_fixture.h"
#include "store/results.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <optional>
#include <ostream>
#include <set>
#include <sys/resource.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// A check of two points with every field set to something of its own, one quantity that could
// not be judged (NaN figures) and Unicode in the texts.
UnitRecord FullRecord() {
    UnitRecord r;
    r.kind = RecordKind::Check;
    r.serial = QStringLiteral("KX-2026-0001①");
    r.model = QStringLiteral("KX7410M3-01");
    r.operatorName = QStringLiteral("张三");
    r.station = QStringLiteral("bench-7");
    r.softwareVersion = QStringLiteral("1.4.2");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.lineSettings = QStringLiteral("9600,N,8,1");
    r.protocol = QStringLiteral("DLT645-2007");
    r.address = 17;
    r.plan = QStringLiteral("出厂检验");
    r.started = At(2026, 3, 4, 9, 8, 7, 654);
    r.ended = QDateTime(QDate(2026, 3, 4), QTime(9, 10, 11, 12), QTimeZone(8 * 3600));
    r.verdict = Verdict::Fail;
    r.failures = 2;
    r.points = {{1, 100, 100, 0, 50, Verdict::Pass, 0},
                {2, 120, 50.5, 300, 49.98, Verdict::Fail, 2}};
    r.quantities = {
        {1, QStringLiteral("A相电压"), QStringLiteral("UA"), QStringLiteral("220.01 V"),
         QStringLiteral("V"), 220, 220.01, 0.0045, 0.2, true},
        {2, QStringLiteral("A相有功功率"), QStringLiteral("Pa"), QStringLiteral("551.00 W"),
         QStringLiteral("W"), 550.25, 551, -0.125, 0.5, false},
        {2, QStringLiteral("功率因数"), QStringLiteral("PF"), QStringLiteral("---"),
         QStringLiteral("°"), std::nan(""), std::nan(""), std::nan(""), 0.5, false},
    };
    r.details = QStringLiteral("backup.11002=0x1234\n写入=完成,\"引号\"");
    return r;
}

// A download with nothing but its kind and times: every text is a null QString as a default
// record holds it (no serial scanned, no plan, no details).
UnitRecord BareRecord() {
    UnitRecord r;
    r.kind = RecordKind::Download;
    r.started = At(2026, 1, 1, 0, 0, 0, 1);
    r.ended = At(2026, 1, 1, 0, 0, 2, 999);
    return r;
}

// Two figures are the same when both are NaN or both equal.
bool SameFigure(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

void ExpectSame(const UnitRecord& got, const UnitRecord& want) {
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.serial, want.serial);
    EXPECT_EQ(got.model, want.model);
    EXPECT_EQ(got.operatorName, want.operatorName);
    EXPECT_EQ(got.station, want.station);
    EXPECT_EQ(got.softwareVersion, want.softwareVersion);
    EXPECT_EQ(got.port, want.port);
    EXPECT_EQ(got.lineSettings, want.lineSettings);
    EXPECT_EQ(got.protocol, want.protocol);
    EXPECT_EQ(got.address, want.address);
    EXPECT_EQ(got.plan, want.plan);
    // The same instant to the millisecond, and the same offset from UTC as when it was taken.
    EXPECT_EQ(got.started.toMSecsSinceEpoch(), want.started.toMSecsSinceEpoch());
    EXPECT_EQ(got.started.offsetFromUtc(), want.started.offsetFromUtc());
    EXPECT_EQ(got.ended.toMSecsSinceEpoch(), want.ended.toMSecsSinceEpoch());
    EXPECT_EQ(got.ended.offsetFromUtc(), want.ended.offsetFromUtc());
    EXPECT_EQ(got.verdict, want.verdict);
    EXPECT_EQ(got.failures, want.failures);
    EXPECT_EQ(got.details, want.details);
    EXPECT_EQ(got.points, want.points);
    ASSERT_EQ(got.quantities.size(), want.quantities.size());
    for (qsizetype i = 0; i < want.quantities.size(); ++i) {
        const RecordQuantity& g = got.quantities[i];
        const RecordQuantity& w = want.quantities[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(g.point, w.point);
        EXPECT_EQ(g.name, w.name);
        EXPECT_EQ(g.quantity, w.quantity);
        EXPECT_EQ(g.text, w.text);
        EXPECT_EQ(g.unit, w.unit);
        EXPECT_TRUE(SameFigure(g.expected, w.expected)) << g.expected;
        EXPECT_TRUE(SameFigure(g.measured, w.measured)) << g.measured;
        EXPECT_TRUE(SameFigure(g.error, w.error)) << g.error;
        EXPECT_TRUE(SameFigure(g.limit, w.limit)) << g.limit;
        EXPECT_EQ(g.passed, w.passed);
    }
}

std::vector<qint64> Ids(const QList<UnitRecord>& records) {
    std::vector<qint64> ids;
    for (const UnitRecord& r : records)
        ids.push_back(r.id);
    return ids;
}

class ResultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QLatin1String(kResultsFile));
        QString skip;
        const std::optional<DatabaseLocation> found = TestLocation(dir.path(), &skip);
        if (!found) GTEST_SKIP() << skip.toStdString();
        location = *found;
    }
    // An opened store on path (or the test's server database).
    std::unique_ptr<ResultsDatabase> Opened() {
        auto db = std::make_unique<ResultsDatabase>(location, QString());
        EXPECT_EQ(db->Open(), QString());
        return db;
    }
    QList<UnitRecord> All(ResultsDatabase& db, const RecordFilter& filter = {}) {
        QList<UnitRecord> out;
        EXPECT_TRUE(db.Select(filter, out)) << db.lastError().toStdString();
        return out;
    }
    QTemporaryDir dir;
    QString path;
    DatabaseLocation location;
};

TEST_F(ResultsTest, RecordsComeBackWholeAsStored) {
    const struct {
        const char* what;
        UnitRecord record;
    } cases[] = {{"full check", FullRecord()}, {"bare download", BareRecord()}};
    {
        auto db = Opened();
        for (const auto& c : cases) {
            UnitRecord r = c.record;
            ASSERT_TRUE(db->Add(r)) << c.what << ": " << db->lastError().toStdString();
            EXPECT_GT(r.id, 0) << c.what;
        }
    }
    // Read back through a connection of its own, so nothing comes from what the writer kept.
    auto db = Opened();
    const QList<UnitRecord> listed = All(*db);
    ASSERT_EQ(listed.size(), 2);
    qint64 id = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ++id;
        UnitRecord want = c.record;
        want.id = id;
        const std::optional<UnitRecord> got = db->Get(id);
        ASSERT_TRUE(got);
        ExpectSame(*got, want);
        // The list carries the record without its points and quantities.
        const UnitRecord& header = listed[listed.size() - id];
        UnitRecord wantHeader = want;
        wantHeader.points.clear();
        wantHeader.quantities.clear();
        ExpectSame(header, wantHeader);
    }
    EXPECT_FALSE(db->Get(99));
}

TEST_F(ResultsTest, AMissingFileIsCreated) {
    SKIP_ON_POSTGRES("files");
    ASSERT_FALSE(QFile::exists(path));
    {
        auto db = Opened();
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(All(*db).isEmpty());
        UnitRecord r = BareRecord();
        ASSERT_TRUE(db->Add(r)) << db->lastError().toStdString();
    }
    // Opened again, it is recognised as ours and keeps what was added.
    auto again = Opened();
    EXPECT_EQ(All(*again).size(), 1);
}

// A record that is not there is no failure; a store that cannot be read says why, by its file.
TEST_F(ResultsTest, ReadingAStoreThatIsNotOpenSaysWhy) {
    SKIP_ON_POSTGRES("files");
    auto open = Opened();
    EXPECT_FALSE(open->Get(42));
    EXPECT_EQ(open->lastError(), QString());

    ResultsDatabase closed(dir.filePath(QStringLiteral("never-opened.db")));
    EXPECT_FALSE(closed.Get(1));
    EXPECT_TRUE(closed.lastError().contains(QDir::toNativeSeparators(closed.path())))
        << closed.lastError().toStdString();
    QList<UnitRecord> out{FullRecord()};
    EXPECT_FALSE(closed.Select({}, out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(closed.lastError().contains(QDir::toNativeSeparators(closed.path())));
}

// A file that is not a results database, made by the case: written as bytes, or an SQLite file
// made through a connection of the test's own.
enum class Foreign { Garbage, Truncated, OtherTables, OtherLayout };

class RefusedFileTest : public ResultsTest, public ::testing::WithParamInterface<Foreign> {
protected:
    void Make(Foreign kind) {
        switch (kind) {
        case Foreign::Garbage: {
            QByteArray bytes;
            for (int i = 0; i < 5000; ++i)
                bytes.append(char((i * 131 + 7) & 0xFF));
            WriteAll(path, bytes);
            return;
        }
        case Foreign::Truncated: {
            // A real results database with enough in it to span many pages, cut in the middle.
            {
                auto db = Opened();
                for (int i = 0; i < 20; ++i) {
                    UnitRecord r = FullRecord();
                    r.details = QString(2000, QLatin1Char('x'));
                    ASSERT_TRUE(db->Add(r));
                }
            }
            QByteArray bytes = ReadAll(path);
            ASSERT_GT(bytes.size(), 16384);
            bytes.truncate(bytes.size() / 2 + 100);
            WriteAll(path, bytes);
            return;
        }
        case Foreign::OtherTables:
        case Foreign::OtherLayout: {
            const QString name = QStringLiteral("foreign-maker");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                db.setDatabaseName(path);
                ASSERT_TRUE(db.open());
                QSqlQuery q(db);
                if (kind == Foreign::OtherTables) {
                    ASSERT_TRUE(q.exec("CREATE TABLE Orders (ID INTEGER PRIMARY KEY, Name TEXT)"));
                    ASSERT_TRUE(q.exec("INSERT INTO Orders (Name) VALUES ('keep me')"));
                } else {
                    ASSERT_TRUE(q.exec("CREATE TABLE ResultsInfo (Name TEXT PRIMARY KEY,"
                                       " Value TEXT NOT NULL)"));
                    ASSERT_TRUE(q.exec("INSERT INTO ResultsInfo VALUES ('layout', '7')"));
                }
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
            return;
        }
        }
    }
};

TEST_P(RefusedFileTest, IsRefusedNamingTheFileAndLeftUntouched) {
    SKIP_ON_POSTGRES("files");
    Make(GetParam());
    const QByteArray before = ReadAll(path);
    ASSERT_FALSE(before.isEmpty());

    ResultsDatabase db(path);
    const QString message = db.Open();
    EXPECT_TRUE(message.contains(QDir::toNativeSeparators(path))) << message.toStdString();
    EXPECT_EQ(db.lastError(), message);
    // Nothing is written into it afterwards either.
    UnitRecord r = FullRecord();
    EXPECT_FALSE(db.Add(r));
    EXPECT_EQ(r.id, 0);
    EXPECT_TRUE(db.lastError().contains(QDir::toNativeSeparators(path)));

    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QLatin1String(kResultsFile)});
}

std::string FileCaseName(const ::testing::TestParamInfo<Foreign>& info) {
    switch (info.param) {
    case Foreign::Garbage:
        return "Garbage";
    case Foreign::Truncated:
        return "Truncated";
    case Foreign::OtherTables:
        return "OtherTables";
    case Foreign::OtherLayout:
        return "OtherLayout";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedFileTest,
                         ::testing::Values(Foreign::Garbage, Foreign::Truncated,
                                           Foreign::OtherTables, Foreign::OtherLayout),
                         FileCaseName);

// A serial number is searched for as typed: quotes, the wildcards of LIKE and Unicode are plain
// characters of it.
TEST_F(ResultsTest, SerialsAreStoredAndFoundAsTyped) {
    const QString odd = QStringLiteral("A\"B'C%_序列号①");
    const QStringList serials = {odd, QStringLiteral("ABC123"), QStringLiteral("A-B_C"),
                                 QStringLiteral("50%"), QString()};
    auto db = Opened();
    for (const QString& s : serials) {
        UnitRecord r = BareRecord();
        r.serial = s;
        ASSERT_TRUE(db->Add(r)) << db->lastError().toStdString();
    }
    const std::optional<UnitRecord> stored = db->Get(1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->serial, odd);

    const struct {
        QString part;
        QStringList found; // newest first
    } cases[] = {
        {odd, {odd}},
        {QStringLiteral("%"), {QStringLiteral("50%"), odd}},
        {QStringLiteral("_"), {QStringLiteral("A-B_C"), odd}},
        {QStringLiteral("%_"), {odd}},
        {QStringLiteral("'C"), {odd}},
        {QStringLiteral("\"B"), {odd}},
        {QStringLiteral("序列号"), {odd}},
        {QStringLiteral("①"), {odd}},
        {QStringLiteral("A_B"), {}},
        {QStringLiteral("abc"), {}}, // the case of letters counts
        {QStringLiteral("ABC"), {QStringLiteral("ABC123")}},
    };
    for (const auto& c : cases) {
        RecordFilter filter;
        filter.serial = c.part;
        QStringList found;
        for (const UnitRecord& r : All(*db, filter))
            found << r.serial;
        EXPECT_EQ(found, c.found) << c.part.toStdString();
    }
    // An empty part does not filter, and the unit without a serial number is there.
    EXPECT_EQ(All(*db).size(), serials.size());
}

TEST_F(ResultsTest, FiltersNarrowTheRecordsNewestFirst) {
    struct Stored {
        const char* model;
        QDateTime started;
        Verdict verdict;
        RecordKind kind;
    };
    const Stored stored[] = {
        /*1*/ {"M1", At(2026, 2, 27, 23, 59, 59, 999), Verdict::Pass, RecordKind::Check},
        /*2*/ {"M1", At(2026, 2, 28, 0, 0, 0, 0), Verdict::Fail, RecordKind::Check},
        /*3*/ {"M2", At(2026, 2, 28, 12, 0, 0), Verdict::NotAnswering, RecordKind::Check},
        /*4*/ {"M2", At(2026, 3, 1, 8, 30, 0), Verdict::None, RecordKind::Calibration},
        /*5*/ {"M1", At(2026, 3, 1, 23, 59, 59, 999), Verdict::Pass, RecordKind::Download},
        /*6*/ {"M10", At(2026, 3, 2, 0, 0, 0, 1), Verdict::Pass, RecordKind::Check},
    };
    auto db = Opened();
    for (const Stored& s : stored) {
        UnitRecord r = BareRecord();
        r.model = QLatin1String(s.model);
        r.started = s.started;
        r.ended = s.started.addSecs(60);
        r.verdict = s.verdict;
        r.kind = s.kind;
        ASSERT_TRUE(db->Add(r)) << db->lastError().toStdString();
    }
    const auto filterOf = [](auto set) {
        RecordFilter f;
        set(f);
        return f;
    };
    const struct {
        const char* what;
        RecordFilter filter;
        std::vector<qint64> ids;
    } cases[] = {
        {"none", {}, {6, 5, 4, 3, 2, 1}},
        {"model exact", filterOf([](RecordFilter& f) { f.model = "M1"; }), {5, 2, 1}},
        {"model unknown", filterOf([](RecordFilter& f) { f.model = "M"; }), {}},
        {"from", filterOf([](RecordFilter& f) { f.from = QDate(2026, 2, 28); }), {6, 5, 4, 3, 2}},
        {"to", filterOf([](RecordFilter& f) { f.to = QDate(2026, 2, 28); }), {3, 2, 1}},
        {"one day", filterOf([](RecordFilter& f) { f.from = f.to = QDate(2026, 3, 1); }), {5, 4}},
        {"from after to",
         filterOf([](RecordFilter& f) {
             f.from = QDate(2026, 3, 1);
             f.to = QDate(2026, 2, 28);
         }),
         {}},
        {"pass", filterOf([](RecordFilter& f) { f.verdict = Verdict::Pass; }), {6, 5, 1}},
        {"fail", filterOf([](RecordFilter& f) { f.verdict = Verdict::Fail; }), {2}},
        {"not answering",
         filterOf([](RecordFilter& f) { f.verdict = Verdict::NotAnswering; }),
         {3}},
        {"no verdict", filterOf([](RecordFilter& f) { f.verdict = Verdict::None; }), {4}},
        {"calibration", filterOf([](RecordFilter& f) { f.kind = RecordKind::Calibration; }), {4}},
        {"check", filterOf([](RecordFilter& f) { f.kind = RecordKind::Check; }), {6, 3, 2, 1}},
        {"all together",
         filterOf([](RecordFilter& f) {
             f.model = "M1";
             f.from = QDate(2026, 2, 28);
             f.to = QDate(2026, 3, 1);
             f.verdict = Verdict::Pass;
             f.kind = RecordKind::Download;
         }),
         {5}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ids(All(*db, c.filter)), c.ids) << c.what;
}

// Adding the same record again stores a second record; the first stays as it was.
TEST_F(ResultsTest, AddingTwiceGivesTwoRecords) {
    auto db = Opened();
    UnitRecord r = FullRecord();
    ASSERT_TRUE(db->Add(r));
    const qint64 first = r.id;
    r.verdict = Verdict::Pass;
    r.quantities.removeLast();
    ASSERT_TRUE(db->Add(r));
    EXPECT_NE(r.id, first);
    EXPECT_EQ(Ids(All(*db)), (std::vector<qint64>{r.id, first}));

    UnitRecord want = FullRecord();
    want.id = first;
    const std::optional<UnitRecord> kept = db->Get(first);
    ASSERT_TRUE(kept);
    ExpectSame(*kept, want);
    const std::optional<UnitRecord> second = db->Get(r.id);
    ASSERT_TRUE(second);
    ExpectSame(*second, r);
}

// Lowers the limit on the size of files this process writes, with SIGXFSZ ignored so that a
// write past it fails with EFBIG instead of ending the process; restores both when it goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { Restore(); }
    void Restore() {
        if (restored_) return;
        restored_ = true;
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool set() const { return set_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool set_ = false;
    bool restored_ = false;
};

// Where the limit is met: a record of some megabytes spills out of the page cache while its rows
// go in, a smaller one fits in the cache and meets the limit when its pages are written at the
// commit.
struct FullDiskCase {
    const char* name;
    int quantities;
    int detailChars;
};

void PrintTo(const FullDiskCase& c, std::ostream* os) {
    *os << c.name;
}

class FullDiskTest : public ResultsTest, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(FullDiskTest, KeepsExactlyTheEarlierRecords) {
    SKIP_ON_POSTGRES("a file size limit");
    auto db = Opened();
    UnitRecord a = FullRecord();
    UnitRecord b = BareRecord();
    ASSERT_TRUE(db->Add(a));
    ASSERT_TRUE(db->Add(b));

    UnitRecord big = FullRecord();
    big.details = QString(GetParam().detailChars, QChar(u'细'));
    for (int i = 0; i < GetParam().quantities; ++i)
        big.quantities.append({2, QStringLiteral("量%1").arg(i), QStringLiteral("Q"),
                               QString(40, QLatin1Char('v')), QStringLiteral("W"), 1.0 * i, 2.0,
                               0.5, 0.5, i % 2 == 0});
    const qint64 size = QFileInfo(path).size();
    {
        FileSizeLimit limit(rlim_t(size) + 4096);
        ASSERT_TRUE(limit.set());
        EXPECT_FALSE(db->Add(big));
        limit.Restore();
    }
    EXPECT_EQ(big.id, 0);
    EXPECT_TRUE(db->lastError().contains(QDir::toNativeSeparators(path)))
        << db->lastError().toStdString();
    // The reason is given, not an empty pair of brackets.
    EXPECT_FALSE(db->lastError().endsWith(QStringLiteral("（）"))) << db->lastError().toStdString();

    const auto holdsTheEarlier = [&](ResultsDatabase& reader) {
        EXPECT_EQ(Ids(All(reader)), (std::vector<qint64>{b.id, a.id}));
        for (const UnitRecord* want : {&a, &b}) {
            const std::optional<UnitRecord> got = reader.Get(want->id);
            ASSERT_TRUE(got);
            ExpectSame(*got, *want);
        }
        // Nothing of the big record is left behind in the other tables.
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "counter");
            raw.setDatabaseName(path);
            ASSERT_TRUE(raw.open());
            QSqlQuery q(raw);
            ASSERT_TRUE(q.exec("SELECT count(*) FROM RecordQuantity"));
            ASSERT_TRUE(q.next());
            EXPECT_EQ(q.value(0).toInt(), a.quantities.size());
        }
        QSqlDatabase::removeDatabase("counter");
    };
    {
        SCOPED_TRACE("the same connection");
        holdsTheEarlier(*db);
    }
    db.reset();
    auto reopened = Opened();
    {
        SCOPED_TRACE("opened afresh");
        holdsTheEarlier(*reopened);
    }
    // Once there is room again the store takes records as before.
    UnitRecord c = BareRecord();
    ASSERT_TRUE(reopened->Add(c)) << reopened->lastError().toStdString();
    EXPECT_GT(c.id, b.id);
}

std::string FullDiskName(const ::testing::TestParamInfo<FullDiskCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Records, FullDiskTest,
                         ::testing::Values(FullDiskCase{"SpillsWhileAdding", 20000, 300000},
                                           FullDiskCase{"MeetsTheLimitAtCommit", 200, 20000}),
                         FullDiskName);

} // namespace
