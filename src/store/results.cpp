#include "store/results.h"

#include "store/migrations.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>

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
    r.key = q.value("RecordKey").toString();
    return r;
}

// The queue file: the records as JSON, every field, so that what is sent later is what the
// station would have stored.
QJsonValue JsonReal(double v) {
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}
double RealOfJson(const QJsonValue& v) {
    return v.isDouble() ? v.toDouble() : std::nan("");
}

QJsonObject ToJson(const UnitRecord& r) {
    QJsonArray points, quantities;
    for (const RecordPoint& p : r.points)
        points.append(QJsonObject{{"index", p.index},
                                  {"voltagePercent", p.voltagePercent},
                                  {"currentPercent", p.currentPercent},
                                  {"angle", p.angle},
                                  {"frequency", p.frequency},
                                  {"verdict", int(p.verdict)},
                                  {"failures", p.failures}});
    for (const RecordQuantity& c : r.quantities)
        quantities.append(QJsonObject{{"point", c.point},
                                      {"name", c.name},
                                      {"quantity", c.quantity},
                                      {"text", c.text},
                                      {"unit", c.unit},
                                      {"expected", JsonReal(c.expected)},
                                      {"measured", JsonReal(c.measured)},
                                      {"error", JsonReal(c.error)},
                                      {"limit", JsonReal(c.limit)},
                                      {"passed", c.passed}});
    return QJsonObject{{"key", r.key},
                       {"kind", int(r.kind)},
                       {"serial", r.serial},
                       {"model", r.model},
                       {"operator", r.operatorName},
                       {"station", r.station},
                       {"softwareVersion", r.softwareVersion},
                       {"port", r.port},
                       {"lineSettings", r.lineSettings},
                       {"protocol", r.protocol},
                       {"address", r.address},
                       {"plan", r.plan},
                       {"started", TimeText(r.started)},
                       {"ended", TimeText(r.ended)},
                       {"verdict", int(r.verdict)},
                       {"failures", r.failures},
                       {"details", r.details},
                       {"points", points},
                       {"quantities", quantities}};
}

UnitRecord FromJson(const QJsonObject& o) {
    UnitRecord r;
    r.key = o["key"].toString();
    r.kind = static_cast<RecordKind>(o["kind"].toInt());
    r.serial = o["serial"].toString();
    r.model = o["model"].toString();
    r.operatorName = o["operator"].toString();
    r.station = o["station"].toString();
    r.softwareVersion = o["softwareVersion"].toString();
    r.port = o["port"].toString();
    r.lineSettings = o["lineSettings"].toString();
    r.protocol = o["protocol"].toString();
    r.address = o["address"].toInt();
    r.plan = o["plan"].toString();
    r.started = TimeOf(o["started"].toString());
    r.ended = TimeOf(o["ended"].toString());
    r.verdict = static_cast<Verdict>(o["verdict"].toInt());
    r.failures = o["failures"].toInt();
    r.details = o["details"].toString();
    for (const QJsonValue& v : o["points"].toArray()) {
        const QJsonObject p = v.toObject();
        r.points.append({p["index"].toInt(), p["voltagePercent"].toDouble(),
                         p["currentPercent"].toDouble(), p["angle"].toDouble(),
                         p["frequency"].toDouble(), static_cast<Verdict>(p["verdict"].toInt()),
                         p["failures"].toInt()});
    }
    for (const QJsonValue& v : o["quantities"].toArray()) {
        const QJsonObject c = v.toObject();
        r.quantities.append({c["point"].toInt(), c["name"].toString(), c["quantity"].toString(),
                             c["text"].toString(), c["unit"].toString(), RealOfJson(c["expected"]),
                             RealOfJson(c["measured"]), RealOfJson(c["error"]),
                             RealOfJson(c["limit"]), c["passed"].toBool()});
    }
    return r;
}

QList<UnitRecord> ReadQueue(const QString& path) {
    QList<UnitRecord> records;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) return records;
    for (const QJsonValue& v : QJsonDocument::fromJson(f.readAll()).array())
        records.append(FromJson(v.toObject()));
    return records;
}

// The whole queue, written beside and renamed over the old one: a station that dies while
// writing keeps the queue it had.
bool WriteQueue(const QString& path, const QList<UnitRecord>& records) {
    if (records.isEmpty()) return !QFile::exists(path) || QFile::remove(path);
    QJsonArray all;
    for (const UnitRecord& r : records)
        all.append(ToJson(r));
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(all).toJson()) >= 0 && f.commit();
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
    : ResultsDatabase(
          [&] {
              DatabaseLocation l = SqliteLocation(QFileInfo(path).absolutePath());
              l.resultsFile = path;
              return l;
          }(),
          QString()) {}

ResultsDatabase::ResultsDatabase(DatabaseLocation location, QString queuePath)
    : location_(std::move(location)), queuePath_(std::move(queuePath)),
      path_(location_.engine == DbEngine::Sqlite ? location_.resultsFile : location_.Describe()),
      connection_(QStringLiteral("kxresults-%1").arg(gNextResults++)) {}

std::unique_ptr<ResultsDatabase> ResultsDatabase::ForStation(const DatabaseLocation& location,
                                                             const QString& dataDir) {
    const QDir dir(dataDir);
    if (location.engine == DbEngine::Sqlite)
        return std::make_unique<ResultsDatabase>(
            QDir(location.folder.isEmpty() ? dataDir : location.folder)
                .filePath(QLatin1String(kResultsFile)));
    return std::make_unique<ResultsDatabase>(location,
                                             dir.filePath(QLatin1String(kRecordQueueFile)));
}

ResultsDatabase::~ResultsDatabase() {
    if (QSqlDatabase::contains(connection_)) QSqlDatabase::removeDatabase(connection_);
}

QString ResultsDatabase::lastError() const {
    return lastError_;
}

bool ResultsDatabase::Fail(const QString& what, const QString& why) {
    lastError_ = QCoreApplication::translate("Records", "%1：%2（%3）")
                     .arg(QDir::toNativeSeparators(path_), what, why);
    return false;
}

QString ResultsDatabase::Open() {
    lastError_.clear();
    const bool sqlite = location_.engine == DbEngine::Sqlite;
    const QFileInfo file(path_);
    const bool existed = sqlite && file.exists() && file.size() > 0;
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : AddConnection(location_, DbRole::Records, connection_);
    if (!db.open()) {
        if (sqlite)
            Fail(QCoreApplication::translate("Records", "无法打开检验记录数据库"),
                 db.lastError().text());
        else
            Fail(QCoreApplication::translate("Records", "无法连接数据库服务器 %1")
                     .arg(location_.Server()),
                 db.lastError().text().trimmed());
        return lastError_;
    }
    QSqlQuery q(db);
    if (existed) {
        // A damaged file, or one that is not ours, is refused: writing into it could lose what
        // it holds.
        if (!Run(q, QStringLiteral("PRAGMA quick_check")) || !q.next() ||
            q.value(0).toString() != QStringLiteral("ok")) {
            db.close();
            Fail(QCoreApplication::translate("Records", "检验记录数据库已损坏"),
                 q.lastError().text().isEmpty()
                     ? QCoreApplication::translate("Records", "完整性检查未通过")
                     : q.lastError().text());
            return lastError_;
        }
        if (!Run(q, QStringLiteral("SELECT Value FROM ResultsInfo WHERE Name = 'layout'")) ||
            !q.next() || q.value(0).toInt() != 1) {
            db.close();
            Fail(QCoreApplication::translate("Records", "不是检验记录数据库"),
                 QCoreApplication::translate("Records", "缺少或不认识的版本"));
            return lastError_;
        }
    }
    if (const QString error = MigrateRecords(db); !error.isEmpty()) {
        Fail(QCoreApplication::translate("Records", "无法建立检验记录数据库"), error);
        return lastError_;
    }
    SendQueued();
    return {};
}

bool ResultsDatabase::Reconnect() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    db.close();
    return db.open();
}

bool ResultsDatabase::Store(UnitRecord& record, QString& why, bool& lost) {
    lost = false;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.isOpen()) {
        why = QCoreApplication::translate("Records", "数据库未打开");
        lost = location_.engine == DbEngine::Postgres;
        return false;
    }
    if (!db.transaction()) {
        why = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    const auto failed = [&] {
        why = q.lastError().text();
        db.rollback();
        return false;
    };
    // A record already there under its key (sent before the queue could be rewritten) is not
    // stored again.
    if (!Run(q,
             QStringLiteral(
                 "INSERT INTO UnitRecord (Kind, Serial, Model, Operator, Station, SoftwareVersion,"
                 " Port, LineSettings, Protocol, Address, Plan, Started, Ended, Verdict, Failures,"
                 " Details, RecordKey) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                 " ON CONFLICT (RecordKey) DO NOTHING RETURNING ID"),
             {int(record.kind), Text(record.serial), Text(record.model), Text(record.operatorName),
              Text(record.station), Text(record.softwareVersion), Text(record.port),
              Text(record.lineSettings), Text(record.protocol), record.address, Text(record.plan),
              Text(TimeText(record.started)), Text(TimeText(record.ended)), int(record.verdict),
              record.failures, Text(record.details), record.key}))
        return failed();
    if (!q.next()) {
        if (q.lastError().isValid()) return failed();
        db.rollback();
        if (!Run(q, QStringLiteral("SELECT ID FROM UnitRecord WHERE RecordKey = ?"),
                 {record.key}) ||
            !q.next()) {
            why = q.lastError().text();
            return false;
        }
        record.id = q.value(0).toLongLong();
        return true;
    }
    const qint64 id = q.value(0).toLongLong();
    q.finish();
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
        why = db.lastError().text();
        db.rollback();
        return false;
    }
    record.id = id;
    return true;
}

bool ResultsDatabase::Add(UnitRecord& record) {
    lastError_.clear();
    // Every Add is a record of its own, even of a record added before.
    record.key = QUuid::createUuid().toString(QUuid::WithoutBraces);
    // The queue goes first, so that the records reach the server in the order they were made.
    const auto enqueue = [&] {
        QList<UnitRecord> queue = ReadQueue(queuePath_);
        queue.append(record);
        record.id = 0;
        if (WriteQueue(queuePath_, queue)) return true;
        return Fail(QCoreApplication::translate("Records", "检验记录未保存"),
                    QCoreApplication::translate("Records", "暂存文件 %1 无法写入")
                        .arg(QDir::toNativeSeparators(queuePath_)));
    };
    if (queued() > 0 && (SendQueued(), queued() > 0)) return enqueue();
    QString why;
    bool lost = false;
    if (Store(record, why, lost)) return true;
    // A server that went away and came back has left this connection dead: one more try on a
    // new one. A server that does not answer at all gets the record queued.
    if (location_.engine == DbEngine::Postgres) {
        if (Reconnect() && Store(record, why, lost)) return true;
        if (!queuePath_.isEmpty() && !QSqlDatabase::database(connection_, false).isOpen())
            return enqueue();
    }
    return Fail(QCoreApplication::translate("Records", "检验记录未保存"), why);
}

int ResultsDatabase::queued() const {
    return queuePath_.isEmpty() || !QFile::exists(queuePath_) ? 0
                                                              : int(ReadQueue(queuePath_).size());
}

int ResultsDatabase::SendQueued() {
    QList<UnitRecord> queue = ReadQueue(queuePath_);
    if (queue.isEmpty()) return 0;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.isOpen() && !Reconnect()) return 0;
    int sent = 0;
    while (!queue.isEmpty()) {
        QString why;
        bool lost = false;
        if (!Store(queue.first(), why, lost) && !(Reconnect() && Store(queue.first(), why, lost)))
            break;
        queue.removeFirst();
        ++sent;
        // Rewritten after each record: at most the one in flight can be sent twice, and its key
        // keeps it single.
        if (!WriteQueue(queuePath_, queue)) break;
    }
    return sent;
}

bool ResultsDatabase::Select(const RecordFilter& filter, QList<UnitRecord>& out) {
    out.clear();
    lastError_.clear();
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString sql = QStringLiteral("SELECT * FROM UnitRecord WHERE 1 = 1");
    QVariantList values;
    if (!filter.serial.isEmpty()) {
        // instr, not LIKE: a serial number with % or _ is searched for as typed.
        sql += location_.engine == DbEngine::Postgres ? QStringLiteral(" AND strpos(Serial, ?) > 0")
                                                      : QStringLiteral(" AND instr(Serial, ?) > 0");
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
    if (!Run(q, sql, values))
        return Fail(QCoreApplication::translate("Records", "无法读取检验记录"),
                    q.lastError().text());
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
        Fail(QCoreApplication::translate("Records", "无法读取检验记录"), q.lastError().text());
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
