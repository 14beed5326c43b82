// kx7410-dbtool: looks into a product database from the command line, and moves one between
// SQLite files and PostgreSQL servers.
//   dump [DB]            every table as CSV
//   check [DB]           rows that break the codings; exit status 1 when there are any
//   import-mdb FILE [OUT] a Jet Config.mdb into a new Config.db
//   create [DB]          a new database with the seed rows this program ships
//                        (an empty file at DB is replaced)
//   copy FROM TO         the whole database FROM, with its records, IDs and row order, into TO,
//                        which must be empty (no file or an empty one, or a server database
//                        without any of the program's tables); a copy that fails leaves TO
//                        empty
// DB, FROM and TO are the path of a product file (its records in Results.db beside it) or
// postgresql://user@host[:port]/name (one database holding both). The password of a server is
// never given here: libpq takes it from PGPASSWORD or ~/.pgpass.
// DB and OUT default to the station's Config.db, where the window keeps it: beside this program
// when a Config.ini lies there, else in ~/.local/share/kx7410.

#include "store/database.h"
#include "store/db_check.h"
#include "store/db_location.h"
#include "store/mdb_import.h"
#include "store/migrations.h"
#include "store/schema.h"
#include "store/station_folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QTextStream>
#include <QUrl>

#include <cmath>
#include <filesystem>
#include <system_error>

namespace {
QTextStream& Out() {
    static QTextStream s(stdout);
    return s;
}
QTextStream& Err() {
    static QTextStream s(stderr);
    return s;
}

int Usage() {
    Err() << "usage: kx7410-dbtool dump [DB]\n"
             "       kx7410-dbtool check [DB]\n"
             "       kx7410-dbtool import-mdb FILE [OUT]\n"
             "       kx7410-dbtool create [DB]\n"
             "       kx7410-dbtool copy FROM TO\n"
             "DB, FROM, TO: a Config.db file (records in Results.db beside it) or\n"
             "              postgresql://user@host[:port]/name (password in PGPASSWORD or "
             "~/.pgpass)\n"
             "              default: the station's Config.db (beside this program when a\n"
             "              Config.ini lies there, else ~/.local/share/kx7410)\n";
    return 2;
}

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && text.trimmed() == text)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString Failed(const QSqlQuery& q) {
    return q.lastError().text().trimmed();
}

// A connection that is closed and removed when it goes out of scope: the tool opens several, and
// Qt warns about (and keeps) a connection removed while a handle to it lives.
class Connection {
public:
    Connection(const DatabaseLocation& location, DbRole role, QString name)
        : name_(std::move(name)), db_(AddConnection(location, role, name_)) {}
    ~Connection() {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    QSqlDatabase& db() { return db_; }

private:
    QString name_;
    QSqlDatabase db_;
};

// The location as typed, or why it is none. A URL with a password in it is refused, and the
// password is kept out of the message: it would end up in a terminal's scrollback or a log.
bool ParseLocation(const QString& text, DatabaseLocation& location) {
    QString error;
    location = ParseDatabaseLocation(text, &error);
    if (error.isEmpty()) return true;
    const QUrl url(text);
    if (!url.password().isEmpty())
        error.replace(text, url.toString(QUrl::RemovePassword | QUrl::FullyEncoded));
    Err() << error << "\n";
    return false;
}

// A station may be writing the file; its lock is held only for a moment.
constexpr const char* kReadOnlyFile = "QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000";

// Opens the product database at location for reading, under the name shown as typed; an empty
// text on success. A file is opened read-only; a server has no such mode, so the session is made
// read-only instead, which turns a write by mistake into an error.
QString OpenForReading(QSqlDatabase& db, const DatabaseLocation& location, const QString& shown) {
    const bool postgres = location.engine == DbEngine::Postgres;
    if (!postgres) {
        if (!QFileInfo(location.productFile).isFile())
            return QStringLiteral("%1 does not exist").arg(shown);
        db.setConnectOptions(QLatin1String(kReadOnlyFile));
    }
    if (!db.open()) return QStringLiteral("%1: %2").arg(shown, db.lastError().text().trimmed());
    if (postgres) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("set session characteristics as transaction read only")))
            return QStringLiteral("%1: %2").arg(shown, Failed(q));
    }
    const QString error = CheckSchema(db);
    return error.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(shown, error);
}

// The order rows were entered in: a table with ID by it, the others by SQLite's implicit rowid,
// which the PostgreSQL schema has as a column of the same name.
QString RowOrder(const TableSchema& t) {
    return t.hasId() ? QStringLiteral("ID") : QStringLiteral("rowid");
}

// The schema's columns by name: PostgreSQL's tables without ID have their rowid as a column of
// their own, and "select *" would print it.
QString SelectTable(const TableSchema& t) {
    return QStringLiteral("select %1 from %2 order by %3")
        .arg(t.columns.join(QStringLiteral(", ")), t.name, RowOrder(t));
}

int Dump(QSqlDatabase db) {
    for (const TableSchema& t : DatabaseTables()) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(SelectTable(t))) {
            Err() << t.name << ": " << Failed(q) << "\n";
            return 1;
        }
        // PostgreSQL reports the names folded to lower case; the schema's spelling is the one
        // both engines share.
        Out() << "# " << t.name << "\n";
        Out() << t.columns.join(',') << "\n";
        while (q.next()) {
            QStringList row;
            // An integer column comes as int from PostgreSQL and as qlonglong from SQLite;
            // QVariant prints both in decimal, a NULL as nothing.
            for (qsizetype i = 0; i < t.columns.size(); ++i)
                row.append(CsvField(q.value(int(i)).toString()));
            Out() << row.join(',') << "\n";
        }
        Out() << "\n";
    }
    return 0;
}

int Check(QSqlDatabase db, const QString& shown) {
    const QStringList problems = CheckDatabase(db);
    for (const QString& p : problems)
        Out() << p << "\n";
    if (problems.isEmpty()) {
        Out() << shown << ": no problems found\n";
        return 0;
    }
    Out() << shown << ": " << problems.size() << " problem(s)\n";
    return 1;
}

// ---- copy ------------------------------------------------------------------------------------

// The tables a copy moves besides the seven, with the order their rows go in (parents first)
// and the order of the rows within.
struct OtherTable {
    const char* name;
    const char* order;
    bool records; // in the records (Results.db beside a Config.db), else in the product database
};
const OtherTable kOtherTables[] = {
    {kPlanTable, "Model, Name, Position", false},
    {"ResultsInfo", "Name", true},
    {"UnitRecord", "ID", true},
    {"RecordPoint", "RecordID, PointIndex", true},
    {"RecordQuantity", "RecordID, Position", true},
};
// The only one of the record tables with an ID of its own.
constexpr const char* kUnitRecordTable = "UnitRecord";

// Every table the program keeps in a database; a server database holding any of them is no
// empty target, and a failed copy drops them again. Children before their parents.
QStringList OwnTables() {
    QStringList tables{"RecordQuantity", "RecordPoint", "UnitRecord", "ResultsInfo", kPlanTable};
    for (const TableSchema& t : DatabaseTables())
        tables.append(t.name);
    tables.append(QLatin1String(kVersionTable));
    return tables;
}

// The columns of a table in their order; false when they cannot be read.
bool ColumnsOf(QSqlDatabase db, const QString& table, QStringList& out, QString& error) {
    out.clear();
    QSqlQuery q(db);
    const bool postgres = EngineOf(db) == DbEngine::Postgres;
    const bool ran =
        postgres
            ? q.prepare(QStringLiteral("select column_name from information_schema.columns where "
                                       "table_schema = current_schema() and table_name = lower(?) "
                                       "order by ordinal_position")) &&
                  (q.addBindValue(table), q.exec())
            : q.exec(QStringLiteral("pragma table_info(%1)").arg(table));
    if (!ran) {
        error = QStringLiteral("%1: %2").arg(table, Failed(q));
        return false;
    }
    while (q.next())
        out.append(q.value(postgres ? 0 : 1).toString());
    return true;
}

// The value as a PostgreSQL column of the schema takes it. SQLite keeps whatever it was given:
// a number in a text column goes over as its text, and a fraction in a number column, which the
// server would round without a word, is refused.
bool ForServer(const TableSchema& t, const QString& column, QVariant& value, QString& error) {
    if (value.isNull()) return true;
    if (!t.numberColumns.contains(column)) {
        if (value.metaType() != QMetaType::fromType<QString>()) value = value.toString();
        return true;
    }
    if (value.metaType() == QMetaType::fromType<double>()) {
        const double d = value.toDouble();
        if (d != std::trunc(d)) {
            error = QStringLiteral("column %1: %2 is not a whole number").arg(column).arg(d);
            return false;
        }
        value = qlonglong(d);
    }
    return true;
}

struct CopyTarget {
    QSqlDatabase product;
    QSqlDatabase records; // invalid when FROM has no records
    qint64 rows = 0;
};

// Copies the rows of a table in order. schema: the seven tables' description, whose values are
// fitted to a server's column types; conflict: appended to the insert.
QString CopyRows(QSqlDatabase from, QSqlDatabase to, const QString& table,
                 const QStringList& columns, const QString& order, const TableSchema* schema,
                 const QString& conflict, qint64& rows) {
    QSqlQuery read(from);
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("select %1 from %2 order by %3")
                       .arg(columns.join(QStringLiteral(", ")), table, order)))
        return QStringLiteral("reading %1: %2").arg(table, Failed(read));
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks.append(QStringLiteral("?"));
    QSqlQuery write(to);
    if (!write.prepare(QStringLiteral("insert into %1 (%2) values (%3)%4")
                           .arg(table, columns.join(QStringLiteral(", ")),
                                marks.join(QStringLiteral(", ")), conflict)))
        return QStringLiteral("%1: %2").arg(table, Failed(write));
    const bool server = EngineOf(to) == DbEngine::Postgres;
    qint64 row = 0;
    while (read.next()) {
        ++row;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            QVariant value = read.value(int(i));
            QString error;
            if (schema && server && !ForServer(*schema, columns[i], value, error))
                return QStringLiteral("%1 row %2, %3").arg(table).arg(row).arg(error);
            write.addBindValue(value);
        }
        if (!write.exec())
            return QStringLiteral("%1 row %2: %3").arg(table).arg(row).arg(Failed(write));
    }
    if (read.lastError().isValid())
        return QStringLiteral("reading %1: %2").arg(table, Failed(read));
    rows += row;
    return QString();
}

// A table besides the seven: the columns FROM has, all of which TO (made by this program's
// schema and migrations) must know, so that nothing is left behind without a word.
QString CopyOtherTable(QSqlDatabase from, QSqlDatabase to, const OtherTable& table, qint64& rows) {
    const QString name = QLatin1String(table.name);
    QStringList fromColumns, toColumns;
    QString error;
    if (!ColumnsOf(from, name, fromColumns, error) || !ColumnsOf(to, name, toColumns, error))
        return error;
    for (const QString& c : fromColumns)
        if (!toColumns.contains(c, Qt::CaseInsensitive))
            return QStringLiteral("table %1 has a column %2 this program does not know")
                .arg(name, c);
    // The records' version row is TO's own, written by its migrations.
    const QString conflict = name == QLatin1String("ResultsInfo")
                                 ? QStringLiteral(" on conflict do nothing")
                                 : QString();
    error =
        CopyRows(from, to, name, fromColumns, QLatin1String(table.order), nullptr, conflict, rows);
    if (!error.isEmpty() || EngineOf(to) != DbEngine::Postgres ||
        name != QLatin1String(kUnitRecordTable))
        return error;
    // Rows inserted with their IDs leave the identity's counter where it was; the next record
    // would take an ID that is there already.
    QSqlQuery q(to);
    if (!q.exec(QStringLiteral("select setval(pg_get_serial_sequence('%1', 'id'), "
                               "coalesce((select max(ID) from %1), 0) + 1, false)")
                    .arg(name)))
        return QStringLiteral("%1: %2").arg(name, Failed(q));
    return QString();
}

// The seven tables and the plans into TO's product database, whose schema (and nothing else) is
// there. FROM's rows keep their IDs and their order.
QString CopyProduct(QSqlDatabase from, QSqlDatabase to, qint64& rows) {
    for (const TableSchema& t : DatabaseTables()) {
        QString error = CopyRows(from, to, t.name, t.columns, RowOrder(t), &t, QString(), rows);
        if (error.isEmpty()) error = ResyncIds(to, t);
        if (!error.isEmpty()) return error;
    }
    if (!HasPlanTable(from)) return QString(); // a database of the version before plans
    for (const OtherTable& t : kOtherTables)
        if (!t.records) {
            const QString error = CopyOtherTable(from, to, t, rows);
            if (!error.isEmpty()) return error;
        }
    return QString();
}

// The record tables into TO's records, made there by its migrations.
QString CopyRecords(QSqlDatabase from, QSqlDatabase to, qint64& rows) {
    for (const OtherTable& t : kOtherTables)
        if (t.records) {
            const QString error = CopyOtherTable(from, to, t, rows);
            if (!error.isEmpty()) return error;
        }
    return QString();
}

// Whether FROM has records to copy; an error text when they are there but cannot be taken. A
// records file beside a Config.db must be one (the program refuses any other file there); a
// server database has records once it has their main table.
QString HasRecords(QSqlDatabase db, const QString& shown, bool& has) {
    const bool file = EngineOf(db) == DbEngine::Sqlite;
    if (file) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("select count(*) from sqlite_master")))
            return QStringLiteral("%1: %2").arg(shown, Failed(q));
    }
    QStringList missing;
    for (const OtherTable& t : kOtherTables)
        if (t.records && !HasTable(db, QLatin1String(t.name))) missing.append(t.name);
    has = file || HasTable(db, QLatin1String(kUnitRecordTable));
    if (has && !missing.isEmpty())
        return QStringLiteral("%1: no records database (it lacks the table(s) %2)")
            .arg(shown, missing.join(QStringLiteral(", ")));
    return QString();
}

// ---- copy into files ---------------------------------------------------------------------------

// SQLite's companions of a database file; a rollback journal or a log left beside a file is
// applied to whatever file next has that name.
const char* const kCompanions[] = {"-journal", "-wal"};

std::filesystem::path FsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

void RemoveWithCompanions(const QString& path) {
    QFile::remove(path);
    for (const char* companion : kCompanions)
        QFile::remove(path + QLatin1String(companion));
}

// A file beside path that becomes path once complete, as the program makes a new Config.db
// (the same pattern of names, whose leftovers the program's next creation of a database removes):
// a copy cut short leaves nothing under the name a station looks for.
class StagedFile {
public:
    explicit StagedFile(const QString& path) : path_(path) {
        const QFileInfo target(path);
        QTemporaryFile reserve(target.absoluteDir().filePath(QLatin1Char('.') + target.fileName() +
                                                             QStringLiteral(".XXXXXX.part")));
        reserve.setAutoRemove(false);
        if (reserve.open())
            staged_ = reserve.fileName();
        else
            error_ = QDir::toNativeSeparators(target.absolutePath()) + QStringLiteral(": ") +
                     reserve.errorString();
    }
    ~StagedFile() {
        if (!staged_.isEmpty()) RemoveWithCompanions(staged_);
    }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const QString& staged() const { return staged_; }
    const QString& error() const { return error_; }

    // Renames the complete file over path (an empty file there, what a creation cut short
    // left, is replaced, its stale journal removed first).
    QString Place() {
        // The reservation is private to its owner; the database gets the modes of the empty
        // file it replaces, or those SQLite gives a new one.
        QFile::setPermissions(staged_, QFileInfo::exists(path_)
                                           ? QFile::permissions(path_)
                                           : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                 QFileDevice::ReadGroup | QFileDevice::ReadOther);
        for (const char* companion : kCompanions)
            QFile::remove(path_ + QLatin1String(companion));
        std::error_code ec;
        std::filesystem::rename(FsPath(staged_), FsPath(path_), ec);
        if (ec) return path_ + QStringLiteral(": ") + QString::fromStdString(ec.message());
        staged_.clear();
        return QString();
    }

private:
    QString path_;
    QString staged_;
    QString error_;
};

QString Open(QSqlDatabase& db) {
    return db.open() ? QString() : db.lastError().text().trimmed();
}

// Writes the product database into its temporary file in one transaction, then lets the migrations
// record their versions.
QString FillProductFile(QSqlDatabase from, QSqlDatabase to, qint64& rows) {
    if (QString error = Open(to); !error.isEmpty()) return error;
    if (!to.transaction()) return to.lastError().text();
    QString error = CreateSchema(to);
    if (error.isEmpty()) error = CopyProduct(from, to, rows);
    if (error.isEmpty() && !to.commit()) error = to.lastError().text();
    if (!error.isEmpty()) {
        to.rollback();
        return error;
    }
    return MigrateProductDatabase(to, QString());
}

// The record tables come from the migrations (so that they have this program's layout), the
// rows after them in one transaction.
QString FillRecordsFile(QSqlDatabase from, QSqlDatabase to, qint64& rows) {
    if (QString error = Open(to); !error.isEmpty()) return error;
    if (QString error = MigrateRecords(to); !error.isEmpty()) return error;
    if (!to.transaction()) return to.lastError().text();
    QString error = CopyRecords(from, to, rows);
    if (error.isEmpty() && !to.commit()) error = to.lastError().text();
    if (!error.isEmpty()) to.rollback();
    return error;
}

// An empty file, what a creation cut short left, holds nothing to keep.
bool IsFree(const QString& path) {
    const QFileInfo existing(path);
    return !existing.exists() || (existing.isFile() && existing.size() == 0);
}

QString CopyToFiles(QSqlDatabase fromProduct, QSqlDatabase fromRecords, const DatabaseLocation& to,
                    const QString& shown, qint64& rows) {
    if (!IsFree(to.productFile)) return QStringLiteral("%1 exists already").arg(shown);
    // The records beside TO are TO's, whether FROM has any or not.
    if (!IsFree(to.resultsFile))
        return QStringLiteral("%1: the records file %2 beside it exists already")
            .arg(shown, QDir::toNativeSeparators(to.resultsFile));
    const bool records = fromRecords.isValid();
    StagedFile product(to.productFile);
    if (!product.error().isEmpty()) return product.error();
    std::unique_ptr<StagedFile> results;
    if (records) {
        results = std::make_unique<StagedFile>(to.resultsFile);
        if (!results->error().isEmpty()) return results->error();
    }
    DatabaseLocation staged = to;
    staged.productFile = product.staged();
    if (records) staged.resultsFile = results->staged();
    {
        Connection target(staged, DbRole::Product, QStringLiteral("dbtool-to"));
        const QString error = FillProductFile(fromProduct, target.db(), rows);
        if (!error.isEmpty()) return error;
    }
    if (records) {
        Connection target(staged, DbRole::Records, QStringLiteral("dbtool-to-records"));
        const QString error = FillRecordsFile(fromRecords, target.db(), rows);
        if (!error.isEmpty()) return error;
    }
    // The records first: a station takes the product file's name as the sign that the folder
    // holds a database.
    if (records)
        if (const QString error = results->Place(); !error.isEmpty()) return error;
    if (const QString error = product.Place(); !error.isEmpty()) {
        if (records) RemoveWithCompanions(to.resultsFile);
        return error;
    }
    return QString();
}

// ---- copy onto a server ------------------------------------------------------------------------

// The first of the program's tables the server database holds; empty when it holds none.
QString FirstOwnTable(QSqlDatabase db, QString& error) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select table_name from information_schema.tables where "
                               "table_schema = current_schema()"))) {
        error = Failed(q);
        return QString();
    }
    QStringList present;
    while (q.next())
        present.append(q.value(0).toString());
    for (const QString& t : OwnTables())
        if (present.contains(t, Qt::CaseInsensitive)) return t;
    return QString();
}

// The migrations commit in transactions of their own and cannot run inside the copy's, so the
// copy is the record tables' migrations, then one transaction with the schema and every row,
// then the product migrations.
QString FillServer(QSqlDatabase fromProduct, QSqlDatabase fromRecords, QSqlDatabase to,
                   qint64& rows) {
    const bool records = fromRecords.isValid();
    if (records)
        if (const QString error = MigrateRecords(to); !error.isEmpty()) return error;
    if (!to.transaction()) return to.lastError().text().trimmed();
    QString error = CreateSchema(to);
    if (error.isEmpty()) error = CopyProduct(fromProduct, to, rows);
    if (error.isEmpty() && records) error = CopyRecords(fromRecords, to, rows);
    if (error.isEmpty() && !to.commit()) error = to.lastError().text().trimmed();
    if (!error.isEmpty()) {
        to.rollback();
        return error;
    }
    return MigrateProductDatabase(to, QString());
}

// What a failed copy made on the server goes again: the database held none of these tables
// before, and a half-copied database would be taken for a product database by the stations.
void DropCopy(QSqlDatabase db) {
    if (!db.transaction()) return;
    for (const QString& t : OwnTables()) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("drop table if exists %1").arg(t))) {
            Err() << "could not drop " << t << " again: " << Failed(q) << "\n";
            db.rollback();
            return;
        }
    }
    db.commit();
}

QString CopyToServer(QSqlDatabase fromProduct, QSqlDatabase fromRecords, const DatabaseLocation& to,
                     const QString& shown, qint64& rows) {
    Connection target(to, DbRole::Product, QStringLiteral("dbtool-to"));
    if (!target.db().open())
        return QStringLiteral("%1: %2").arg(shown, target.db().lastError().text().trimmed());
    QString error;
    const QString present = FirstOwnTable(target.db(), error);
    if (!error.isEmpty()) return QStringLiteral("%1: %2").arg(shown, error);
    if (!present.isEmpty())
        return QStringLiteral("%1 is not empty: it holds the table %2").arg(shown, present);
    error = FillServer(fromProduct, fromRecords, target.db(), rows);
    if (!error.isEmpty()) DropCopy(target.db());
    return error;
}

int Copy(const QString& fromText, const QString& toText) {
    DatabaseLocation from, to;
    if (!ParseLocation(fromText, from) || !ParseLocation(toText, to)) return 2;
    Connection source(from, DbRole::Product, QStringLiteral("dbtool-from"));
    if (const QString error = OpenForReading(source.db(), from, fromText); !error.isEmpty()) {
        Err() << error << "\n";
        return 1;
    }
    // On a server the records are in the same database; beside a file they are in a file of
    // their own, and a folder without one has none.
    std::unique_ptr<Connection> recordsFile;
    QSqlDatabase fromRecords = source.db();
    if (from.engine == DbEngine::Sqlite) {
        fromRecords = QSqlDatabase();
        if (!IsFree(from.resultsFile)) {
            recordsFile = std::make_unique<Connection>(from, DbRole::Records,
                                                       QStringLiteral("dbtool-from-records"));
            fromRecords = recordsFile->db();
            fromRecords.setConnectOptions(QLatin1String(kReadOnlyFile));
            if (!fromRecords.open()) {
                Err() << QDir::toNativeSeparators(from.resultsFile) << ": "
                      << fromRecords.lastError().text() << "\n";
                return 1;
            }
        }
    }
    if (fromRecords.isValid()) {
        const QString shown =
            from.engine == DbEngine::Sqlite ? QDir::toNativeSeparators(from.resultsFile) : fromText;
        bool has = false;
        if (const QString error = HasRecords(fromRecords, shown, has); !error.isEmpty()) {
            Err() << error << "\n";
            return 1;
        }
        if (!has) fromRecords = QSqlDatabase();
    }
    qint64 rows = 0;
    const QString error = to.engine == DbEngine::Postgres
                              ? CopyToServer(source.db(), fromRecords, to, toText, rows)
                              : CopyToFiles(source.db(), fromRecords, to, toText, rows);
    if (!error.isEmpty()) {
        Err() << "cannot copy " << fromText << " to " << toText << ": " << error << "\n";
        return 1;
    }
    Out() << "copied " << fromText << " to " << toText << " (" << rows << " rows)\n";
    return 0;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString command = args[0];
    const StationFolders folders = LocateStationFolders(app.applicationDirPath());
    const QString beside = QDir(folders.databases).filePath(kDatabaseFile);

    if (command == QLatin1String("import-mdb")) {
        if (args.size() < 2 || args.size() > 3) return Usage();
        const QString out = args.size() == 3 ? args[2] : beside;
        const QString error = ImportMdb(args[1], out);
        if (!error.isEmpty()) {
            Err() << error << "\n";
            return 1;
        }
        Out() << "imported " << args[1] << " into " << out << "\n";
        return 0;
    }
    if (command == QLatin1String("create")) {
        if (args.size() > 2) return Usage();
        const QString path = args.size() == 2 ? args[1] : beside;
        if (!IsFree(path)) {
            Err() << path << " exists already\n";
            return 1;
        }
        ProductDatabase db(path);
        const QString error = db.Open(folders.shipped);
        if (!error.isEmpty()) {
            Err() << error << "\n";
            return 1;
        }
        Out() << "created " << path << "\n";
        return 0;
    }
    if (command == QLatin1String("copy")) {
        if (args.size() != 3) return Usage();
        return Copy(args[1], args[2]);
    }
    if (command != QLatin1String("dump") && command != QLatin1String("check")) return Usage();
    if (args.size() > 2) return Usage();
    const QString shown = args.size() == 2 ? args[1] : beside;
    DatabaseLocation location;
    if (!ParseLocation(shown, location)) return 2;
    Connection source(location, DbRole::Product, QStringLiteral("dbtool"));
    if (const QString error = OpenForReading(source.db(), location, shown); !error.isEmpty()) {
        Err() << error << "\n";
        return 1;
    }
    return command == QLatin1String("dump") ? Dump(source.db()) : Check(source.db(), shown);
}
