// Several stations on one database: the migrations at start, two editors of one scheme, records
// from many threads at once, and (on PostgreSQL) a server that is unreachable or goes away while
// records are written.

#include "engine_fixture.h"
#include "store/database.h"
#include "store/migrations.h"
#include "store/passwords.h"
#include "store/results.h"
#include "store/schema.h"
#include "store_fixture.h"

#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>

namespace {

class SharedDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSeedFixture(dir.path());
        QString skip;
        const std::optional<DatabaseLocation> found = TestLocation(dir.path(), &skip);
        if (!found) GTEST_SKIP() << skip.toStdString();
        location = *found;
        first = Station();
        ASSERT_TRUE(first);
    }
    // One more station on the same database, opened.
    std::unique_ptr<ProductDatabase> Station() {
        auto db = std::make_unique<ProductDatabase>(location);
        const QString error = db->Open(dir.path());
        EXPECT_EQ(error, QString());
        return error.isEmpty() ? std::move(db) : nullptr;
    }
    // Every row of the seven tables and the plans, to compare before and after.
    QStringList Snapshot(ProductDatabase& db) {
        QStringList rows;
        QStringList tables;
        for (const TableSchema& t : DatabaseTables())
            tables << t.name;
        tables << kPlanTable << kVersionTable;
        for (const QString& t : tables) {
            QSqlQuery q = db.NewQuery();
            EXPECT_TRUE(OpenQuery(q, "select * from " + t));
            QStringList table;
            while (q.next()) {
                QStringList fields{t};
                for (int i = 0; i < q.record().count(); ++i)
                    fields.append(q.value(i).toString());
                table.append(fields.join('|'));
            }
            table.sort();
            rows += table;
        }
        return rows;
    }
    QTemporaryDir dir;
    DatabaseLocation location;
    std::unique_ptr<ProductDatabase> first;
};

const QString kScheme = QString::fromUtf8("标准方式");

TEST_F(SharedDatabase, ANewDatabaseIsAtTheLatestVersionOfBothComponents) {
    EXPECT_EQ(SchemaVersionOf(first->Connection(), kProductComponent),
              LatestVersion(kProductComponent));
    ResultsDatabase records(location, QString());
    ASSERT_EQ(records.Open(), QString());
    // On PostgreSQL the records share the database (on SQLite they are a file of their own).
    if (location.engine == DbEngine::Postgres) {
        EXPECT_EQ(SchemaVersionOf(first->Connection(), kRecordsComponent),
                  LatestVersion(kRecordsComponent));
    }
    // A second start finds nothing to do and changes nothing.
    const QStringList before = Snapshot(*first);
    auto second = Station();
    ASSERT_TRUE(second);
    EXPECT_EQ(Snapshot(*second), before);
}

// The last migration fails: it is rolled back whole, the station refuses to start with a message
// naming it, and what the database held is untouched.
TEST_F(SharedDatabase, AFailedMigrationLeavesTheDatabaseAsItWasAndRefusesToStart) {
    {
        QSqlQuery q = first->NewQuery();
        // As before the password migration: its version row gone, the password in plain text.
        ASSERT_TRUE(ExecQuery(
            q, QString("delete from %1 where Component = ? and Version = 3").arg(kVersionTable),
            {kProductComponent}));
        ASSERT_TRUE(ExecQuery(q, "update usertable set userpass = 'admin123'"));
    }
    const QStringList before = Snapshot(*first);
    ProductDatabase failing(location);
    failing.SetMigrationFault([](const QString& component, int version) {
        return component == kProductComponent && version == 3;
    });
    const QString error = failing.Open(dir.path());
    EXPECT_TRUE(error.contains("migration product 3")) << error.toStdString();
    EXPECT_TRUE(error.contains("password hashes")) << error.toStdString();
    EXPECT_EQ(Snapshot(*first), before);

    // Without the fault the same start succeeds and the password becomes a hash.
    auto fixed = Station();
    ASSERT_TRUE(fixed);
    std::optional<UserAccount> admin;
    ASSERT_TRUE(fixed->SelectUser("admin", admin));
    ASSERT_TRUE(admin);
    EXPECT_TRUE(VerifyPassword(admin->userpass, "admin123"));
}

TEST_F(SharedDatabase, LoginRefusesAWrongUserAndAWrongPasswordAlike) {
    const struct {
        const char* user;
        const char* password;
        bool matches;
    } cases[] = {{"admin", "admin123", true},
                 {"admin", "admin124", false},
                 {"nobody", "admin123", false},
                 {"", "", false}};
    for (const auto& c : cases) {
        bool matches = !c.matches;
        ASSERT_TRUE(first->MatchLogin(c.user, c.password, matches));
        EXPECT_EQ(matches, c.matches) << c.user << " / " << c.password;
    }
    // Nothing in the table reads as the password itself.
    QSqlQuery q = first->NewQuery();
    ASSERT_TRUE(OpenQuery(q, "select userpass from usertable"));
    while (q.next())
        EXPECT_FALSE(q.value(0).toString().contains("admin123"));
}

// Two administration windows on two stations load the same scheme; the first save goes, the
// second finds the change and writes nothing until told to overwrite.
TEST_F(SharedDatabase, TheSecondSaveOfOneSchemeFindsTheFirst) {
    auto other = Station();
    ASSERT_TRUE(other);
    const std::optional<LoadedScheme> mine = first->LoadScheme(kScheme);
    const std::optional<LoadedScheme> theirs = other->LoadScheme(kScheme);
    ASSERT_TRUE(mine && theirs);

    Scheme a = mine->scheme;
    a.ubl = 20;
    EXPECT_EQ(first->ModifySchemeIfUnchanged(a, {QString::fromUtf8("频率")}, *mine),
              SchemeWrite::Done);

    Scheme b = theirs->scheme;
    b.ubl = 30;
    const QStringList bList{QString::fromUtf8("A相电压"), QString::fromUtf8("频率")};
    EXPECT_EQ(other->ModifySchemeIfUnchanged(b, bList, *theirs), SchemeWrite::Changed);
    std::optional<Scheme> stored;
    ASSERT_TRUE(other->SelectScheme(kScheme, stored));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->ubl, 20);
    QStringList list;
    ASSERT_TRUE(other->SelectSchemeParameters(kScheme, list));
    EXPECT_EQ(list, QStringList{QString::fromUtf8("频率")});

    // Told to overwrite: the second station's scheme stands.
    ASSERT_TRUE(other->ModifySchemeWithParameters(b, bList));
    ASSERT_TRUE(first->SelectScheme(kScheme, stored));
    EXPECT_EQ(stored->ubl, 30);

    // A scheme deleted elsewhere is a change too.
    const std::optional<LoadedScheme> again = first->LoadScheme(kScheme);
    ASSERT_TRUE(again);
    ASSERT_TRUE(other->DeleteSchemeWithParameters(kScheme));
    EXPECT_EQ(first->ModifySchemeIfUnchanged(a, {}, *again), SchemeWrite::Changed);
}

// A model added by another station is in the list the next time it is read.
TEST_F(SharedDatabase, AModelAddedElsewhereIsSeenAtTheNextRead) {
    auto other = Station();
    ASSERT_TRUE(other);
    QList<ProductModel> models;
    ASSERT_TRUE(first->SelectAllModels(models));
    const qsizetype before = models.size();
    ASSERT_TRUE(other->InsertModel({"KX7410M3-99", kScheme, 1, 0, 1, 1, 0, 0}));
    ASSERT_TRUE(first->SelectAllModels(models));
    ASSERT_EQ(models.size(), before + 1);
    EXPECT_EQ(models.last().cpxh, "KX7410M3-99"); // in the order entered
}

UnitRecord Record(int thread, int n) {
    UnitRecord r;
    r.kind = RecordKind::Check;
    r.serial = QStringLiteral("T%1-%2").arg(thread).arg(n);
    r.model = QStringLiteral("KX7410M3-01");
    r.station = QStringLiteral("station-%1").arg(thread);
    r.started = QDateTime::currentDateTime();
    r.ended = r.started;
    r.verdict = Verdict::Pass;
    r.points.append({0, 100, 100, 0, 50, Verdict::Pass, 0});
    r.quantities.append({0, "A相电压", "Ua", "220.00 V", "V", 220, 220.1, 0.05, 0.2, true});
    return r;
}

// Four stations store 500 records each at the same time: every one is there, once.
TEST_F(SharedDatabase, RecordsOfFourStationsAtOnceAreAllKept) {
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    {
        ResultsDatabase setup(location, QString());
        ASSERT_EQ(setup.Open(), QString());
    }
    std::atomic<int> failures{0};
    QList<QThread*> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.append(QThread::create([&, t] {
            ResultsDatabase records(location, QString());
            if (!records.Open().isEmpty()) {
                failures += kEach;
                return;
            }
            for (int i = 0; i < kEach; ++i) {
                UnitRecord r = Record(t, i);
                if (!records.Add(r) || r.id <= 0) ++failures;
            }
        }));
    for (QThread* th : threads)
        th->start();
    for (QThread* th : threads) {
        th->wait();
        delete th;
    }
    EXPECT_EQ(failures.load(), 0);
    ResultsDatabase records(location, QString());
    ASSERT_EQ(records.Open(), QString());
    QList<UnitRecord> all;
    ASSERT_TRUE(records.Select({}, all));
    std::set<QString> serials;
    for (const UnitRecord& r : all)
        serials.insert(r.serial);
    EXPECT_EQ(all.size(), kThreads * kEach);
    EXPECT_EQ(serials.size(), size_t(kThreads * kEach));
}

// ---- PostgreSQL: a server that is not there -------------------------------------------------

class ServerFaults : public SharedDatabase {
protected:
    void SetUp() override {
        if (!OnPostgres()) GTEST_SKIP() << "a server of its own only on PostgreSQL";
        SharedDatabase::SetUp();
        if (IsSkipped()) return;
        server = PgServer::Shared();
    }
    PgServer* server = nullptr;
};

TEST_F(ServerFaults, AnUnreachableServerIsNamedWithHostAndPort) {
    const struct {
        const char* what;
        std::function<void(DatabaseLocation&)> spoil;
        const char* says;
    } cases[] = {
        {"no server on the port", [](DatabaseLocation& l) { l.port = 1; }, "127.0.0.1:1"},
        {"unknown database", [](DatabaseLocation& l) { l.name = "kx_no_such_database"; },
         "kx_no_such_database"},
        {"wrong password", [](DatabaseLocation&) { qputenv("PGPASSWORD", "not-the-password"); },
         "password"},
    };
    for (const auto& c : cases) {
        DatabaseLocation l = location;
        c.spoil(l);
        ProductDatabase db(l);
        const QString error = db.Open(dir.path());
        EXPECT_TRUE(error.contains(l.Server())) << c.what << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(c.says)) << c.what << ": " << error.toStdString();
        ResultsDatabase records(l, QString());
        EXPECT_TRUE(records.Open().contains(l.Server())) << c.what;
        qputenv("PGPASSWORD", PgServer::kPassword);
    }
}

// The server stops while records are being written: they wait in the queue, the station goes
// on, and after the restart each reaches the server exactly once, in order.
TEST_F(ServerFaults, RecordsWrittenWhileTheServerIsDownAreQueuedAndDeliveredOnce) {
    const QString queue = dir.filePath("RecordQueue.json");
    ResultsDatabase records(location, queue);
    ASSERT_EQ(records.Open(), QString());
    UnitRecord before = Record(0, 0);
    ASSERT_TRUE(records.Add(before));
    EXPECT_GT(before.id, 0);

    server->Stop();
    for (int i = 1; i <= 3; ++i) {
        UnitRecord r = Record(0, i);
        ASSERT_TRUE(records.Add(r)) << records.lastError().toStdString();
        EXPECT_EQ(r.id, 0);
    }
    EXPECT_EQ(records.queued(), 3);
    ASSERT_TRUE(server->Start()) << server->error().toStdString();

    // The next record sends the queue first.
    UnitRecord after = Record(0, 4);
    ASSERT_TRUE(records.Add(after)) << records.lastError().toStdString();
    EXPECT_GT(after.id, 0);
    EXPECT_EQ(records.queued(), 0);
    EXPECT_FALSE(QFile::exists(queue));
    QList<UnitRecord> all;
    ASSERT_TRUE(records.Select({}, all));
    QStringList serials;
    for (const UnitRecord& r : all)
        serials.prepend(r.serial); // newest first
    EXPECT_EQ(serials, QStringList({"T0-0", "T0-1", "T0-2", "T0-3", "T0-4"}));
    const std::optional<UnitRecord> whole = records.Get(all[2].id);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->quantities, Record(0, 2).quantities);
}

// A queue that was sent but whose rewrite was lost (the station died in between) is sent again
// at the next start; the keys keep every record single.
TEST_F(ServerFaults, AQueueSentTwiceStoresEachRecordOnce) {
    const QString queue = dir.filePath("RecordQueue.json");
    {
        ResultsDatabase records(location, queue);
        ASSERT_EQ(records.Open(), QString());
        server->Stop();
        for (int i = 0; i < 2; ++i) {
            UnitRecord r = Record(1, i);
            ASSERT_TRUE(records.Add(r));
        }
        ASSERT_TRUE(server->Start());
    }
    const QString copy = dir.filePath("copy.json");
    ASSERT_TRUE(QFile::copy(queue, copy));
    {
        ResultsDatabase records(location, queue);
        ASSERT_EQ(records.Open(), QString()); // sends the queue
        EXPECT_EQ(records.queued(), 0);
    }
    ASSERT_TRUE(QFile::rename(copy, queue));
    ResultsDatabase records(location, queue);
    ASSERT_EQ(records.Open(), QString());
    EXPECT_EQ(records.queued(), 0);
    QList<UnitRecord> all;
    ASSERT_TRUE(records.Select({}, all));
    EXPECT_EQ(all.size(), 2);
}

// The server stops in the middle of an administrator's edit: the save fails, visibly, and after
// the restart the scheme is as it was, not half written.
TEST_F(ServerFaults, AnEditWhileTheServerIsDownFailsAndWritesNothing) {
    const std::optional<LoadedScheme> loaded = first->LoadScheme(kScheme);
    ASSERT_TRUE(loaded);
    const QStringList before = Snapshot(*first);
    server->Stop();
    Scheme s = loaded->scheme;
    s.ubl = 77;
    EXPECT_EQ(first->ModifySchemeIfUnchanged(s, {QString::fromUtf8("频率")}, *loaded),
              SchemeWrite::Failed);
    EXPECT_FALSE(first->ModifySchemeWithParameters(s, {QString::fromUtf8("频率")}));
    ASSERT_TRUE(server->Start());
    // The station's connection died with the server; the next statement gets a new one.
    EXPECT_EQ(Snapshot(*first), before);
    EXPECT_EQ(first->ModifySchemeIfUnchanged(s, {QString::fromUtf8("频率")}, *loaded),
              SchemeWrite::Done);
}

} // namespace
