// Figures of the two engines of the product database and the records, side by side: the
// selection of a product model as the main window makes it (the model, its scheme, its ordered
// parameter list and each parameter of that list), the insert of one check record (one point,
// twenty quantities), and one login against the stored argon2id hash, for an existing user and
// for a name that does not exist, which must take as long (else the time tells which names exist).
//
// SQLite runs on files in a temporary folder; PostgreSQL on a private server started for the run
// (tests/support/pg_server.h), reached over loopback TCP as a station reaches its server. Both are
// seeded from the shipped data folder. Without PostgreSQL on the machine only SQLite is measured.
//
// Usage: database_bench [repetitions] [logins]

#include "pg_server.h"
#include "store/database.h"
#include "store/db_location.h"
#include "store/results.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

constexpr int kQuantities = 20;
// The first statements of a run open the connection and fill the caches: they are not what an
// operator waits for at each selection.
constexpr int kWarmUp = 5;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Percentile95(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = size_t(std::ceil(0.95 * double(v.size())));
    return v[std::max<size_t>(rank, 1) - 1];
}

struct Figures {
    QString error; // empty when every figure was taken
    QString model;
    int parameters = 0;
    int quantities = 0;
    std::vector<double> selection, insert, loginKnown, loginUnknown;
};

// The first model with a parameter list: a DL/T 645 or 亚奥 model selects no registers.
QString ChooseModel(ProductDatabase& db) {
    QList<ProductModel> models;
    if (!db.SelectAllModels(models)) return {};
    for (const ProductModel& m : models) {
        QStringList names;
        if (db.SelectOrderedParametersOfModel(m.cpxh, names) && !names.isEmpty()) return m.cpxh;
    }
    return {};
}

// What the main window reads when the operator picks the model; false on any failure.
bool SelectModel(ProductDatabase& db, const QString& model, int* parameters) {
    std::optional<ProductModel> row;
    std::optional<Scheme> scheme;
    QStringList names;
    if (!db.SelectModel(model, row) || !row || !db.SelectSchemeOfModel(model, scheme) || !scheme ||
        !db.SelectOrderedParametersOfModel(model, names))
        return false;
    for (const QString& name : names) {
        std::optional<OutputParameterRow> parameter;
        if (!db.FindParameter(name, parameter) || !parameter) return false;
    }
    *parameters = int(names.size());
    return true;
}

// A nominal reading for a check quantity at 100 % of 220 V / 5 A, angle 0, 50 Hz.
void Nominal(const QString& quantity, double* expected, QString* unit) {
    const QChar kind = quantity.isEmpty() ? QChar() : quantity.front();
    if (kind == 'U') {
        *expected = quantity.size() > 2 ? 381.05 : 220; // a line voltage: Uab
        *unit = QStringLiteral("V");
    } else if (kind == 'I') {
        *expected = 5;
        *unit = QStringLiteral("A");
    } else if (kind == 'P' || kind == 'S') {
        *expected = quantity.endsWith(QStringLiteral("总")) ? 3300 : 1100; // of the three phases
        *unit = kind == 'P' ? QStringLiteral("W") : QStringLiteral("VA");
    } else if (kind == 'Q') {
        *expected = 0;
        *unit = QStringLiteral("Var");
    } else if (kind == 'C') {
        *expected = 1;
        unit->clear();
    } else {
        *expected = 50;
        *unit = QStringLiteral("Hz");
    }
}

// A passed check of one point, with the model's checked quantities as the grid judged them.
UnitRecord CheckRecord(ProductDatabase& db, const QString& model) {
    UnitRecord r;
    r.kind = RecordKind::Check;
    r.model = model;
    r.operatorName = QStringLiteral("张三");
    r.station = QStringLiteral("bench-station");
    r.softwareVersion = QStringLiteral("1.0.0");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.lineSettings = QStringLiteral("9600,N,8,1");
    r.protocol = QStringLiteral("MODBUS_RTU");
    r.address = 1;
    r.verdict = Verdict::Pass;
    r.points = {{1, 100, 100, 0, 50, Verdict::Pass, 0}};
    QStringList names;
    db.SelectOrderedParametersOfModel(model, names);
    QList<OutputParameterRow> checked;
    for (const QString& name : names) {
        std::optional<OutputParameterRow> row;
        if (db.FindParameter(name, row) && row && !row->parameter.checkmc.isEmpty())
            checked.append(*row);
    }
    for (int i = 0; !checked.isEmpty() && i < kQuantities; ++i) {
        const OutputParameter& p = checked[i % checked.size()].parameter;
        RecordQuantity q;
        q.point = 1;
        q.name = p.csmc;
        q.quantity = p.checkmc;
        Nominal(p.checkmc, &q.expected, &q.unit);
        q.measured = q.expected * 1.0004 + 0.001;
        q.text = QString::number(q.measured, 'f', 2) +
                 (q.unit.isEmpty() ? QString() : QStringLiteral(" ") + q.unit);
        q.error = 0.04;
        q.limit = 0.5;
        r.quantities.append(q);
    }
    return r;
}

// Milliseconds of each of count calls of step; stops at the first failure (false).
template <typename Step> bool Time(int count, std::vector<double>& out, Step step) {
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!step(i)) return false;
        out.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return true;
}

Figures Measure(const DatabaseLocation& location, const QString& seedDir, int repetitions,
                int logins) {
    Figures f;
    ProductDatabase db(location);
    if (const QString error = db.Open(seedDir); !error.isEmpty()) {
        f.error = error;
        return f;
    }
    f.model = ChooseModel(db);
    if (f.model.isEmpty()) {
        f.error = QStringLiteral("no model with a parameter list in ") + db.filePath();
        return f;
    }
    std::vector<double> discarded;
    const auto select = [&](int) { return SelectModel(db, f.model, &f.parameters); };
    if (!Time(kWarmUp, discarded, select) || !Time(repetitions, f.selection, select)) {
        f.error = QStringLiteral("model selection failed on ") + db.filePath();
        return f;
    }

    ResultsDatabase records(location, QString());
    if (const QString error = records.Open(); !error.isEmpty()) {
        f.error = error;
        return f;
    }
    const UnitRecord check = CheckRecord(db, f.model);
    f.quantities = int(check.quantities.size());
    const auto add = [&](int i) {
        UnitRecord r = check;
        r.serial = QStringLiteral("KX-BENCH-%1").arg(i, 6, 10, QLatin1Char('0'));
        r.started = QDateTime::currentDateTime();
        r.ended = r.started.addSecs(3);
        return records.Add(r);
    };
    discarded.clear();
    if (!Time(kWarmUp, discarded, add) || !Time(repetitions, f.insert, add)) {
        f.error = QStringLiteral("record insert failed: ") + records.lastError();
        return f;
    }

    // The shipped account; the first unknown name also makes the stand-in hash, once.
    const auto login = [&](const QString& user, const QString& password, bool want) {
        return [&db, user, password, want](int) {
            bool matches = !want;
            return db.MatchLogin(user, password, matches) && matches == want;
        };
    };
    const auto known = login(QStringLiteral("admin"), QStringLiteral("admin123"), true);
    const auto unknown = login(QStringLiteral("no-such-user"), QStringLiteral("admin123"), false);
    discarded.clear();
    if (!Time(1, discarded, known) || !Time(1, discarded, unknown) ||
        !Time(logins, f.loginKnown, known) || !Time(logins, f.loginUnknown, unknown)) {
        f.error = QStringLiteral("login did not give the expected answer on ") + db.filePath();
        return f;
    }
    return f;
}

// One measure on one line: both engines, or SQLite alone when there is no server.
void Line(const char* what, const std::vector<double>& sqlite, const std::vector<double>* pg,
          const char* target) {
    std::printf("%-22s sqlite median %8.2f ms p95 %8.2f ms", what, Median(sqlite),
                Percentile95(sqlite));
    if (pg)
        std::printf("   postgresql median %8.2f ms p95 %8.2f ms", Median(*pg), Percentile95(*pg));
    if (target) std::printf("   (%s)", target);
    std::printf("\n");
}

double Ratio(const std::vector<double>& unknown, const std::vector<double>& known) {
    const double k = Median(known);
    return k > 0 ? Median(unknown) / k : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    const int logins = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString seedDir = QStringLiteral(KX_BIN_DATA_DIR);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder: %s\n", qPrintable(dir.errorString()));
        return 1;
    }
    const Figures sqlite = Measure(SqliteLocation(dir.path()), seedDir, repetitions, logins);
    if (!sqlite.error.isEmpty()) {
        std::fprintf(stderr, "sqlite: %s\n", qPrintable(sqlite.error));
        return 1;
    }

    std::optional<Figures> pg;
    if (PgServer* server = PgServer::Shared()) {
        // The program takes the password from the environment, as libpq does for any client.
        qputenv("PGPASSWORD", PgServer::kPassword);
        DatabaseLocation location;
        location.engine = DbEngine::Postgres;
        location.host = server->host();
        location.port = server->port();
        location.user = QString::fromLatin1(PgServer::kUser);
        location.name = server->CreateDatabase();
        if (location.name.isEmpty()) {
            std::fprintf(stderr, "postgresql: %s\n", qPrintable(server->error()));
            return 1;
        }
        pg = Measure(location, seedDir, repetitions, logins);
        if (!pg->error.isEmpty()) {
            std::fprintf(stderr, "postgresql: %s\n", qPrintable(pg->error));
            return 1;
        }
    } else {
        std::printf("postgresql not measured: %s\n", qPrintable(PgServer::SkipReason()));
    }

    std::printf("model %s: %d parameters; record of 1 point, %d quantities; %d repetitions, "
                "%d logins each\n",
                qPrintable(sqlite.model), sqlite.parameters, sqlite.quantities, repetitions,
                logins);
    if (pg && (pg->model != sqlite.model || pg->parameters != sqlite.parameters))
        std::printf("postgresql selected %s with %d parameters\n", qPrintable(pg->model),
                    pg->parameters);
    Line("model selection", sqlite.selection, pg ? &pg->selection : nullptr,
         pg ? "target < 50 ms on both" : "target < 50 ms");
    Line("record insert", sqlite.insert, pg ? &pg->insert : nullptr, nullptr);
    Line("login, existing user", sqlite.loginKnown, pg ? &pg->loginKnown : nullptr, nullptr);
    Line("login, unknown user", sqlite.loginUnknown, pg ? &pg->loginUnknown : nullptr, nullptr);
    std::printf("%-22s sqlite %.3f", "login unknown/existing",
                Ratio(sqlite.loginUnknown, sqlite.loginKnown));
    if (pg) std::printf("   postgresql %.3f", Ratio(pg->loginUnknown, pg->loginKnown));
    std::printf("   (about 1: the time does not tell which names exist)\n");
    return 0;
}
