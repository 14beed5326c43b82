#include "store/results.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <atomic>
#include <cmath>

namespace {

std::atomic<quint64> gNextResults{1};

// The tables and the version of their layout; a file whose version is another program's is
// refused instead of written into.
constexpr int kLayoutVersion = 1;
const char* const kCreate[] = {
    "CREATE TABLE IF NOT EXISTS ResultsInfo (Name TEXT PRIMARY KEY, Value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS UnitRecord ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT, Kind INTEGER NOT NULL, Serial TEXT NOT NULL,"
    " Model TEXT NOT NULL, Operator TEXT NOT NULL, Station TEXT NOT NULL,"
    " SoftwareVersion TEXT NOT NULL, Port TEXT NOT NULL, LineSettings TEXT NOT NULL,"
    " Protocol TEXT NOT NULL, Address INTEGER NOT NULL, Plan TEXT NOT NULL,"
    " Started TEXT NOT NULL, Ended TEXT NOT NULL, Verdict INTEGER NOT NULL,"
    " Failures INTEGER NOT NULL, Details TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS RecordPoint ("
    " RecordID INTEGER NOT NULL REFERENCES UnitRecord(ID), PointIndex INTEGER NOT NULL,"
    " VoltagePercent REAL NOT NULL, CurrentPercent REAL NOT NULL, Angle REAL NOT NULL,"
    " Frequency REAL NOT NULL, Verdict INTEGER NOT NULL, Failures INTEGER NOT NULL,"
    " PRIMARY KEY (RecordID, PointIndex))",
    "CREATE TABLE IF NOT EXISTS RecordQuantity ("
    " RecordID INTEGER NOT NULL REFERENCES UnitRecord(ID), Position INTEGER NOT NULL,"
    " PointIndex INTEGER NOT NULL, Name TEXT NOT NULL, Quantity TEXT NOT NULL,"
    " ValueText TEXT NOT NULL, Unit TEXT NOT NULL, Expected REAL, Measured REAL,"
    " Error REAL, Limit_ REAL, Passed INTEGER NOT NULL, PRIMARY KEY (RecordID, Position))",
    "CREATE INDEX IF NOT EXISTS UnitRecordSerial ON UnitRecord (Serial)",
    "CREATE INDEX IF NOT EXISTS UnitRecordStarted ON UnitRecord (Started)",
};

// Times are kept as ISO text with milliseconds and offset, so that they sort and read back
// exactly.
QString TimeText(const QDateTime& t) {
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QDateTime TimeOf(const QVariant& v) {
    return QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
}

// NaN (a reading that could not be judged) is kept as NULL and read back as NaN.
QVariant Real(double v) {
    return std::isfinite(v) ? QVariant(v) : QVariant(QMetaType(QMetaType::Double));
}
double RealOf(const QVariant& v) {
    return v.isNull() ? std::nan("") : v.toDouble();
}

// A text as bound: Qt binds a null QString as NULL, which the NOT NULL columns refuse, and a
// record's texts are often left unset (no serial number scanned, a check without a plan).
QString Text(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

bool Run(QSqlQuery& q, const QString& sql, const QVariantList& values = {}) {
    if (!q.prepare(sql)) return false;
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q.exec();
}

UnitRecord HeaderOf(const QSqlQuery& q) {
    UnitRecord r;
    r.id = q.value("ID").toLongLong();
    r.kind = static_cast<RecordKind>(q.value("Kind").toInt());
    r.serial = q.value("Serial").toString();
    r.model = q.value("Model").toString();
    r.operatorName = q.value("Operator").toString();
    r.station = q.value("Station").toString();
    r.softwareVersion = q.value("SoftwareVersion").toString();
    r.port = q.value("Port").toString();
    r.lineSettings = q.value("LineSettings").toString();
    r.protocol = q.value("Protocol").toString();
    r.address = q.value("Address").toInt();
    r.plan = q.value("Plan").toString();
    r.started = TimeOf(q.value("Started"));
    r.ended = TimeOf(q.value("Ended"));
    r.verdict = static_cast<Verdict>(q.value("Verdict").toInt());
    r.failures = q.value("Failures").toInt();
    r.details = q.value("Details").toString();
    return r;
}

} // namespace

QString VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("合格");
    case Verdict::Fail:
        return QStringLiteral("不合格");
    case Verdict::NotAnswering:
        return QStringLiteral("无应答");
    case Verdict::None:
        break;
    }
    return QStringLiteral("未判定");
}

ResultsDatabase::ResultsDatabase(QString path)
    : path_(std::move(path)), connection_(QStringLiteral("kxresults-%1").arg(gNextResults++)) {}

ResultsDatabase::~ResultsDatabase() {
    if (QSqlDatabase::contains(connection_)) QSqlDatabase::removeDatabase(connection_);
}

QString ResultsDatabase::lastError() const {
    return lastError_;
}

bool ResultsDatabase::Fail(const QString& what, const QString& why) {
    lastError_ = QStringLiteral("%1：%2（%3）").arg(QDir::toNativeSeparators(path_), what, why);
    return false;
}

QString ResultsDatabase::Open() {
    lastError_.clear();
    const QFileInfo file(path_);
    const bool existed = file.exists() && file.size() > 0;
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        Fail(QStringLiteral("无法打开检验记录数据库"), db.lastError().text());
        return lastError_;
    }
    QSqlQuery q(db);
    if (existed) {
        // A damaged file, or one that is not ours, is refused: writing into it could lose what
        // it holds.
        if (!Run(q, QStringLiteral("PRAGMA quick_check")) || !q.next() ||
            q.value(0).toString() != QStringLiteral("ok")) {
            db.close();
            Fail(QStringLiteral("检验记录数据库已损坏"), q.lastError().text().isEmpty()
                                                             ? QStringLiteral("完整性检查未通过")
                                                             : q.lastError().text());
            return lastError_;
        }
        if (!Run(q, QStringLiteral("SELECT Value FROM ResultsInfo WHERE Name = 'layout'")) ||
            !q.next() || q.value(0).toInt() != kLayoutVersion) {
            db.close();
            Fail(QStringLiteral("不是检验记录数据库"), QStringLiteral("缺少或不认识的版本"));
            return lastError_;
        }
    }
    db.transaction();
    for (const char* statement : kCreate) {
        if (!Run(q, QLatin1String(statement))) {
            db.rollback();
            Fail(QStringLiteral("无法建立检验记录数据库"), q.lastError().text());
            return lastError_;
        }
    }
    if (!Run(q,
             QStringLiteral("INSERT OR IGNORE INTO ResultsInfo (Name, Value) VALUES ('layout', ?)"),
             {kLayoutVersion}) ||
        !db.commit()) {
        db.rollback();
        Fail(QStringLiteral("无法建立检验记录数据库"), q.lastError().text());
        return lastError_;
    }
    return {};
}

bool ResultsDatabase::Add(UnitRecord& record) {
    lastError_.clear();
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.isOpen()) return Fail(QStringLiteral("检验记录未保存"), QStringLiteral("数据库未打开"));
    if (!db.transaction()) return Fail(QStringLiteral("检验记录未保存"), db.lastError().text());
    QSqlQuery q(db);
    const auto failed = [&] {
        const QString why = q.lastError().text();
        db.rollback();
        return Fail(QStringLiteral("检验记录未保存"), why);
    };
    if (!Run(q,
             QStringLiteral(
                 "INSERT INTO UnitRecord (Kind, Serial, Model, Operator, Station, SoftwareVersion,"
                 " Port, LineSettings, Protocol, Address, Plan, Started, Ended, Verdict, Failures,"
                 " Details) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
             {int(record.kind), Text(record.serial), Text(record.model), Text(record.operatorName),
              Text(record.station), Text(record.softwareVersion), Text(record.port),
              Text(record.lineSettings), Text(record.protocol), record.address, Text(record.plan),
              Text(TimeText(record.started)), Text(TimeText(record.ended)), int(record.verdict),
              record.failures, Text(record.details)}))
        return failed();
    const qint64 id = q.lastInsertId().toLongLong();
    for (const RecordPoint& p : record.points) {
        if (!Run(q,
                 QStringLiteral("INSERT INTO RecordPoint (RecordID, PointIndex, VoltagePercent,"
                                " CurrentPercent, Angle, Frequency, Verdict, Failures)"
                                " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                 {id, p.index, p.voltagePercent, p.currentPercent, p.angle, p.frequency,
                  int(p.verdict), p.failures}))
            return failed();
    }
    for (int i = 0; i < record.quantities.size(); ++i) {
        const RecordQuantity& c = record.quantities[i];
        if (!Run(q,
                 QStringLiteral("INSERT INTO RecordQuantity (RecordID, Position, PointIndex, Name,"
                                " Quantity, ValueText, Unit, Expected, Measured, Error, Limit_,"
                                " Passed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {id, i, c.point, Text(c.name), Text(c.quantity), Text(c.text), Text(c.unit),
                  Real(c.expected), Real(c.measured), Real(c.error), Real(c.limit),
                  c.passed ? 1 : 0}))
            return failed();
    }
    // A commit that fails (the disk filled up as the pages went out) reports on the connection,
    // not on the last statement.
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        return Fail(QStringLiteral("检验记录未保存"), why);
    }
    record.id = id;
    return true;
}

bool ResultsDatabase::Select(const RecordFilter& filter, QList<UnitRecord>& out) {
    out.clear();
    lastError_.clear();
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString sql = QStringLiteral("SELECT * FROM UnitRecord WHERE 1 = 1");
    QVariantList values;
    if (!filter.serial.isEmpty()) {
        // instr, not LIKE: a serial number with % or _ is searched for as typed.
        sql += QStringLiteral(" AND instr(Serial, ?) > 0");
        values << filter.serial;
    }
    if (!filter.model.isEmpty()) {
        sql += QStringLiteral(" AND Model = ?");
        values << filter.model;
    }
    if (filter.from.isValid()) {
        sql += QStringLiteral(" AND substr(Started, 1, 10) >= ?");
        values << filter.from.toString(Qt::ISODate);
    }
    if (filter.to.isValid()) {
        sql += QStringLiteral(" AND substr(Started, 1, 10) <= ?");
        values << filter.to.toString(Qt::ISODate);
    }
    if (filter.verdict) {
        sql += QStringLiteral(" AND Verdict = ?");
        values << int(*filter.verdict);
    }
    if (filter.kind) {
        sql += QStringLiteral(" AND Kind = ?");
        values << int(*filter.kind);
    }
    sql += QStringLiteral(" ORDER BY ID DESC");
    QSqlQuery q(db);
    if (!Run(q, sql, values)) return Fail(QStringLiteral("无法读取检验记录"), q.lastError().text());
    while (q.next())
        out.append(HeaderOf(q));
    return true;
}

std::optional<UnitRecord> ResultsDatabase::Get(qint64 id) {
    lastError_.clear();
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    // A record that is not there is no failure; a statement that fails says why.
    const auto failed = [&] {
        Fail(QStringLiteral("无法读取检验记录"), q.lastError().text());
        return std::nullopt;
    };
    if (!Run(q, QStringLiteral("SELECT * FROM UnitRecord WHERE ID = ?"), {id})) return failed();
    if (!q.next()) return std::nullopt;
    UnitRecord r = HeaderOf(q);
    if (!Run(q, QStringLiteral("SELECT * FROM RecordPoint WHERE RecordID = ? ORDER BY PointIndex"),
             {id}))
        return failed();
    while (q.next()) {
        RecordPoint p;
        p.index = q.value("PointIndex").toInt();
        p.voltagePercent = q.value("VoltagePercent").toDouble();
        p.currentPercent = q.value("CurrentPercent").toDouble();
        p.angle = q.value("Angle").toDouble();
        p.frequency = q.value("Frequency").toDouble();
        p.verdict = static_cast<Verdict>(q.value("Verdict").toInt());
        p.failures = q.value("Failures").toInt();
        r.points.append(p);
    }
    if (!Run(q, QStringLiteral("SELECT * FROM RecordQuantity WHERE RecordID = ? ORDER BY Position"),
             {id}))
        return failed();
    while (q.next()) {
        RecordQuantity c;
        c.point = q.value("PointIndex").toInt();
        c.name = q.value("Name").toString();
        c.quantity = q.value("Quantity").toString();
        c.text = q.value("ValueText").toString();
        c.unit = q.value("Unit").toString();
        c.expected = RealOf(q.value("Expected"));
        c.measured = RealOf(q.value("Measured"));
        c.error = RealOf(q.value("Error"));
        c.limit = RealOf(q.value("Limit_"));
        c.passed = q.value("Passed").toInt() != 0;
        r.quantities.append(c);
    }
    return r;
}
