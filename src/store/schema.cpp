#include "store/schema.h"

#include "common/conversion.h"
#include "store/db_location.h"
#include "store/migrations.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <atomic>
#include <filesystem>
#include <system_error>

const QList<TableSchema>& DatabaseTables() {
    static const QList<TableSchema> tables = {
        {"Config",
         {"CPXH", "FS", "BTLGS", "JXMS", "UPT", "ICT", "CTNUM", "XLJSFS"},
         {"BTLGS", "JXMS", "UPT", "ICT", "CTNUM", "XLJSFS"}},
        {"Fstable",
         {"ID", "FS", "UBLFX", "UBL", "IBLFX", "IBL", "PBLFX", "PBL", "EBLFX", "EBL", "TXXY",
          "SDBJXS", "CSLXSN", "FDBDSN", "CSFHSN", "GLYSFXSN"},
         {"ID", "UBL", "IBL", "PBL", "EBL", "TXXY", "SDBJXS"}},
        {"Cstable", {"ID", "FS", "CSMC"}, {"ID"}},
        {"Outpar",
         {"ID", "CSMC", "ADDR", "ZS", "FH", "DW", "BL", "CHECKMC"},
         {"ID", "ADDR", "ZS", "FH", "BL"}},
        {"DL645Data_97",
         {"ID", "DATAFORMAT", "CSMC", "DW", "INFONUM", "CHECKMC"},
         {"ID", "INFONUM"}},
        {"DL645Data_07", {"ID", "DATAFORMAT", "CSMC", "DW", "INFONUM", "CHECKMC"}, {"ID"}},
        {"usertable", {"username", "userpass"}, {}},
    };
    return tables;
}

const TableSchema* FindTable(const QString& name) {
    for (const TableSchema& t : DatabaseTables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

namespace {
std::atomic<int> gCreationSerial{0};

// SQLite's companions of a database file; a rollback journal or a log left beside a file is
// applied to whatever file next has that name.
const char* const kCompanions[] = {"-journal", "-wal"};

QString Failed(const QSqlQuery& q) {
    return q.lastError().text();
}

std::filesystem::path FsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

void RemoveIfPresent(const QString& path) {
    if (QFileInfo::exists(path)) QFile::remove(path);
}
} // namespace

QString CreatePlanTable(QSqlDatabase db) {
    if (HasPlanTable(db)) return QString();
    // Names are stored trimmed, so the key on the stored texts is the key on the names.
    QSqlQuery q(db);
    if (!q.exec(EngineSql(db, "create table if not exists TestPlan (Model TEXT NOT NULL, Name TEXT "
                              "NOT NULL, Position INTEGER NOT NULL, VoltagePercent %REAL% NOT "
                              "NULL, CurrentPercent %REAL% NOT NULL, Angle %REAL% NOT NULL, "
                              "Frequency %REAL% NOT NULL, primary key (Model, Name, Position))")))
        return QStringLiteral("table %1: %2").arg(QLatin1String(kPlanTable), Failed(q));
    return QString();
}

bool HasPlanTable(QSqlDatabase db) {
    return HasTable(db, QLatin1String(kPlanTable));
}

QString CreateSchema(QSqlDatabase db) {
    const bool postgres = EngineOf(db) == DbEngine::Postgres;
    for (const TableSchema& t : DatabaseTables()) {
        QStringList defs;
        for (const QString& c : t.columns) {
            if (c == QLatin1String("ID"))
                defs.append(EngineSql(db, "ID %ID%"));
            else
                defs.append(c + (t.numberColumns.contains(c) ? QStringLiteral(" INTEGER")
                                                             : QStringLiteral(" TEXT")));
        }
        // SQLite numbers every row; the models keep the order they were entered in through it,
        // so PostgreSQL gets the same column under the same name.
        if (postgres && !t.hasId()) defs.append(QStringLiteral("rowid BIGSERIAL"));
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("create table %1 (%2)").arg(t.name, defs.join(", "))))
            return QStringLiteral("table %1: %2").arg(t.name, Failed(q));
    }
    return CreatePlanTable(db);
}

QString CheckSchema(QSqlDatabase db) {
    const bool postgres = EngineOf(db) == DbEngine::Postgres;
    for (const TableSchema& t : DatabaseTables()) {
        QSqlQuery q(db);
        const bool ran = postgres
                             ? q.prepare(QStringLiteral(
                                   "select column_name from information_schema.columns where "
                                   "table_schema = current_schema() and table_name = lower(?)")) &&
                                   (q.addBindValue(t.name), q.exec())
                             : q.exec(QStringLiteral("pragma table_info(%1)").arg(t.name));
        if (!ran) return Failed(q);
        QStringList present;
        while (q.next())
            present.append(q.value(postgres ? 0 : 1).toString().toUpper());
        if (present.isEmpty()) return QStringLiteral("table %1 is missing").arg(t.name);
        for (const QString& c : t.columns)
            if (!present.contains(c.toUpper()))
                return QStringLiteral("column %1 of table %2 is missing").arg(c, t.name);
    }
    return QString();
}

QString InsertRows(QSqlDatabase db, const TableSchema& table, const DataTable& data,
                   bool emptyAsNull) {
    // Position of each schema column in the data, -1 when absent.
    QList<qsizetype> from;
    QStringList names, marks;
    for (const QString& c : table.columns) {
        qsizetype at = -1;
        for (qsizetype i = 0; i < data.columns.size(); ++i)
            if (data.columns[i].compare(c, Qt::CaseInsensitive) == 0) at = i;
        if (at < 0) continue;
        from.append(at);
        names.append(c);
        marks.append(QStringLiteral("?"));
    }
    if (names.isEmpty())
        return data.rows.isEmpty()
                   ? QString()
                   : QStringLiteral("%1: the data names none of its columns").arg(table.name);
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("insert into %1(%2) values(%3)")
                       .arg(table.name, names.join(','), marks.join(','))))
        return QStringLiteral("%1: %2").arg(table.name, Failed(q));
    for (qsizetype r = 0; r < data.rows.size(); ++r) {
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString text = data.rows[r].at(from[i]);
            if (table.numberColumns.contains(names[i]) && emptyAsNull && text.trimmed().isEmpty()) {
                q.addBindValue(QVariant(QMetaType::fromType<int>()));
            } else if (table.numberColumns.contains(names[i])) {
                try {
                    q.addBindValue(StrToInt(text));
                } catch (const ConversionError& e) {
                    return QStringLiteral("%1 row %2, column %3: %4")
                        .arg(table.name)
                        .arg(r + 1)
                        .arg(names[i], e.text());
                }
            } else {
                q.addBindValue(text);
            }
        }
        if (!q.exec())
            return QStringLiteral("%1 row %2: %3").arg(table.name).arg(r + 1).arg(Failed(q));
    }
    return ResyncIds(db, table);
}

QString ResyncIds(QSqlDatabase db, const TableSchema& table) {
    // PostgreSQL's counter of an identity column does not see rows inserted with their ID; the
    // next row the program adds would take an ID that is already there.
    if (EngineOf(db) != DbEngine::Postgres || !table.hasId()) return QString();
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select setval(pg_get_serial_sequence('%1', 'id'), "
                               "coalesce((select max(ID) from %1), 0) + 1, false)")
                    .arg(table.name)))
        return QStringLiteral("%1: %2").arg(table.name, Failed(q));
    return QString();
}

QString CreateSeededDatabase(QSqlDatabase db, const QString& seedDir) {
    return MigrateProductDatabase(db, seedDir);
}

QString CreateSeededDatabaseFile(const QString& path, const QString& seedDir) {
    const QFileInfo target(path);
    const QDir folder = target.absoluteDir();
    const QString partPrefix = QLatin1Char('.') + target.fileName() + QLatin1Char('.');

    // What a creation that died left: its temporary file (six random characters) and journal.
    const QRegularExpression leftover(QLatin1Char('^') + QRegularExpression::escape(partPrefix) +
                                      QStringLiteral("[^.]{6}\\.part(-journal|-wal)?$"));
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (leftover.match(entry).hasMatch()) QFile::remove(folder.filePath(entry));

    QTemporaryFile reserve(folder.filePath(partPrefix + QStringLiteral("XXXXXX.part")));
    reserve.setAutoRemove(false);
    if (!reserve.open()) return reserve.fileName() + QStringLiteral(": ") + reserve.errorString();
    const QString part = reserve.fileName();
    reserve.close();

    const QString connection = QStringLiteral("kxcreate-%1").arg(++gCreationSerial);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(part);
        error = db.open() ? CreateSeededDatabase(db, seedDir) : db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);

    if (error.isEmpty()) {
        // The reservation is private to the owner; the database gets the modes of the file it
        // replaces, or those SQLite gives a new one.
        QFile::setPermissions(part, target.exists()
                                        ? QFile::permissions(path)
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther);
        for (const char* companion : kCompanions)
            RemoveIfPresent(path + QLatin1String(companion));
        std::error_code ec;
        std::filesystem::rename(FsPath(part), FsPath(path), ec);
        if (ec) error = path + QStringLiteral(": ") + QString::fromStdString(ec.message());
    }
    if (!error.isEmpty()) {
        QFile::remove(part);
        for (const char* companion : kCompanions)
            RemoveIfPresent(part + QLatin1String(companion));
    }
    return error;
}
