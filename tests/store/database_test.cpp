#include "common/conversion.h"
#include "engine_fixture.h"
#include "store/database.h"
#include "store/passwords.h"
#include "store/schema.h"
#include "store_fixture.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <limits>
#include <ostream>
#include <thread>

namespace {
// The files of a folder, hidden ones too, sorted by name and separated by blanks (the
// database's temporary files start with a dot, its journals end in "-journal").
std::string Entries(const QString& dir) {
    return QDir(dir)
        .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)
        .join(' ')
        .toStdString();
}

std::string Names(QStringList names) {
    names.sort();
    return names.join(' ').toStdString();
}

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSeedFixture(dir.path());
        QString skip;
        const std::optional<DatabaseLocation> location = TestLocation(dir.path(), &skip);
        if (!location) GTEST_SKIP() << skip.toStdString();
        db = std::make_unique<ProductDatabase>(*location);
        ASSERT_EQ(db->Open(dir.path()), QString());
    }
    // A statement outside the program's own, for setting up odd rows.
    void Raw(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery q = db->NewQuery();
        ASSERT_TRUE(ExecQuery(q, sql, values)) << sql.toStdString();
    }
    QStringList Parameters(const QString& scheme) {
        QStringList list;
        EXPECT_TRUE(db->SelectSchemeParameters(scheme, list));
        return list;
    }
    // Every row of every table, to compare before and after a failed write.
    QStringList Snapshot() {
        QStringList rows;
        for (const TableSchema& t : DatabaseTables()) {
            QSqlQuery q = db->NewQuery();
            EXPECT_TRUE(OpenQuery(q, "select * from " + t.name));
            while (q.next()) {
                QStringList fields{t.name};
                for (int i = 0; i < t.columns.size(); ++i)
                    fields.append(q.value(i).toString());
                rows.append(fields.join('|'));
            }
        }
        return rows;
    }
    QTemporaryDir dir;
    std::unique_ptr<ProductDatabase> db;
};

TEST_F(DatabaseTest, SeedRowsReadBack) {
    QList<ProductModel> models;
    ASSERT_TRUE(db->SelectAllModels(models));
    ASSERT_EQ(models.size(), 2);
    EXPECT_EQ(models[1].cpxh, "KX7410Y10-01");
    EXPECT_EQ(models[1].fs, QString::fromUtf8("亚奥方式"));
    EXPECT_EQ(models[1].ict, 200);
    EXPECT_EQ(models[1].xljsfs, 1);

    QList<OutputParameterRow> catalogue;
    ASSERT_TRUE(db->SelectCatalogue(catalogue));
    ASSERT_EQ(catalogue.size(), 7);
    for (int i = 0; i < catalogue.size(); ++i)
        EXPECT_EQ(catalogue[i].id, i + 1);
    EXPECT_EQ(catalogue[3].parameter.csmc, QString::fromUtf8("总有功功率"));
    EXPECT_EQ(catalogue[3].parameter.zs, 2);
    EXPECT_EQ(catalogue[3].parameter.fh, 1);
    EXPECT_EQ(catalogue[6].parameter.dw, "0.00");
    EXPECT_EQ(catalogue[4].parameter.checkmc, "");

    QList<Dlt645ItemRow> items97, items07;
    ASSERT_TRUE(db->SelectDlt645Items1997(items97));
    ASSERT_TRUE(db->SelectDlt645Items2007(items07));
    ASSERT_EQ(items97.size(), 2);
    EXPECT_EQ(StrToInt(items97[1].item.infonum), 0xB611);
    EXPECT_EQ(items97[1].item.infonum, "0xB611");
    ASSERT_EQ(items07.size(), 2);
    EXPECT_EQ(items07[1].item.infonum, "0x02010100");
    EXPECT_EQ(items07[1].item.dataFormat, "XXX.X");
}

// Direction and enable columns hold texts that read through the runtime's integer parser.
TEST_F(DatabaseTest, FlagColumnsReadThroughTheIntegerParser) {
    struct Case {
        const char* stored;
        int value;
    };
    const Case cases[] = {{"0xAA55", 43605}, {"0x0000", 0},    {"43605", 43605},
                          {"0", 0},          {"$AA55", 43605}, {" 0xaa55", 43605}};
    for (const Case& c : cases) {
        Raw("update Fstable set UBLFX = ?, CSLXSN = ? where FS = ?",
            {c.stored, c.stored, QString::fromUtf8("标准方式")});
        std::optional<Scheme> s;
        ASSERT_TRUE(db->SelectScheme(QString::fromUtf8("标准方式"), s));
        ASSERT_TRUE(s);
        EXPECT_EQ(FlagValue(s->ublfx), c.value) << c.stored;
        EXPECT_EQ(FlagValue(s->cslxsn), c.value) << c.stored;
    }
    Raw("update Fstable set UBLFX = 'AA55'");
    std::optional<Scheme> s;
    ASSERT_TRUE(db->SelectScheme(QString::fromUtf8("标准方式"), s));
    EXPECT_THROW(FlagValue(s->ublfx), ConversionError);
    // A number column holding text is a conversion error of the reading operation. Only SQLite
    // keeps such a text; PostgreSQL's typed column refuses it when it is written.
    if (OnPostgres()) return;
    Raw("update Fstable set UBL = 'ten'");
    EXPECT_THROW(db->SelectScheme(QString::fromUtf8("标准方式"), s), ConversionError);
}

TEST_F(DatabaseTest, SchemeListSkipsIdZeroAndIsInIdOrder) {
    Raw("insert into Fstable(ID,FS,UBL,IBL,PBL,EBL,TXXY,SDBJXS) values(0,'零号',1,1,1,1,0,0)");
    Raw("insert into Fstable(ID,FS,UBL,IBL,PBL,EBL,TXXY,SDBJXS) values(9,'九号',1,1,1,1,0,0)");
    Raw("insert into Fstable(ID,FS,UBL,IBL,PBL,EBL,TXXY,SDBJXS) values(5,'五号',1,1,1,1,0,0)");
    QList<Scheme> schemes;
    ASSERT_TRUE(db->SelectSchemes(schemes));
    QStringList names;
    QList<int> ids;
    for (const Scheme& s : schemes) {
        names.append(s.fs);
        ids.append(s.id);
    }
    EXPECT_EQ(names, QString::fromUtf8("标准方式,亚奥方式,五号,九号").split(','));
    EXPECT_EQ(ids, (QList<int>{1, 2, 5, 9}));
}

TEST_F(DatabaseTest, ParameterListsKeepInsertionOrder) {
    const QStringList standard = QString::fromUtf8("频率,A相电压,总有功功率").split(',');
    EXPECT_EQ(Parameters(QString::fromUtf8("标准方式")), standard);
    QStringList viaModel;
    ASSERT_TRUE(db->SelectOrderedParametersOfModel("KX2953B35-01", viaModel));
    EXPECT_EQ(viaModel, standard);
    ASSERT_TRUE(db->SelectParametersOfModel("KX2953B35-01", viaModel));
    EXPECT_EQ(viaModel, standard);

    // A rewritten list comes back in its new order, not the catalogue's nor the old one.
    Scheme scheme;
    scheme.fs = QString::fromUtf8("标准方式");
    const QStringList reordered =
        QString::fromUtf8("日期时间,总有功功率,A相电流,A相电压").split(',');
    ASSERT_TRUE(db->ModifySchemeWithParameters(scheme, reordered));
    EXPECT_EQ(Parameters(scheme.fs), reordered);
    ASSERT_TRUE(db->SelectOrderedParametersOfModel("KX2953B35-01", viaModel));
    EXPECT_EQ(viaModel, reordered);
}

TEST_F(DatabaseTest, SelectsThroughTheModelsScheme) {
    std::optional<Scheme> s;
    ASSERT_TRUE(db->SelectSchemeOfModel("KX7410Y10-01", s));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->fs, QString::fromUtf8("亚奥方式"));
    EXPECT_EQ(s->txxy, 3);
    EXPECT_EQ(s->sdbjxs, 90);
    ASSERT_TRUE(db->SelectSchemeOfModel("KX0000X00-00", s));
    EXPECT_FALSE(s);
    QStringList list{"stale"};
    ASSERT_TRUE(db->SelectOrderedParametersOfModel("KX0000X00-00", list));
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(DatabaseTest, StoredBlanksAreNotPartOfNames) {
    Raw("insert into Config(CPXH,FS,BTLGS,JXMS,UPT,ICT,CTNUM,XLJSFS) "
        "values('  KX2953C10-02 ', ' 亚奥方式  ',0,0,1,1,0,0)");
    Raw("insert into Cstable(FS,CSMC) values(' 亚奥方式 ','  频率 ')");
    Raw("update Outpar set CSMC = ' 频率  ', DW = ' 0.00 ', CHECKMC = ' F ' where ID = 7");
    QList<ProductModel> models;
    ASSERT_TRUE(db->SelectAllModels(models));
    EXPECT_EQ(models.last().cpxh, "KX2953C10-02");
    EXPECT_EQ(models.last().fs, QString::fromUtf8("亚奥方式"));
    std::optional<ProductModel> m;
    ASSERT_TRUE(db->SelectModel("KX2953C10-02", m));
    ASSERT_TRUE(m);
    std::optional<Scheme> s;
    ASSERT_TRUE(db->SelectSchemeOfModel("KX2953C10-02", s));
    ASSERT_TRUE(s);
    QStringList list;
    ASSERT_TRUE(db->SelectOrderedParametersOfModel(" KX2953C10-02", list));
    EXPECT_EQ(list, QString::fromUtf8("A相电流,A相电压,频率").split(','));
    std::optional<OutputParameterRow> p;
    ASSERT_TRUE(db->SelectParameter(QString::fromUtf8("频率"), p));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->parameter.csmc, QString::fromUtf8("频率"));
    EXPECT_EQ(p->parameter.dw, "0.00");
    EXPECT_EQ(p->parameter.checkmc, "F");
    ASSERT_TRUE(db->FindParameter(QString::fromUtf8(" 频率 "), p));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->id, 7);
}

// Names with quotes and injection texts are data like any other.
class QuotedNames : public DatabaseTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(QuotedNames, AreStoredAndFound) {
    const QString name = QString::fromUtf8(GetParam());
    Scheme scheme;
    scheme.fs = name;
    scheme.txxy = 2;
    ASSERT_EQ(db->CreateSchemeWithParameters(scheme, {QString::fromUtf8("A相电压")}),
              SchemeWrite::Done);
    ProductModel model{name, name, 3, 0, 1, 1, 0, 0};
    ASSERT_TRUE(db->InsertModel(model));

    std::optional<Scheme> s;
    ASSERT_TRUE(db->SelectSchemeOfModel(name, s));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->fs, name.trimmed());
    EXPECT_EQ(s->txxy, 2);
    EXPECT_EQ(Parameters(name), QStringList{QString::fromUtf8("A相电压")});
    bool exists = false;
    ASSERT_TRUE(db->SchemeExists(name, exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(db->CreateSchemeWithParameters(scheme, {}), SchemeWrite::DuplicateName);

    model.upt = 77;
    ASSERT_TRUE(db->UpdateModel(model));
    std::optional<ProductModel> m;
    ASSERT_TRUE(db->SelectModel(name, m));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->upt, 77);

    // Other rows are untouched by the writes under this name.
    QList<ProductModel> models;
    ASSERT_TRUE(db->SelectAllModels(models));
    EXPECT_EQ(models.size(), 3);
    EXPECT_EQ(models[0].upt, 1);

    ASSERT_TRUE(db->DeleteModel(name));
    ASSERT_TRUE(db->DeleteSchemeWithParameters(name));
    ASSERT_TRUE(db->SelectAllModels(models));
    EXPECT_EQ(models.size(), 2);
    QList<Scheme> schemes;
    ASSERT_TRUE(db->SelectSchemes(schemes));
    EXPECT_EQ(schemes.size(), 2);
    EXPECT_EQ(Parameters(QString::fromUtf8("标准方式")).size(), 3);
}

INSTANTIATE_TEST_SUITE_P(Names, QuotedNames,
                         ::testing::Values("O'Brien方式", "'", "x' or '1'='1",
                                           "a'); drop table "
                                           "Config; --",
                                           "\"双引号\"", "%_*", " 满载　“试验” "));

TEST_P(QuotedNames, NameTestPlansAsAnyOther) {
    const QString name = QString::fromUtf8(GetParam());
    const TestPlan plan{name, name, {{120, 1, 330, 65}, {0, 0, 0, 45}}};
    const TestPlan neighbour{"KX2953B35-01", name, {{100, 100, 0, 50}}};
    ASSERT_TRUE(db->SavePlan(plan));
    ASSERT_TRUE(db->SavePlan(neighbour));
    QList<TestPlan> plans;
    ASSERT_TRUE(db->SelectPlans(name, plans));
    EXPECT_EQ(plans, (QList<TestPlan>{{name.trimmed(), name.trimmed(), plan.points}}));
    ASSERT_TRUE(db->DeletePlan(name, name));
    ASSERT_TRUE(db->SelectPlans(name, plans));
    EXPECT_TRUE(plans.isEmpty());
    // The plan of the same name under another model stays.
    ASSERT_TRUE(db->SelectPlans("KX2953B35-01", plans));
    EXPECT_EQ(plans, (QList<TestPlan>{{"KX2953B35-01", name.trimmed(), neighbour.points}}));
    // Deleting a model deletes its plans and no other model's.
    ASSERT_TRUE(db->SavePlan(plan));
    ASSERT_TRUE(db->DeleteModel(name));
    ASSERT_TRUE(db->SelectPlans(name, plans));
    EXPECT_TRUE(plans.isEmpty());
    ASSERT_TRUE(db->SelectPlans("KX2953B35-01", plans));
    EXPECT_EQ(plans.size(), 1);
}

TEST_F(DatabaseTest, LoginMatchesOnlyTheStoredPassword) {
    struct Case {
        const char* user;
        const char* password;
        bool matches;
    };
    const Case cases[] = {{"admin", "admin123", true},
                          {"admin", "admin12", false},
                          {"admin", "ADMIN123", false},
                          {"admin", "' or '1'='1", false},
                          {"' or '1'='1", "' or '1'='1", false},
                          {"admin' --", "", false},
                          {"admin", "", false}};
    for (const Case& c : cases) {
        bool matches = !c.matches;
        ASSERT_TRUE(db->MatchLogin(c.user, c.password, matches));
        EXPECT_EQ(matches, c.matches) << c.user << " / " << c.password;
    }
    std::optional<UserAccount> user;
    ASSERT_TRUE(db->SelectUser("' or '1'='1", user));
    EXPECT_FALSE(user);
    ASSERT_TRUE(db->SelectUser("admin", user));
    ASSERT_TRUE(user);
    // The seed's plain text is kept as a salted hash only.
    EXPECT_TRUE(IsPasswordHash(user->userpass)) << user->userpass.toStdString();
    EXPECT_TRUE(VerifyPassword(user->userpass, "admin123"));
}

TEST_F(DatabaseTest, UpdatesOfMissingRowsFail) {
    Scheme ghost;
    ghost.fs = "ghost";
    EXPECT_FALSE(db->UpdateScheme(ghost));
    EXPECT_FALSE(db->ModifySchemeWithParameters(ghost, {QString::fromUtf8("A相电压")}));
    EXPECT_EQ(Parameters("ghost"), QStringList());
    ProductModel m;
    m.cpxh = "KX9999X99-99";
    EXPECT_FALSE(db->UpdateModel(m));
}

// A failure at any statement of a multi-statement write leaves every table as it was.
struct FaultCase {
    const char* name;
    int statement;  // the statement that fails
    int occurrence; // at its n-th run
    int operation;  // 0 create, 1 modify, 2 delete
};

class InjectedFault : public DatabaseTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(InjectedFault, LeavesTheDatabaseUnchanged) {
    const FaultCase& c = GetParam();
    const QStringList before = Snapshot();
    int seen = 0;
    db->SetFaultHook(
        [&](int statement) { return statement == c.statement && ++seen == c.occurrence; });
    Scheme scheme;
    scheme.fs = c.operation == 0 ? QString::fromUtf8("新方式") : QString::fromUtf8("标准方式");
    scheme.ubl = 99;
    const QStringList list = QString::fromUtf8("A相电压,B相电压,A相电流,日期时间").split(',');
    switch (c.operation) {
    case 0:
        EXPECT_EQ(db->CreateSchemeWithParameters(scheme, list), SchemeWrite::Failed);
        break;
    case 1:
        EXPECT_FALSE(db->ModifySchemeWithParameters(scheme, list));
        break;
    default:
        EXPECT_FALSE(db->DeleteSchemeWithParameters(scheme.fs));
    }
    EXPECT_EQ(seen, c.occurrence) << "the fault was not reached";
    db->SetFaultHook({});
    EXPECT_EQ(Snapshot(), before);
    // The connection is usable afterwards: the same write now succeeds.
    if (c.operation == 0)
        EXPECT_EQ(db->CreateSchemeWithParameters(scheme, list), SchemeWrite::Done);
    else if (c.operation == 1)
        EXPECT_TRUE(db->ModifySchemeWithParameters(scheme, list));
    else
        EXPECT_TRUE(db->DeleteSchemeWithParameters(scheme.fs));
    EXPECT_NE(Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, InjectedFault,
                         ::testing::Values(FaultCase{"CreateDuplicateCheck", 9, 1, 0},
                                           FaultCase{"CreateThirdParameter", 10, 3, 0},
                                           FaultCase{"CreateSchemeRow", 11, 1, 0},
                                           FaultCase{"ModifyDeleteList", 12, 1, 1},
                                           FaultCase{"ModifySecondParameter", 10, 2, 1},
                                           FaultCase{"ModifySchemeRow", 13, 1, 1},
                                           FaultCase{"DeleteSchemeRow", 14, 1, 2},
                                           FaultCase{"DeleteList", 12, 1, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DatabaseTest, FailedStatementsReportFalse) {
    db->SetFaultHook([](int) { return true; });
    QList<ProductModel> models;
    EXPECT_FALSE(db->SelectAllModels(models));
    bool matches = true;
    EXPECT_FALSE(db->MatchLogin("admin", "admin123", matches));
    EXPECT_FALSE(matches);
    db->SetFaultHook({});
    // A statement the database refuses also gives false.
    QSqlQuery q = db->NewQuery();
    EXPECT_FALSE(OpenQuery(q, "select * from NoSuchTable"));
    EXPECT_FALSE(ExecQuery(q, "insert into Config(NoSuchColumn) values(1)"));
}

// Two threads query at once, each on its own connection, which goes when its thread ends.
TEST_F(DatabaseTest, ThreadsUseTheirOwnConnections) {
    constexpr int kThreads = 2;
    std::atomic<int> failures{0};
    QString names[kThreads];
    std::atomic<int> ready{0};
    QList<QThread*> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.append(QThread::create([&, t] {
            names[t] = db->Connection().connectionName();
            ++ready;
            while (ready.load() < kThreads)
                QThread::yieldCurrentThread();
            for (int i = 0; i < 200; ++i) {
                QStringList list;
                std::optional<Scheme> s;
                if (!db->SelectOrderedParametersOfModel("KX2953B35-01", list) || list.size() != 3 ||
                    !db->SelectSchemeOfModel("KX7410Y10-01", s) || !s || s->txxy != 3)
                    ++failures;
            }
            if (t == 0) {
                // A writer on one thread while the other reads.
                ProductModel m{QStringLiteral("KX2953T%1-01").arg(t),
                               QString::fromUtf8("标准方式")};
                if (!db->InsertModel(m)) ++failures;
            }
        }));
    }
    for (QThread* th : threads)
        th->start();
    for (QThread* th : threads) {
        th->wait();
        delete th;
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_NE(names[0], names[1]);
    EXPECT_NE(names[0], db->Connection().connectionName());
    for (const QString& n : names)
        EXPECT_FALSE(QSqlDatabase::contains(n)) << n.toStdString();
    std::optional<ProductModel> m;
    ASSERT_TRUE(db->SelectModel("KX2953T0-01", m));
    EXPECT_TRUE(m);
}

// A thread not started by Qt drops its connection when it ends as well.
TEST_F(DatabaseTest, PlainThreadsDropTheirConnection) {
    QString name;
    bool ok = false;
    std::thread worker([&] {
        name = db->Connection().connectionName();
        QList<ProductModel> models;
        ok = db->SelectAllModels(models) && models.size() == 2;
    });
    worker.join();
    EXPECT_TRUE(ok);
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(QSqlDatabase::contains(name));
}

// ---- Test plans ------------------------------------------------------------------------------

TEST(TestPlanPoints, SelectableAreExactlyTheChoicesOfTheRealTimePage) {
    int selectable = 0;
    for (double u : kPlanVoltagePercents)
        for (double i : kPlanCurrentPercents)
            for (double a : kPlanAngles)
                for (double f : kPlanFrequencies)
                    selectable += IsSelectableTestPoint({u, i, a, f});
    EXPECT_EQ(selectable, 5 * 5 * 6 * 5);
    const TestPlanPoint refused[] = {
        {1, 100, 0, 50},          // 1 % is a current, not a voltage
        {100, 10, 0, 50},         // 10 % is a voltage, not a current
        {100, 100, 45, 50},       // no such angle
        {100, 100, -30, 50},      // 330° is not written as -30°
        {100, 100, 360, 50},      // nor 0° as 360°
        {100, 100, 0, 50.5},      // no such frequency
        {100.000001, 100, 0, 50}, // near is not the choice
        {std::nan(""), 100, 0, 50},
        {100, 100, 0, std::numeric_limits<double>::infinity()},
    };
    for (const TestPlanPoint& p : refused)
        EXPECT_FALSE(IsSelectableTestPoint(p))
            << p.voltagePercent << " " << p.currentPercent << " " << p.angle << " " << p.frequency;
}

class TestPlans : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        for (const TestPlan& p : initial)
            ASSERT_TRUE(db->SavePlan(p));
    }
    // The plans of both models, the order of SelectPlans kept.
    QList<TestPlan> All() {
        QList<TestPlan> all, plans;
        for (const char* model : {kModel, kOther}) {
            EXPECT_TRUE(db->SelectPlans(model, plans));
            all += plans;
        }
        return all;
    }
    static constexpr const char* kModel = "KX2953B35-01";
    static constexpr const char* kOther = "KX7410Y10-01";
    // Stored in another order than their names'; the points in no sorted order either.
    const QList<TestPlan> initial = {
        {kModel, QString::fromUtf8("轻载"), {{100, 1, 0, 50}, {10, 0, 0, 45}}},
        {kModel,
         QString::fromUtf8("满载"),
         {{120, 120, 330, 65}, {100, 100, 60, 50}, {0, 50, 300, 55}}},
        {kOther, QString::fromUtf8("满载"), {{50, 50, 90, 60}}},
    };
};

TEST_F(TestPlans, ComeBackByNameWithTheirPointsInOrder) {
    EXPECT_EQ(All(), (QList<TestPlan>{initial[1], initial[0], initial[2]}));
    QList<TestPlan> plans{initial[0]};
    ASSERT_TRUE(db->SelectPlans("KX0000X00-00", plans));
    EXPECT_TRUE(plans.isEmpty());
}

// What a save does to the stored plans: the plan (model, name) replaced or added with exactly
// its points, or, refused, nothing at all.
struct PlanSave {
    const char* name;
    TestPlan plan;
    bool accepted;
};

void PrintTo(const PlanSave& c, std::ostream* os) {
    *os << c.name;
}

class PlanSaves : public TestPlans, public ::testing::WithParamInterface<PlanSave> {};

TEST_P(PlanSaves, ReplaceAddOrLeaveEverythingAsItWas) {
    const PlanSave& c = GetParam();
    const QList<TestPlan> before = All();
    EXPECT_EQ(db->SavePlan(c.plan), c.accepted);
    if (!c.accepted) {
        EXPECT_EQ(All(), before);
        return;
    }
    const TestPlan saved{c.plan.model.trimmed(), c.plan.name.trimmed(), c.plan.points};
    QList<TestPlan> expected;
    for (const TestPlan& p : before)
        if (p.model != saved.model || p.name != saved.name) expected.append(p);
    expected.append(saved);
    // By model as All() reads them, then by name.
    std::stable_sort(expected.begin(), expected.end(), [](const TestPlan& a, const TestPlan& b) {
        return a.model != b.model ? a.model == kModel : a.name < b.name;
    });
    EXPECT_EQ(All(), expected);
}

const QString kFull = QString::fromUtf8("满载");
const TestPlanPoint kOnePoint[] = {{50, 1, 30, 45}};

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanSaves,
    ::testing::Values(
        PlanSave{"NewPlanInItsOrder",
                 {"KX2953B35-01",
                  QString::fromUtf8("起动"),
                  {{0, 0, 0, 45}, {120, 120, 330, 65}, {10, 1, 90, 55}, {100, 100, 0, 50}}},
                 true},
        PlanSave{"ReplaceKeepsOnlyTheNewPoints", {"KX2953B35-01", kFull, {kOnePoint[0]}}, true},
        PlanSave{"ReplaceWithMorePoints",
                 {"KX2953B35-01",
                  kFull,
                  {{0, 0, 0, 45},
                   {10, 1, 30, 50},
                   {50, 50, 60, 55},
                   {100, 100, 90, 60},
                   {120, 120, 300, 65}}},
                 true},
        PlanSave{"BlanksAroundNamesReplace",
                 {" KX2953B35-01\t", QString::fromUtf8("  满载 "), {kOnePoint[0]}},
                 true},
        PlanSave{"SameNameOtherModel", {"KX7410Y10-01", kFull, {kOnePoint[0]}}, true},
        PlanSave{"EmptyName", {"KX2953B35-01", "", {kOnePoint[0]}}, false},
        PlanSave{"BlankName", {"KX2953B35-01", "   ", {kOnePoint[0]}}, false},
        PlanSave{"EmptyModel", {" ", kFull, {kOnePoint[0]}}, false},
        PlanSave{"NoPoints", {"KX2953B35-01", kFull, {}}, false},
        PlanSave{"LastPointUnselectable",
                 {"KX2953B35-01", kFull, {kOnePoint[0], {100, 100, 0, 50}, {100, 100, 0, 51}}},
                 false},
        PlanSave{"VoltageOfACurrent", {"KX2953B35-01", kFull, {{1, 1, 0, 50}}}, false},
        PlanSave{"NaN", {"KX2953B35-01", kFull, {{100, std::nan(""), 0, 50}}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TestPlans, DeleteTakesOnlyThatPlan) {
    ASSERT_TRUE(db->DeletePlan(QString::fromUtf8(" KX2953B35-01 "), QString::fromUtf8("满载 ")));
    EXPECT_EQ(All(), (QList<TestPlan>{initial[0], initial[2]}));
    ASSERT_TRUE(db->DeletePlan(kModel, QString::fromUtf8("满载"))); // gone already: no error
    EXPECT_EQ(All(), (QList<TestPlan>{initial[0], initial[2]}));
}

// A failure at any statement of a save leaves the stored plan as it was.
TEST_F(TestPlans, AFailedSaveLeavesTheStoredPlan) {
    const TestPlan replacement{kModel, kFull, {{0, 0, 0, 45}, {10, 1, 30, 50}, {50, 50, 60, 55}}};
    const struct {
        int statement;
        int occurrence;
    } faults[] = {{26, 1}, {27, 1}, {27, 3}};
    const QList<TestPlan> before = All();
    for (const auto& f : faults) {
        int seen = 0;
        db->SetFaultHook(
            [&](int statement) { return statement == f.statement && ++seen == f.occurrence; });
        EXPECT_FALSE(db->SavePlan(replacement)) << f.statement << "/" << f.occurrence;
        EXPECT_EQ(seen, f.occurrence) << "the fault was not reached";
        db->SetFaultHook({});
        EXPECT_EQ(All(), before) << f.statement << "/" << f.occurrence;
    }
    db->SetFaultHook([](int statement) { return statement == 25; });
    QList<TestPlan> plans{initial[0]};
    EXPECT_FALSE(db->SelectPlans(kModel, plans));
    EXPECT_TRUE(plans.isEmpty());
    db->SetFaultHook({});
    ASSERT_TRUE(db->SavePlan(replacement));
    ASSERT_TRUE(db->SelectPlans(kModel, plans));
    EXPECT_EQ(plans, (QList<TestPlan>{replacement, initial[0]}));
}

// A model and its plans go together or not at all.
TEST_F(TestPlans, AFailedModelDeleteKeepsModelAndPlans) {
    const QList<TestPlan> before = All();
    db->SetFaultHook([](int statement) { return statement == 28; });
    EXPECT_FALSE(db->DeleteModel(kModel));
    db->SetFaultHook({});
    EXPECT_EQ(All(), before);
    QList<ProductModel> models;
    ASSERT_TRUE(db->SelectAllModels(models));
    EXPECT_TRUE(std::any_of(models.begin(), models.end(),
                            [](const ProductModel& m) { return m.cpxh.trimmed() == kModel; }));
}

// Rows written by another program: names with blanks, numbers as integers or texts.
TEST_F(TestPlans, StoredRowsAreReadAsTheProgramWritesThem) {
    Raw("insert into TestPlan(Model,Name,Position,VoltagePercent,CurrentPercent,Angle,Frequency) "
        "values(' KX2953B35-01 ', ' 校验 ', 2, 100, 100, 0, 50), "
        "('KX2953B35-01', '校验', 1, '120', ' 1 ', '300', '65.0')");
    QList<TestPlan> plans;
    ASSERT_TRUE(db->SelectPlans(kModel, plans));
    // 校验 sorts before 满载 and 轻载.
    EXPECT_EQ(plans,
              (QList<TestPlan>{
                  {kModel, QString::fromUtf8("校验"), {{120, 1, 300, 65}, {100, 100, 0, 50}}},
                  initial[1],
                  initial[0]}));
    if (OnPostgres()) return; // a typed column refuses the text itself
    Raw("update TestPlan set Angle = 'abc' where Position = 1 and trim(Name) = '校验'");
    EXPECT_THROW(db->SelectPlans(kModel, plans), ConversionError);
}

// A Config.db of the first version: no plans, no migrations recorded, the passwords in plain
// text. The next start brings it up to date in place: the plan table comes, the password becomes
// a hash that logs in, and every other row of the seven tables stays as it was.
TEST(DatabaseStart, AnOlderDatabaseIsUpgradedInPlace) {
    SKIP_ON_POSTGRES("a Config.db of an earlier version");
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    const QString path = dir.filePath(kDatabaseFile);
    const auto rows = [](ProductDatabase& db) {
        QStringList out;
        QSqlQuery q = db.NewQuery();
        for (const TableSchema& t : DatabaseTables()) {
            if (t.name == "usertable") continue;
            EXPECT_TRUE(OpenQuery(q, "select * from " + t.name + " order by rowid"));
            while (q.next())
                for (int i = 0; i < t.columns.size(); ++i)
                    out.append(t.name + ":" + q.value(i).toString());
        }
        return out;
    };
    QStringList before;
    {
        ProductDatabase older(path);
        ASSERT_EQ(older.Open(dir.path()), QString());
        QSqlQuery q = older.NewQuery();
        ASSERT_TRUE(ExecQuery(q, "drop table TestPlan"));
        ASSERT_TRUE(ExecQuery(q, QString("drop table ") + kVersionTable));
        ASSERT_TRUE(ExecQuery(q, "update usertable set userpass = 'admin123'"));
        ASSERT_TRUE(ExecQuery(q, "insert into Config(CPXH,FS,BTLGS,JXMS,UPT,ICT,CTNUM,XLJSFS) "
                                 "values('KX2953C10-02','标准方式',1,2,3,4,1,1)"));
        ASSERT_FALSE(HasPlanTable(older.Connection()));
        before = rows(older);
    }
    ProductDatabase db(path);
    ASSERT_EQ(db.Open(dir.path()), QString());
    EXPECT_TRUE(HasPlanTable(db.Connection()));
    EXPECT_EQ(SchemaVersionOf(db.Connection(), kProductComponent),
              LatestVersion(kProductComponent));
    const QStringList after = rows(db);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(after.contains("Config:KX2953C10-02"));
    std::optional<UserAccount> admin;
    ASSERT_TRUE(db.SelectUser("admin", admin));
    ASSERT_TRUE(admin);
    EXPECT_TRUE(IsPasswordHash(admin->userpass));
    bool matches = false;
    ASSERT_TRUE(db.MatchLogin("admin", "admin123", matches));
    EXPECT_TRUE(matches);

    const TestPlan plan{"KX2953C10-02", QString::fromUtf8("出厂"), {{100, 100, 0, 50}}};
    ASSERT_TRUE(db.SavePlan(plan));
    QList<TestPlan> plans;
    ASSERT_TRUE(db.SelectPlans(plan.model, plans));
    EXPECT_EQ(plans, QList<TestPlan>{plan});
}

TEST(DatabaseStart, BrokenFilesAreFatalWithTheFileNamed) {
    SKIP_ON_POSTGRES("files");
    struct Case {
        const char* name;
        QByteArray content;
        const char* inMessage;
    };
    const Case cases[] = {
        {"Garbage", QByteArray(4096, 'x'), "not a database"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        WriteSeedFixture(dir.path());
        WriteTextFile(dir.filePath(kDatabaseFile), c.content);
        ProductDatabase db(dir.filePath(kDatabaseFile));
        const QString error = db.Open(dir.path());
        EXPECT_TRUE(error.contains(kDatabaseFile)) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(c.inMessage)) << c.name << ": " << error.toStdString();
    }
}

TEST(DatabaseStart, AlienDatabaseIsFatal) {
    SKIP_ON_POSTGRES("files");
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    {
        QSqlDatabase alien = QSqlDatabase::addDatabase("QSQLITE", "alien");
        alien.setDatabaseName(dir.filePath(kDatabaseFile));
        ASSERT_TRUE(alien.open());
        QSqlQuery q(alien);
        ASSERT_TRUE(q.exec("create table Config(CPXH TEXT, FS TEXT)"));
        alien.close();
    }
    QSqlDatabase::removeDatabase("alien");
    ProductDatabase db(dir.filePath(kDatabaseFile));
    const QString error = db.Open(dir.path());
    EXPECT_TRUE(error.contains(kDatabaseFile)) << error.toStdString();
    EXPECT_TRUE(error.contains("column BTLGS of table Config is missing")) << error.toStdString();
}

TEST(DatabaseStart, MissingSeedLeavesNoHalfDatabase) {
    SKIP_ON_POSTGRES("files");
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    QFile::remove(dir.filePath("seed/config.csv"));
    const std::string before = Entries(dir.path());
    ProductDatabase db(dir.filePath(kDatabaseFile));
    const QString error = db.Open(dir.path());
    EXPECT_TRUE(error.contains("config.csv")) << error.toStdString();
    EXPECT_EQ(Entries(dir.path()), before);
}

// The rollback journal SQLite writes while it commits the first rows of a new file: its header
// says the file had no pages before. Whoever next reads a file of that name rolls it back, that
// is, empties the file.
QByteArray HotJournalOfANewFile() {
    QByteArray journal(512, '\0');
    const unsigned char header[] = {
        0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7, // magic
        0,    0,    0,    0,                            // page records: none
        0x5e, 0x1f, 0x00, 0x2a,                         // checksum nonce
        0,    0,    0,    0,                            // pages before the transaction
        0,    0,    0x02, 0x00,                         // sector size 512
        0,    0,    0x10, 0x00,                         // page size 4096
    };
    std::copy(std::begin(header), std::end(header), journal.begin());
    return journal;
}

QByteArray SeededDatabaseBytes() {
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    {
        ProductDatabase db(dir.filePath(kDatabaseFile));
        EXPECT_EQ(db.Open(dir.path()), QString());
    }
    QFile f(dir.filePath(kDatabaseFile));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a start or a "kx7410-dbtool create" cut short while it made the file left behind.
struct RemainsCase {
    const char* name;
    bool file;     // a Config.db is there
    bool complete; // ... with every row written (else 0 bytes)
    bool journal;  // a hot journal lies beside it
};

void PrintTo(const RemainsCase& c, std::ostream* os) {
    *os << c.name;
}

class CreationRemains : public ::testing::TestWithParam<RemainsCase> {};

TEST_P(CreationRemains, NextStartMakesTheDatabaseAnew) {
    SKIP_ON_POSTGRES("files");
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    const QStringList seedFiles = QDir(dir.path()).entryList(QDir::Files);
    const QString path = dir.filePath(kDatabaseFile);
    if (GetParam().file) WriteTextFile(path, GetParam().complete ? SeededDatabaseBytes() : "");
    if (GetParam().journal) WriteTextFile(path + "-journal", HotJournalOfANewFile());

    ProductDatabase db(path);
    ASSERT_EQ(db.Open(dir.path()), QString());
    QList<ProductModel> models;
    ASSERT_TRUE(db.SelectAllModels(models));
    EXPECT_EQ(models.size(), 2);
    bool matches = false;
    ASSERT_TRUE(db.MatchLogin("admin", "admin123", matches));
    EXPECT_TRUE(matches);
    EXPECT_EQ(Entries(dir.path()), Names(seedFiles + QStringList{kDatabaseFile}));
}

INSTANTIATE_TEST_SUITE_P(Cases, CreationRemains,
                         ::testing::Values(RemainsCase{"EmptyFile", true, false, false},
                                           RemainsCase{"EmptyFileAndJournal", true, false, true},
                                           RemainsCase{"CommitCutShort", true, true, true},
                                           // the file deleted by hand, its journal forgotten
                                           RemainsCase{"JournalAlone", false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DatabaseStart, RemovesTheTemporaryFilesOfCreationsThatDied) {
    SKIP_ON_POSTGRES("files");
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    const QStringList seedFiles = QDir(dir.path()).entryList(QDir::Files);
    const QStringList kept = {".Config.db.backup", ".Config.db.a1B2c3.part.old",
                              ".Other.db.a1B2c3.part", "Config.db.a1B2c3.part"};
    const QStringList remains = {".Config.db.a1B2c3.part", ".Config.db.a1B2c3.part-journal",
                                 ".Config.db.Zz0099.part"};
    for (const QString& name : kept + remains)
        WriteTextFile(dir.filePath(name), "left");
    ProductDatabase db(dir.filePath(kDatabaseFile));
    ASSERT_EQ(db.Open(dir.path()), QString());
    EXPECT_EQ(Entries(dir.path()), Names(seedFiles + kept + QStringList{kDatabaseFile}));
}

TEST(DatabaseStart, ExistingDatabaseIsNotReseeded) {
    SKIP_ON_POSTGRES("files");
    QTemporaryDir dir;
    WriteSeedFixture(dir.path());
    {
        ProductDatabase db(dir.filePath(kDatabaseFile));
        ASSERT_EQ(db.Open(dir.path()), QString());
        ASSERT_TRUE(db.DeleteModel("KX2953B35-01"));
    }
    ProductDatabase db(dir.filePath(kDatabaseFile));
    ASSERT_EQ(db.Open(dir.path()), QString());
    QList<ProductModel> models;
    ASSERT_TRUE(db.SelectAllModels(models));
    EXPECT_EQ(models.size(), 1);
}
} // namespace
