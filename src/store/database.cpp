#include "store/database.h"

#include "common/conversion.h"
#include "store/passwords.h"
#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <iterator>

namespace {
std::atomic<quint64> gNextInstance{1};
std::atomic<quint64> gNextThreadSerial{1};

// The connections opened by the current thread. A connection may only be used and removed in
// the thread that opened it, so each thread removes its own when it finishes.
struct ThreadConnections {
    quint64 serial = gNextThreadSerial++;
    QStringList names;
    bool watching = false; // the thread's finished signal removes the connections

    void Remove(const QString& name) {
        if (QSqlDatabase::contains(name)) QSqlDatabase::removeDatabase(name);
        names.removeAll(name);
    }
    void RemoveAll() {
        while (!names.isEmpty())
            Remove(names.first());
    }
    ~ThreadConnections() { RemoveAll(); }
};
thread_local ThreadConnections tConnections;
// Statements of this thread inside a transaction: a dead connection may only be replaced
// between transactions, never in the middle of one.
thread_local int tTransactionDepth = 0;

QString ConnectionName(quint64 instance) {
    return QStringLiteral("kxdb-%1-%2").arg(instance).arg(tConnections.serial);
}

QString Text(const QSqlQuery& q, const char* column) {
    const int i = q.record().indexOf(QLatin1String(column));
    return i < 0 ? QString() : q.value(i).toString();
}
QString Trimmed(const QSqlQuery& q, const char* column) {
    return Text(q, column).trimmed();
}
int Number(const QSqlQuery& q, const char* column) {
    return StrToInt(Text(q, column));
}
// A real column; a text stored there by another program must read as a number.
double Real(const QSqlQuery& q, const char* column) {
    const QVariant v = q.value(q.record().indexOf(QLatin1String(column)));
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::LongLong:
    case QMetaType::Int:
        return v.toDouble();
    default:
        return StrToFloat(v.toString());
    }
}

template <std::size_t N> bool OneOf(double value, const double (&choices)[N]) {
    return std::find(std::begin(choices), std::end(choices), value) != std::end(choices);
}

ProductModel ReadModel(const QSqlQuery& q) {
    ProductModel m;
    m.cpxh = Trimmed(q, "CPXH");
    m.fs = Trimmed(q, "FS");
    m.btlgs = Number(q, "BTLGS");
    m.jxms = Number(q, "JXMS");
    m.upt = Number(q, "UPT");
    m.ict = Number(q, "ICT");
    m.ctnum = Number(q, "CTNUM");
    m.xljsfs = Number(q, "XLJSFS");
    return m;
}

Scheme ReadScheme(const QSqlQuery& q) {
    Scheme s;
    s.id = Number(q, "ID");
    s.fs = Trimmed(q, "FS");
    s.ublfx = Trimmed(q, "UBLFX");
    s.ubl = Number(q, "UBL");
    s.iblfx = Trimmed(q, "IBLFX");
    s.ibl = Number(q, "IBL");
    s.pblfx = Trimmed(q, "PBLFX");
    s.pbl = Number(q, "PBL");
    s.eblfx = Trimmed(q, "EBLFX");
    s.ebl = Number(q, "EBL");
    s.txxy = Number(q, "TXXY");
    s.sdbjxs = Number(q, "SDBJXS");
    s.cslxsn = Trimmed(q, "CSLXSN");
    s.fdbdsn = Trimmed(q, "FDBDSN");
    s.csfhsn = Trimmed(q, "CSFHSN");
    s.glysfxsn = Trimmed(q, "GLYSFXSN");
    return s;
}

OutputParameterRow ReadParameter(const QSqlQuery& q) {
    OutputParameterRow r;
    r.id = Number(q, "ID");
    r.parameter.csmc = Trimmed(q, "CSMC");
    r.parameter.addr = Number(q, "ADDR");
    r.parameter.zs = Number(q, "ZS");
    r.parameter.fh = Number(q, "FH");
    r.parameter.dw = Trimmed(q, "DW");
    r.parameter.bl = Number(q, "BL");
    r.parameter.checkmc = Trimmed(q, "CHECKMC");
    return r;
}

Dlt645ItemRow ReadItem(const QSqlQuery& q, bool numericIdentifier) {
    Dlt645ItemRow r;
    r.id = Number(q, "ID");
    r.item.dataFormat = Trimmed(q, "DATAFORMAT");
    r.item.csmc = Trimmed(q, "CSMC");
    r.item.dw = Trimmed(q, "DW");
    r.item.checkmc = Trimmed(q, "CHECKMC");
    // The 1997 identifier is a number (DI1 * 256 + DI0); it is handed on in the same "0x9010"
    // form as the item files use, which reads to the same number.
    r.item.infonum = numericIdentifier
                         ? QStringLiteral("0x") + QString::number(Number(q, "INFONUM") & 0xFFFF, 16)
                                                      .toUpper()
                                                      .rightJustified(4, '0')
                         : Trimmed(q, "INFONUM");
    return r;
}

QVariantList SchemeValues(const Scheme& s) {
    return {s.ublfx.trimmed(),
            s.ubl,
            s.iblfx.trimmed(),
            s.ibl,
            s.pblfx.trimmed(),
            s.pbl,
            s.eblfx.trimmed(),
            s.ebl,
            s.txxy,
            s.sdbjxs,
            s.cslxsn.trimmed(),
            s.fdbdsn.trimmed(),
            s.csfhsn.trimmed(),
            s.glysfxsn.trimmed()};
}

// The subselect that gives a model's scheme name.
const QString kSchemeOfModel =
    QStringLiteral("(select trim(FS) from Config where trim(CPXH) = trim(?))");
} // namespace

int FlagValue(const QString& text) {
    return StrToInt(text);
}

bool IsSelectableTestPoint(const TestPlanPoint& point) {
    return OneOf(point.voltagePercent, kPlanVoltagePercents) &&
           OneOf(point.currentPercent, kPlanCurrentPercents) && OneOf(point.angle, kPlanAngles) &&
           OneOf(point.frequency, kPlanFrequencies);
}

bool OpenQuery(QSqlQuery& query, const QString& statement, const QVariantList& values) {
    query.finish();
    if (!query.prepare(statement)) return false;
    for (const QVariant& v : values)
        query.addBindValue(v);
    return query.exec() && query.isSelect();
}

bool ExecQuery(QSqlQuery& query, const QString& statement, const QVariantList& values) {
    query.finish();
    if (!query.prepare(statement)) return false;
    for (const QVariant& v : values)
        query.addBindValue(v);
    return query.exec();
}

ProductDatabase::ProductDatabase(QString filePath)
    : ProductDatabase([&] {
          DatabaseLocation l = SqliteLocation(QFileInfo(filePath).absolutePath());
          l.productFile = filePath;
          return l;
      }()) {}

ProductDatabase::ProductDatabase(DatabaseLocation location)
    : location_(std::move(location)),
      path_(location_.engine == DbEngine::Sqlite ? location_.productFile : location_.Describe()),
      instance_(gNextInstance++) {}

ProductDatabase::~ProductDatabase() {
    // Connections of other threads go when those threads finish.
    tConnections.Remove(ConnectionName(instance_));
}

QSqlDatabase ProductDatabase::Connection() const {
    const QString name = ConnectionName(instance_);
    if (QSqlDatabase::contains(name)) return QSqlDatabase::database(name, true);
    QSqlDatabase db = AddConnection(location_, DbRole::Product, name);
    db.open();
    tConnections.names.append(name);
    // A QThread says when it finishes; the main thread and threads not started by Qt never do,
    // they drop their connections with their thread-local registry.
    QThread* thread = QThread::currentThread();
    if (!tConnections.watching && thread) {
        tConnections.watching = true;
        QObject::connect(
            thread, &QThread::finished, thread, [] { tConnections.RemoveAll(); },
            Qt::DirectConnection);
    }
    return db;
}

QSqlQuery ProductDatabase::NewQuery() const {
    QSqlDatabase db = Connection();
    // A server that was not there when the connection was made may be there now.
    if (location_.engine == DbEngine::Postgres && !db.isOpen()) db.open();
    return QSqlQuery(db);
}

bool ProductDatabase::Revive() const {
    // A server that went away and came back leaves the connection dead: a statement outside a
    // transaction that failed is tried once more on a new one.
    if (location_.engine != DbEngine::Postgres || tTransactionDepth > 0) return false;
    QSqlDatabase db = Connection();
    db.close();
    return db.open();
}

bool ProductDatabase::Open(QSqlQuery& q, int statement, const QString& sql,
                           const QVariantList& values) {
    if (Fault(statement)) return false;
    if (OpenQuery(q, sql, values)) return true;
    if (!Revive()) return false;
    q = NewQuery();
    return OpenQuery(q, sql, values);
}

bool ProductDatabase::Exec(int statement, const QString& sql, const QVariantList& values,
                           int* rowsAffected) {
    if (Fault(statement)) return false;
    QSqlQuery q = NewQuery();
    if (!ExecQuery(q, sql, values)) {
        if (!Revive()) return false;
        q = NewQuery();
        if (!ExecQuery(q, sql, values)) return false;
    }
    if (rowsAffected) *rowsAffected = q.numRowsAffected();
    return true;
}

bool ProductDatabase::SelectNames(int statement, const QString& sql, const QString& value,
                                  QStringList& out) {
    out.clear();
    QSqlQuery q = NewQuery();
    if (!Open(q, statement, sql, {value.trimmed()})) return false;
    while (q.next())
        out.append(Trimmed(q, "CSMC"));
    if (q.lastError().isValid()) {
        out.clear();
        return false;
    }
    return true;
}

template <typename Body> bool ProductDatabase::InTransaction(Body body) {
    QSqlDatabase db = Connection();
    if (!db.transaction() && !(Revive() && (db = Connection()).transaction())) return false;
    bool ok = false;
    ++tTransactionDepth;
    try {
        ok = body();
    } catch (...) {
        --tTransactionDepth;
        db.rollback();
        throw;
    }
    --tTransactionDepth;
    if (ok && db.commit()) return true;
    db.rollback();
    return false;
}

// 1
bool ProductDatabase::SelectAllModels(QList<ProductModel>& out) {
    out.clear();
    QSqlQuery q = NewQuery();
    if (!Open(q, 1, QStringLiteral("select * from Config order by rowid"), {})) return false;
    while (q.next())
        out.append(ReadModel(q));
    return true;
}

// 2
bool ProductDatabase::SelectModel(const QString& model, std::optional<ProductModel>& out) {
    out.reset();
    QSqlQuery q = NewQuery();
    if (!Open(q, 2, QStringLiteral("select * from Config where trim(CPXH) = ? order by rowid"),
              {model.trimmed()}))
        return false;
    if (q.next()) out = ReadModel(q);
    return true;
}

// 3
bool ProductDatabase::SelectScheme(const QString& scheme, std::optional<Scheme>& out) {
    out.reset();
    QSqlQuery q = NewQuery();
    if (!Open(q, 3, QStringLiteral("select * from Fstable where trim(FS) = ? order by ID"),
              {scheme.trimmed()}))
        return false;
    if (q.next()) out = ReadScheme(q);
    return true;
}

// 4
bool ProductDatabase::SelectSchemeParameters(const QString& scheme, QStringList& out) {
    return SelectNames(4, QStringLiteral("select * from Cstable where trim(FS) = ? order by ID"),
                       scheme, out);
}

// 5
bool ProductDatabase::SelectParameter(const QString& name, std::optional<OutputParameterRow>& out) {
    out.reset();
    QSqlQuery q = NewQuery();
    if (!Open(q, 5, QStringLiteral("select * from Outpar where trim(CSMC) = ? order by ID"),
              {name.trimmed()}))
        return false;
    if (q.next()) out = ReadParameter(q);
    return true;
}

// 6: the same row, asked for its catalogue position or for decoding.
bool ProductDatabase::FindParameter(const QString& name, std::optional<OutputParameterRow>& out) {
    out.reset();
    QSqlQuery q = NewQuery();
    if (!Open(q, 6, QStringLiteral("select * from Outpar where trim(CSMC) = ? order by ID"),
              {name.trimmed()}))
        return false;
    if (q.next()) out = ReadParameter(q);
    return true;
}

// 7
bool ProductDatabase::SelectCatalogue(QList<OutputParameterRow>& out) {
    out.clear();
    QSqlQuery q = NewQuery();
    if (!Open(q, 7, QStringLiteral("select * from Outpar order by ID"), {})) return false;
    while (q.next())
        out.append(ReadParameter(q));
    return true;
}

// 8
bool ProductDatabase::SelectSchemes(QList<Scheme>& out) {
    out.clear();
    QSqlQuery q = NewQuery();
    if (!Open(q, 8, QStringLiteral("select * from Fstable where ID <> 0 order by ID"), {}))
        return false;
    while (q.next())
        out.append(ReadScheme(q));
    return true;
}

// 9
bool ProductDatabase::SchemeExists(const QString& scheme, bool& exists) {
    exists = false;
    QSqlQuery q = NewQuery();
    if (!Open(q, 9, QStringLiteral("select FS from Fstable where trim(FS) = ?"),
              {scheme.trimmed()}))
        return false;
    exists = q.next();
    return true;
}

// 10
bool ProductDatabase::InsertSchemeParameter(const QString& scheme, const QString& parameter) {
    return Exec(10, QStringLiteral("insert into Cstable(FS,CSMC) values(?,?)"),
                {scheme.trimmed(), parameter.trimmed()});
}

// 11
bool ProductDatabase::InsertScheme(const Scheme& s) {
    return Exec(11,
                QStringLiteral("insert into Fstable(FS,UBLFX,UBL,IBLFX,IBL,PBLFX,PBL,EBLFX,EBL,"
                               "TXXY,SDBJXS,CSLXSN,FDBDSN,CSFHSN,GLYSFXSN) "
                               "values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
                QVariantList{s.fs.trimmed()} + SchemeValues(s));
}

// 12
bool ProductDatabase::DeleteSchemeParameters(const QString& scheme) {
    return Exec(12, QStringLiteral("delete from Cstable where trim(FS) = ?"), {scheme.trimmed()});
}

// 13. An update that finds no scheme is a failure: reporting it as saved would lose the edit.
bool ProductDatabase::UpdateScheme(const Scheme& s) {
    int rows = 0;
    return Exec(13,
                QStringLiteral("update Fstable set UBLFX=?,UBL=?,IBLFX=?,IBL=?,PBLFX=?,PBL=?,"
                               "EBLFX=?,EBL=?,TXXY=?,SDBJXS=?,CSLXSN=?,FDBDSN=?,CSFHSN=?,"
                               "GLYSFXSN=? where trim(FS) = ?"),
                SchemeValues(s) + QVariantList{s.fs.trimmed()}, &rows) &&
           rows > 0;
}

// 14
bool ProductDatabase::DeleteScheme(const QString& scheme) {
    return Exec(14, QStringLiteral("delete from Fstable where trim(FS) = ?"), {scheme.trimmed()});
}

// 15
bool ProductDatabase::UpdateModel(const ProductModel& m) {
    int rows = 0;
    return Exec(
               15,
               QStringLiteral("update Config set FS=?,BTLGS=?,JXMS=?,UPT=?,ICT=?,CTNUM=?,"
                              "XLJSFS=? where trim(CPXH) = ?"),
               {m.fs.trimmed(), m.btlgs, m.jxms, m.upt, m.ict, m.ctnum, m.xljsfs, m.cpxh.trimmed()},
               &rows) &&
           rows > 0;
}

// 16
bool ProductDatabase::InsertModel(const ProductModel& m) {
    return Exec(
        16,
        QStringLiteral("insert into Config(CPXH,FS,BTLGS,JXMS,UPT,ICT,CTNUM,XLJSFS) "
                       "values(?,?,?,?,?,?,?,?)"),
        {m.cpxh.trimmed(), m.fs.trimmed(), m.btlgs, m.jxms, m.upt, m.ict, m.ctnum, m.xljsfs});
}

// 17, then 28: the model's test plans go with it, or a model added later under the same name
// would find plans written for another product.
bool ProductDatabase::DeleteModel(const QString& model) {
    return InTransaction([&] {
        return Exec(17, QStringLiteral("delete from Config where trim(CPXH) = ?"),
                    {model.trimmed()}) &&
               Exec(28, QStringLiteral("delete from TestPlan where trim(Model) = ?"),
                    {model.trimmed()});
    });
}

// 18
bool ProductDatabase::SelectSchemeOfModel(const QString& model, std::optional<Scheme>& out) {
    out.reset();
    QSqlQuery q = NewQuery();
    if (!Open(q, 18,
              QStringLiteral("select * from Fstable where trim(FS) = %1 order by ID")
                  .arg(kSchemeOfModel),
              {model}))
        return false;
    if (q.next()) out = ReadScheme(q);
    return true;
}

// 19. Read in list order like statement 20: the poll plan and the decoding must walk the same
// list.
bool ProductDatabase::SelectParametersOfModel(const QString& model, QStringList& out) {
    return SelectNames(
        19,
        QStringLiteral("select * from Cstable where trim(FS) = %1 order by ID").arg(kSchemeOfModel),
        model, out);
}

// 20
bool ProductDatabase::SelectOrderedParametersOfModel(const QString& model, QStringList& out) {
    return SelectNames(
        20,
        QStringLiteral("select * from Cstable where trim(FS) = %1 order by ID").arg(kSchemeOfModel),
        model, out);
}

// 21
bool ProductDatabase::SelectDlt645Items1997(QList<Dlt645ItemRow>& out) {
    out.clear();
    QSqlQuery q = NewQuery();
    if (!Open(q, 21, QStringLiteral("select * from DL645Data_97 order by ID"), {})) return false;
    while (q.next())
        out.append(ReadItem(q, true));
    return true;
}

// 22
bool ProductDatabase::SelectDlt645Items2007(QList<Dlt645ItemRow>& out) {
    out.clear();
    QSqlQuery q = NewQuery();
    if (!Open(q, 22, QStringLiteral("select * from DL645Data_07 order by ID"), {})) return false;
    while (q.next())
        out.append(ReadItem(q, false));
    return true;
}

// 23
bool ProductDatabase::SelectUser(const QString& user, std::optional<UserAccount>& out) {
    out.reset();
    QSqlQuery q = NewQuery();
    if (!Open(q, 23, QStringLiteral("select * from usertable where username = ?"), {user}))
        return false;
    if (q.next()) out = UserAccount{Text(q, "username"), Text(q, "userpass")};
    return true;
}

// 24. The hash is compared here, not in the statement: a salted hash cannot be looked up.
bool ProductDatabase::MatchLogin(const QString& user, const QString& password, bool& matches) {
    matches = false;
    PrepareNoPassword();
    QSqlQuery q = NewQuery();
    if (!Open(q, 24, QStringLiteral("select * from usertable where username = ?"), {user}))
        return false;
    if (q.next())
        matches = VerifyPassword(Text(q, "userpass"), password);
    else
        VerifyNoPassword(password);
    return true;
}

// 25
bool ProductDatabase::SelectPlans(const QString& model, QList<TestPlan>& out) {
    out.clear();
    QSqlQuery q = NewQuery();
    if (!Open(q, 25,
              QStringLiteral("select * from TestPlan where trim(Model) = ? "
                             "order by trim(Name), Position"),
              {model.trimmed()}))
        return false;
    while (q.next()) {
        const QString name = Trimmed(q, "Name");
        if (out.isEmpty() || out.last().name != name)
            out.append(TestPlan{Trimmed(q, "Model"), name, {}});
        out.last().points.append({Real(q, "VoltagePercent"), Real(q, "CurrentPercent"),
                                  Real(q, "Angle"), Real(q, "Frequency")});
    }
    if (q.lastError().isValid()) {
        out.clear();
        return false;
    }
    return true;
}

// 26
bool ProductDatabase::DeletePlan(const QString& model, const QString& name) {
    return Exec(26, QStringLiteral("delete from TestPlan where trim(Model) = ? and trim(Name) = ?"),
                {model.trimmed(), name.trimmed()});
}

// 26, then 27 for each point. A point the real-time page cannot set would stop the run of the
// plan half-way, so it is refused here rather than stored.
bool ProductDatabase::SavePlan(const TestPlan& plan) {
    const QString model = plan.model.trimmed();
    const QString name = plan.name.trimmed();
    if (model.isEmpty() || name.isEmpty() || plan.points.isEmpty() ||
        !std::all_of(plan.points.begin(), plan.points.end(), IsSelectableTestPoint))
        return false;
    return InTransaction([&] {
        if (!DeletePlan(model, name)) return false;
        for (qsizetype i = 0; i < plan.points.size(); ++i) {
            const TestPlanPoint& p = plan.points[i];
            if (!Exec(27,
                      QStringLiteral("insert into TestPlan(Model,Name,Position,VoltagePercent,"
                                     "CurrentPercent,Angle,Frequency) values(?,?,?,?,?,?,?)"),
                      {model, name, qlonglong(i), p.voltagePercent, p.currentPercent, p.angle,
                       p.frequency}))
                return false;
        }
        return true;
    });
}

SchemeWrite ProductDatabase::CreateSchemeWithParameters(const Scheme& scheme,
                                                        const QStringList& parameters) {
    bool duplicate = false;
    const bool ok = InTransaction([&] {
        bool exists = false;
        if (!SchemeExists(scheme.fs, exists)) return false;
        if (exists) {
            duplicate = true;
            return false;
        }
        for (const QString& p : parameters)
            if (!InsertSchemeParameter(scheme.fs, p)) return false;
        return InsertScheme(scheme);
    });
    if (ok) return SchemeWrite::Done;
    return duplicate ? SchemeWrite::DuplicateName : SchemeWrite::Failed;
}

bool ProductDatabase::WriteScheme(const Scheme& scheme, const QStringList& parameters) {
    if (!DeleteSchemeParameters(scheme.fs)) return false;
    for (const QString& p : parameters)
        if (!InsertSchemeParameter(scheme.fs, p)) return false;
    return UpdateScheme(scheme);
}

bool ProductDatabase::ModifySchemeWithParameters(const Scheme& scheme,
                                                 const QStringList& parameters) {
    return InTransaction([&] { return WriteScheme(scheme, parameters); });
}

std::optional<LoadedScheme> ProductDatabase::LoadScheme(const QString& name) {
    std::optional<Scheme> scheme;
    LoadedScheme loaded;
    if (!SelectScheme(name, scheme) || !scheme || !SelectSchemeParameters(name, loaded.parameters))
        return std::nullopt;
    loaded.scheme = *scheme;
    return loaded;
}

SchemeWrite ProductDatabase::ModifySchemeIfUnchanged(const Scheme& scheme,
                                                     const QStringList& parameters,
                                                     const LoadedScheme& loaded) {
    bool changed = false;
    const bool ok = InTransaction([&] {
        if (location_.engine == DbEngine::Postgres) {
            QSqlQuery lock = NewQuery();
            if (!OpenQuery(lock,
                           QStringLiteral("select ID from Fstable where trim(FS) = ? for update"),
                           {scheme.fs.trimmed()}))
                return false;
        }
        const std::optional<LoadedScheme> now = LoadScheme(scheme.fs);
        if (!now) {
            // Gone since it was loaded (deleted elsewhere), or unreadable: nothing is written.
            bool exists = true;
            changed = SchemeExists(scheme.fs, exists) && !exists;
            return false;
        }
        if (now->scheme != loaded.scheme || now->parameters != loaded.parameters) {
            changed = true;
            return false;
        }
        return WriteScheme(scheme, parameters);
    });
    if (ok) return SchemeWrite::Done;
    return changed ? SchemeWrite::Changed : SchemeWrite::Failed;
}

bool ProductDatabase::DeleteSchemeWithParameters(const QString& scheme) {
    return InTransaction([&] { return DeleteScheme(scheme) && DeleteSchemeParameters(scheme); });
}

namespace {
// Absent, or 0 bytes: what a creation that died before writing anything leaves. Such a file
// holds nothing, so it is made anew like a missing one.
bool Blank(const QString& path) {
    const QFileInfo file(path);
    return !file.exists() || (file.isFile() && file.size() == 0);
}
} // namespace

QString ProductDatabase::Open(const QString& seedDir) {
    if (location_.engine == DbEngine::Postgres) {
        const QSqlDatabase db = Connection();
        if (!db.isOpen())
            return QStringLiteral("The product database server %1 cannot be reached (database %2, "
                                  "user %3): %4")
                .arg(location_.Server(), location_.name, location_.user,
                     db.lastError().text().trimmed());
        const QString error = MigrateProductDatabase(db, seedDir, migrationFault_);
        if (!error.isEmpty())
            return QStringLiteral("The product database %1 cannot be used: %2").arg(path_, error);
        return QString();
    }
    const QString shown = QDir::toNativeSeparators(path_);
    if (!Blank(path_)) {
        QSqlDatabase db = Connection();
        if (!db.isOpen())
            return QStringLiteral("The product database %1 cannot be opened: %2")
                .arg(shown, db.lastError().text());
        // A database of an earlier version is brought up to date; its rows stay as they are.
        const QString error = MigrateProductDatabase(db, QString(), migrationFault_);
        if (error.isEmpty()) return QString();
        // A creation cut short during its commit (by a version that built the file in place)
        // left the file with a hot journal; reading it rolled that back to nothing.
        if (!Blank(path_))
            return QStringLiteral("The product database %1 cannot be used: %2").arg(shown, error);
        db = QSqlDatabase(); // the connection is removed below; no handle may outlive it
        tConnections.Remove(ConnectionName(instance_));
    }
    const QString error = CreateSeededDatabaseFile(path_, seedDir);
    if (!error.isEmpty())
        return QStringLiteral("The product database %1 cannot be created: %2").arg(shown, error);
    const QSqlDatabase db = Connection();
    if (!db.isOpen())
        return QStringLiteral("The product database %1 cannot be opened: %2")
            .arg(shown, db.lastError().text());
    return QString();
}
