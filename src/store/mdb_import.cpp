#include "store/mdb_import.h"

#include "common/conversion.h"
#include "store/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>

#include <atomic>
#include <cmath>

namespace {
constexpr int kToolTimeoutMs = 120000;

bool RunTool(const QString& program, const QStringList& args, QByteArray& out, QString* error) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted()) {
        if (error) *error = QStringLiteral("cannot run %1: %2").arg(program, p.errorString());
        return false;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(kToolTimeoutMs)) {
        p.kill();
        p.waitForFinished();
        if (error) *error = QStringLiteral("%1 did not finish").arg(program);
        return false;
    }
    out = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("%1 %2 failed: %3")
                         .arg(program, args.join(' '),
                              QString::fromUtf8(p.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

// A number column's text as the schema stores it: integral reals become integers, anything else
// is left for the strict conversion to report.
QString NumberText(const QString& text) {
    try {
        StrToInt(text);
        return text;
    } catch (const ConversionError&) {
    }
    try {
        const double v = StrToFloat(text);
        if (v == std::trunc(v) && std::fabs(v) < 2147483648.0) return QString::number(qint64(v));
    } catch (const ConversionError&) {
    }
    return text;
}

std::atomic<int> gImportSerial{0};
} // namespace

bool ListMdbTables(const QString& mdbFile, QStringList& tables, QString* error) {
    tables.clear();
    if (!QFileInfo(mdbFile).isFile()) {
        if (error) *error = QStringLiteral("%1 does not exist").arg(mdbFile);
        return false;
    }
    QByteArray out;
    if (!RunTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), mdbFile}, out, error))
        return false;
    for (const QString& line : QString::fromUtf8(out).split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty()) tables.append(line.trimmed());
    return true;
}

bool ReadMdbTable(const QString& mdbFile, const QString& table, DataTable& out, QString* error) {
    out = {};
    QByteArray csv;
    if (!RunTool(QStringLiteral("mdb-export"), {mdbFile, table}, csv, error)) return false;
    try {
        out = ParseCsv(csv);
    } catch (const ConversionError& e) {
        if (error) *error = QStringLiteral("%1, table %2: %3").arg(mdbFile, table, e.text());
        return false;
    }
    return true;
}

DataTable ParseCsv(const QByteArray& utf8) {
    const QString text = QString::fromUtf8(utf8);
    DataTable table;
    QStringList row;
    QString field;
    bool quoted = false;     // inside a quoted field
    bool rowStarted = false; // something of the current row has been seen
    int line = 1;
    const auto endRow = [&] {
        row.append(field);
        field.clear();
        if (table.columns.isEmpty()) {
            table.columns = row;
            for (QString& c : table.columns)
                c = c.trimmed();
        } else if (row.size() != table.columns.size()) {
            throw ConversionError(QStringLiteral("line %1: %2 fields where %3 columns are named")
                                      .arg(line)
                                      .arg(row.size())
                                      .arg(table.columns.size()));
        } else {
            table.rows.append(row);
        }
        row.clear();
        rowStarted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n')) ++line;
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            rowStarted = true;
        } else if (c == QLatin1Char(',')) {
            row.append(field);
            field.clear();
            rowStarted = true;
        } else if (c == QLatin1Char('\n')) {
            if (rowStarted || !field.isEmpty()) endRow();
            ++line;
        } else if (c != QLatin1Char('\r')) {
            field += c;
            rowStarted = true;
        }
    }
    if (quoted) throw ConversionError(QStringLiteral("line %1: unterminated quote").arg(line));
    if (rowStarted || !field.isEmpty()) endRow();
    return table;
}

QString ImportTables(const QMap<QString, DataTable>& tables, const QString& outFile) {
    if (QFileInfo::exists(outFile)) return QStringLiteral("%1 exists already").arg(outFile);
    // Find each table of the schema among the given ones.
    QList<const DataTable*> sources;
    QStringList missing;
    for (const TableSchema& t : DatabaseTables()) {
        const DataTable* found = nullptr;
        for (auto it = tables.begin(); it != tables.end(); ++it)
            if (it.key().compare(t.name, Qt::CaseInsensitive) == 0) found = &it.value();
        if (!found) missing.append(t.name);
        sources.append(found);
    }
    if (!missing.isEmpty())
        return QStringLiteral("missing table(s): %1").arg(missing.join(QStringLiteral(", ")));

    const QString name = QStringLiteral("kximport-%1").arg(++gImportSerial);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(outFile);
        if (!db.open()) {
            error = db.lastError().text();
        } else if (!db.transaction()) {
            error = db.lastError().text();
        } else {
            error = CreateSchema(db);
            for (qsizetype i = 0; error.isEmpty() && i < sources.size(); ++i) {
                const TableSchema& schema = DatabaseTables()[i];
                DataTable data = *sources[i];
                for (qsizetype c = 0; c < data.columns.size(); ++c) {
                    bool number = false;
                    for (const QString& n : schema.numberColumns)
                        number |= n.compare(data.columns[c], Qt::CaseInsensitive) == 0;
                    if (!number) continue;
                    for (QStringList& row : data.rows)
                        row[c] = NumberText(row[c]);
                }
                error = InsertRows(db, schema, data, true);
            }
            if (error.isEmpty() && !db.commit()) error = db.lastError().text();
            if (!error.isEmpty()) db.rollback();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty()) QFile::remove(outFile);
    return error;
}

QString ImportMdb(const QString& mdbFile, const QString& outFile) {
    QString error;
    QStringList present;
    if (!ListMdbTables(mdbFile, present, &error)) return error;
    QStringList missing;
    QMap<QString, QString> names; // schema name -> name in the file
    for (const TableSchema& t : DatabaseTables()) {
        QString found;
        for (const QString& p : present)
            if (p.compare(t.name, Qt::CaseInsensitive) == 0) found = p;
        if (found.isEmpty())
            missing.append(t.name);
        else
            names.insert(t.name, found);
    }
    if (!missing.isEmpty())
        return QStringLiteral("%1 lacks the table(s) %2 (it holds: %3)")
            .arg(mdbFile, missing.join(QStringLiteral(", ")),
                 present.isEmpty() ? QStringLiteral("none") : present.join(QStringLiteral(", ")));
    QMap<QString, DataTable> tables;
    for (auto it = names.begin(); it != names.end(); ++it) {
        DataTable t;
        if (!ReadMdbTable(mdbFile, it.value(), t, &error)) return error;
        tables.insert(it.key(), t);
    }
    error = ImportTables(tables, outFile);
    return error.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(outFile, error);
}
