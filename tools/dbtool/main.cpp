// kx7410-dbtool: looks into a product database from the command line.
//   dump [DB]            every table as CSV
//   check [DB]           rows that break the codings; exit status 1 when there are any
//   import-mdb FILE [OUT] a Jet Config.mdb into a new Config.db
//   create [DB]          a new database with the seed rows of the data folder beside this program
//                        (an empty file at DB is replaced)
// DB and OUT default to Config.db beside this program.

#include "store/database.h"
#include "store/db_check.h"
#include "store/mdb_import.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextStream>

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
             "       kx7410-dbtool create [DB]\n";
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

// Opens an existing database read-only for dump and check; an empty text on success.
QString OpenExisting(QSqlDatabase& db, const QString& path) {
    if (!QFileInfo(path).isFile()) return QStringLiteral("%1 does not exist").arg(path);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) return QStringLiteral("%1: %2").arg(path, db.lastError().text());
    const QString error = CheckSchema(db);
    return error.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(path, error);
}

int Dump(QSqlDatabase db) {
    for (const TableSchema& t : DatabaseTables()) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("select * from %1 order by %2")
                        .arg(t.name, t.hasId() ? QStringLiteral("ID") : QStringLiteral("rowid")))) {
            Err() << t.name << ": " << q.lastError().text() << "\n";
            return 1;
        }
        Out() << "# " << t.name << "\n";
        const QSqlRecord rec = q.record();
        QStringList header;
        for (int i = 0; i < rec.count(); ++i)
            header.append(rec.fieldName(i));
        Out() << header.join(',') << "\n";
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < rec.count(); ++i)
                row.append(CsvField(q.value(i).toString()));
            Out() << row.join(',') << "\n";
        }
        Out() << "\n";
    }
    return 0;
}

int Check(QSqlDatabase db, const QString& path) {
    const QStringList problems = CheckDatabase(db);
    for (const QString& p : problems)
        Out() << p << "\n";
    if (problems.isEmpty()) {
        Out() << path << ": no problems found\n";
        return 0;
    }
    Out() << path << ": " << problems.size() << " problem(s)\n";
    return 1;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString command = args[0];
    const QString beside = QDir(app.applicationDirPath()).filePath(kDatabaseFile);

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
        // An empty file is what a creation cut short left; it holds nothing to keep.
        const QFileInfo existing(path);
        if (existing.exists() && !(existing.isFile() && existing.size() == 0)) {
            Err() << path << " exists already\n";
            return 1;
        }
        ProductDatabase db(path);
        const QString error = db.Open(QDir(app.applicationDirPath()).filePath("data"));
        if (!error.isEmpty()) {
            Err() << error << "\n";
            return 1;
        }
        Out() << "created " << path << "\n";
        return 0;
    }
    if (command != QLatin1String("dump") && command != QLatin1String("check")) return Usage();
    if (args.size() > 2) return Usage();
    const QString path = args.size() == 2 ? args[1] : beside;
    int status = 1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "dbtool");
        const QString error = OpenExisting(db, path);
        if (!error.isEmpty())
            Err() << error << "\n";
        else
            status = command == QLatin1String("dump") ? Dump(db) : Check(db, path);
        db.close();
    }
    QSqlDatabase::removeDatabase("dbtool");
    return status;
}
