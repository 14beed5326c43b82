#include "store/migrations.h"

#include "common/conversion.h"
#include "store/catalogue.h"
#include "store/db_location.h"
#include "store/passwords.h"
#include "store/schema.h"

#include <QDateTime>
#include <QDir>
#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

struct Migration {
    int version;
    const char* name;
    // Empty on success, else why it failed.
    std::function<QString(QSqlDatabase)> apply;
};

QString Failed(const QSqlQuery& q) {
    return q.lastError().text();
}

QString RunAll(QSqlDatabase db, const QList<const char*>& statements) {
    for (const char* s : statements) {
        QSqlQuery q(db);
        if (!q.exec(EngineSql(db, s))) return Failed(q);
    }
    return {};
}

// ---- product ---------------------------------------------------------------------------------

QString SeedRows(QSqlDatabase db, const QString& seedDir) {
    const QDir dir(seedDir);
    const QList<QPair<QString, QString>> sources = {
        {"Outpar", kOutparFile},
        {"DL645Data_97", kDlt645Items1997File},
        {"DL645Data_07", kDlt645Items2007File},
        {"Fstable", kSeedSchemesFile},
        {"Cstable", kSeedSchemeParametersFile},
        {"Config", kSeedModelsFile},
        {"usertable", kSeedAccountsFile},
    };
    for (const auto& [table, file] : sources) {
        try {
            const QString error =
                InsertRows(db, *FindTable(table), ReadDataTable(dir.filePath(file)));
            if (!error.isEmpty()) return error;
        } catch (const ConversionError& e) {
            return e.text();
        }
    }
    return {};
}

// The seven tables: made (and seeded) in a database that has none of them, checked in one that
// has them (a Config.db of an earlier version, or an imported one).
QString ProductTables(QSqlDatabase db, const QString& seedDir) {
    bool any = false;
    for (const TableSchema& t : DatabaseTables())
        any |= HasTable(db, t.name);
    if (any || seedDir.isEmpty()) return CheckSchema(db);
    const QString error = CreateSchema(db);
    return error.isEmpty() ? SeedRows(db, seedDir) : error;
}

// Plain-text passwords (the seed, an imported .mdb, an older Config.db) become hashes.
QString HashPasswords(QSqlDatabase db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select username, userpass from usertable"))) return Failed(q);
    QList<QPair<QVariant, QString>> plain;
    while (q.next())
        if (!IsPasswordHash(q.value(1).toString()))
            plain.append({q.value(0), q.value(1).toString()});
    for (const auto& [user, password] : plain) {
        const QString hash = HashPassword(password);
        if (hash.isEmpty()) return QStringLiteral("no password hash could be made");
        QSqlQuery u(db);
        u.prepare(QStringLiteral("update usertable set userpass = ? where username = ? and "
                                 "userpass = ?"));
        u.addBindValue(hash);
        u.addBindValue(user);
        u.addBindValue(password);
        if (!u.exec()) return Failed(u);
    }
    return {};
}

QList<Migration> ProductMigrations(const QString& seedDir) {
    return {
        {1, "product tables", [seedDir](QSqlDatabase db) { return ProductTables(db, seedDir); }},
        {2, "test plans", [](QSqlDatabase db) { return CreatePlanTable(db); }},
        {3, "password hashes", HashPasswords},
    };
}

// ---- records ---------------------------------------------------------------------------------

// The layout version the records file has carried since its first release; kept, so that a
// records file of an earlier version is told from somebody else's database.
constexpr int kRecordsLayout = 1;

QString RecordTables(QSqlDatabase db) {
    QString error = RunAll(
        db,
        {"CREATE TABLE IF NOT EXISTS ResultsInfo (Name TEXT PRIMARY KEY, Value TEXT NOT NULL)",
         "CREATE TABLE IF NOT EXISTS UnitRecord ("
         " ID %BIGID%, Kind INTEGER NOT NULL, Serial TEXT NOT NULL,"
         " Model TEXT NOT NULL, Operator TEXT NOT NULL, Station TEXT NOT NULL,"
         " SoftwareVersion TEXT NOT NULL, Port TEXT NOT NULL, LineSettings TEXT NOT NULL,"
         " Protocol TEXT NOT NULL, Address INTEGER NOT NULL, Plan TEXT NOT NULL,"
         " Started TEXT NOT NULL, Ended TEXT NOT NULL, Verdict INTEGER NOT NULL,"
         " Failures INTEGER NOT NULL, Details TEXT NOT NULL)",
         "CREATE TABLE IF NOT EXISTS RecordPoint ("
         " RecordID BIGINT NOT NULL REFERENCES UnitRecord(ID), PointIndex INTEGER NOT NULL,"
         " VoltagePercent %REAL% NOT NULL, CurrentPercent %REAL% NOT NULL, Angle %REAL% NOT NULL,"
         " Frequency %REAL% NOT NULL, Verdict INTEGER NOT NULL, Failures INTEGER NOT NULL,"
         " PRIMARY KEY (RecordID, PointIndex))",
         "CREATE TABLE IF NOT EXISTS RecordQuantity ("
         " RecordID BIGINT NOT NULL REFERENCES UnitRecord(ID), Position INTEGER NOT NULL,"
         " PointIndex INTEGER NOT NULL, Name TEXT NOT NULL, Quantity TEXT NOT NULL,"
         " ValueText TEXT NOT NULL, Unit TEXT NOT NULL, Expected %REAL%, Measured %REAL%,"
         " Error %REAL%, Limit_ %REAL%, Passed INTEGER NOT NULL, PRIMARY KEY (RecordID, Position))",
         "CREATE INDEX IF NOT EXISTS UnitRecordSerial ON UnitRecord (Serial)",
         "CREATE INDEX IF NOT EXISTS UnitRecordStarted ON UnitRecord (Started)"});
    if (!error.isEmpty()) return error;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO ResultsInfo (Name, Value) VALUES ('layout', ?) "
                             "ON CONFLICT (Name) DO NOTHING"));
    q.addBindValue(QString::number(kRecordsLayout));
    return q.exec() ? QString() : Failed(q);
}

// Each record carries a key of its own, so that one sent again from the queue of a station
// whose server was away is stored once.
QString RecordKeys(QSqlDatabase db) {
    return RunAll(db, {"ALTER TABLE UnitRecord ADD COLUMN RecordKey TEXT",
                       "CREATE UNIQUE INDEX UnitRecordKey ON UnitRecord (RecordKey)"});
}

QList<Migration> RecordMigrations() {
    return {{1, "records", RecordTables}, {2, "record keys", RecordKeys}};
}

// ---- applying --------------------------------------------------------------------------------

// Stations starting at once against one server: the first one migrates, the others wait for
// it and then find nothing left to do.
constexpr qint64 kMigrationLock = 0x4B58374D; // "KX7M"

QString Apply(QSqlDatabase db, const QString& component, const Migration& m,
              const MigrationFault& fault) {
    if (!db.transaction()) return db.lastError().text();
    const auto fail = [&](const QString& why) {
        db.rollback();
        return QStringLiteral("migration %1 %2 (%3) failed: %4")
            .arg(component)
            .arg(m.version)
            .arg(QLatin1String(m.name), why);
    };
    QSqlQuery q(db);
    if (EngineOf(db) == DbEngine::Postgres &&
        !q.exec(QStringLiteral("select pg_advisory_xact_lock(%1)").arg(kMigrationLock)))
        return fail(Failed(q));
    if (!HasTable(db, kVersionTable) &&
        !q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (Component TEXT NOT NULL, Version "
                               "INTEGER NOT NULL, Name TEXT NOT NULL, Applied TEXT NOT NULL, "
                               "PRIMARY KEY (Component, Version))")
                    .arg(QLatin1String(kVersionTable))))
        return fail(Failed(q));
    if (SchemaVersionOf(db, component) >= m.version) {
        db.rollback(); // another station was first
        return {};
    }
    QString error = m.apply(db);
    if (error.isEmpty()) {
        q.prepare(QStringLiteral("INSERT INTO %1 (Component, Version, Name, Applied) VALUES (?, "
                                 "?, ?, ?)")
                      .arg(QLatin1String(kVersionTable)));
        q.addBindValue(component);
        q.addBindValue(m.version);
        q.addBindValue(QLatin1String(m.name));
        q.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
        if (!q.exec()) error = Failed(q);
    }
    if (error.isEmpty() && fault && fault(component, m.version))
        error = QStringLiteral("failure injected");
    if (!error.isEmpty()) return fail(error);
    if (!db.commit()) return fail(db.lastError().text());
    return {};
}

QString ApplyAll(QSqlDatabase db, const QString& component, const QList<Migration>& migrations,
                 const MigrationFault& fault) {
    if (!db.isOpen()) return db.lastError().text();
    const int current = HasTable(db, kVersionTable) ? SchemaVersionOf(db, component) : 0;
    for (const Migration& m : migrations) {
        if (m.version <= current) continue;
        const QString error = Apply(db, component, m, fault);
        if (!error.isEmpty()) return error;
    }
    return {};
}

} // namespace

QString EngineSql(QSqlDatabase db, const char* text) {
    QString sql = QString::fromUtf8(text);
    if (EngineOf(db) == DbEngine::Postgres) {
        sql.replace(QLatin1String("%BIGID%"),
                    QLatin1String("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
        sql.replace(QLatin1String("%ID%"),
                    QLatin1String("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
        sql.replace(QLatin1String("%REAL%"), QLatin1String("DOUBLE PRECISION"));
    } else {
        sql.replace(QLatin1String("%BIGID%"), QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"));
        sql.replace(QLatin1String("%ID%"), QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"));
        sql.replace(QLatin1String("%REAL%"), QLatin1String("REAL"));
    }
    return sql;
}

bool HasTable(QSqlDatabase db, const QString& table) {
    QSqlQuery q(db);
    if (!q.prepare(EngineOf(db) == DbEngine::Postgres
                       ? QStringLiteral("select 1 from information_schema.tables where "
                                        "table_schema = current_schema() and table_name = lower(?)")
                       : QStringLiteral("select 1 from sqlite_master where type = 'table' and "
                                        "name = ? collate nocase")))
        return false;
    q.addBindValue(table);
    return q.exec() && q.next();
}

int SchemaVersionOf(QSqlDatabase db, const QString& component) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT max(Version) FROM %1 WHERE Component = ?")
                  .arg(QLatin1String(kVersionTable)));
    q.addBindValue(component);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

int LatestVersion(const QString& component) {
    const QList<Migration> list =
        component == QLatin1String(kProductComponent) ? ProductMigrations({}) : RecordMigrations();
    return list.isEmpty() ? 0 : list.last().version;
}

QString MigrateProductDatabase(QSqlDatabase db, const QString& seedDir,
                               const MigrationFault& fault) {
    return ApplyAll(db, kProductComponent, ProductMigrations(seedDir), fault);
}

QString MigrateRecords(QSqlDatabase db, const MigrationFault& fault) {
    return ApplyAll(db, kRecordsComponent, RecordMigrations(), fault);
}
