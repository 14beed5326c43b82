#pragma once
// The product database: Config.db (SQLite) or a PostgreSQL database shared by the stations of a
// factory, through Qt SQL (see db_location.h). It holds product models (Config), schemes
// (Fstable) with their ordered parameter lists (Cstable), the output-parameter catalogue
// (Outpar), the DL/T 645 item tables, the administrator accounts (usertable) and the test plans
// of the models (TestPlan).
//
// Threads: any thread may call any member. Each thread gets its own connection, opened at its
// first statement and removed when the thread finishes (a QSqlDatabase connection may only be
// used in the thread that created it). SQLite writers on other threads wait up to a few seconds
// for the file lock.
//
// Every statement binds its values: names holding quotes are stored and found like any other.
// Names are compared without their surrounding blanks and read back trimmed.

#include "store/catalogue.h"
#include "store/db_location.h"
#include "store/migrations.h"

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <optional>

inline constexpr const char* kDatabaseFile = "Config.db";
// Direction and enable columns hold "0xAA55" (multiply / enabled) or "0x0000" (divide / off).
inline constexpr int kFlagOn = 0xAA55;
inline constexpr const char* kFlagOnText = "0xAA55";
inline constexpr const char* kFlagOffText = "0x0000";

// Table Config.
struct ProductModel {
    QString cpxh; // model name
    QString fs;   // scheme name
    int btlgs = 0;
    int jxms = 0;
    int upt = 1;
    int ict = 1;
    int ctnum = 0;
    int xljsfs = 0;
};

// Table Fstable. Direction and enable columns keep their stored text (trimmed), as the scheme
// editor shows it; FlagValue reads them.
struct Scheme {
    int id = 0; // assigned by the database; ignored when writing
    QString fs;
    QString ublfx = kFlagOffText;
    int ubl = 1;
    QString iblfx = kFlagOffText;
    int ibl = 1;
    QString pblfx = kFlagOffText;
    int pbl = 1;
    QString eblfx = kFlagOffText;
    int ebl = 1;
    int txxy = 0;
    int sdbjxs = 0;
    QString cslxsn = kFlagOffText;
    QString fdbdsn = kFlagOffText;
    QString csfhsn = kFlagOffText;
    QString glysfxsn = kFlagOffText;
    bool operator==(const Scheme&) const = default;
};

// Reads a direction or enable text the way the runtime does ("0xAA55" and "43605" give 43605).
// Throws ConversionError for a text that is not a number.
int FlagValue(const QString& text);

// Table Outpar with its ID (catalogue position).
struct OutputParameterRow {
    int id = 0;
    OutputParameter parameter;
};

// Tables DL645Data_97 / DL645Data_07. For 1997 the identifier is stored as a number
// (DI1 * 256 + DI0) and read back as its decimal text; for 2007 it is the text "0x" + 8 digits.
struct Dlt645ItemRow {
    int id = 0;
    Dlt645Item item;
};

struct UserAccount {
    QString username;
    QString userpass;
};

// A test plan of a product model: the test points of the reference source, run one after
// another on the real-time page. Each coordinate is one of the choices of that page's radio
// groups, so a point can be set there exactly.
struct TestPlanPoint {
    double voltagePercent = 100;
    double currentPercent = 100;
    double angle = 0;
    double frequency = 50;
    bool operator==(const TestPlanPoint&) const = default;
};
struct TestPlan {
    QString model;
    QString name;
    QList<TestPlanPoint> points; // in the order they are run
    bool operator==(const TestPlan&) const = default;
};

// The choices of the real-time page, in the order of its buttons.
inline constexpr double kPlanVoltagePercents[] = {0, 10, 50, 100, 120};
inline constexpr double kPlanCurrentPercents[] = {0, 1, 50, 100, 120};
inline constexpr double kPlanAngles[] = {0, 30, 60, 90, 300, 330};
inline constexpr double kPlanFrequencies[] = {45, 50, 55, 60, 65};

// True when the point is one of the real-time page's choices.
bool IsSelectableTestPoint(const TestPlanPoint& point);

// Runs a statement that returns rows, with its values bound in order. True when it ran; the
// query then stands before its first row. Any error gives false, with nothing reported.
bool OpenQuery(QSqlQuery& query, const QString& statement, const QVariantList& values = {});
// The same for a statement without rows.
bool ExecQuery(QSqlQuery& query, const QString& statement, const QVariantList& values = {});

// Changed: the scheme was changed (or deleted) by someone else since it was loaded; nothing was
// written.
enum class SchemeWrite { Done, DuplicateName, Failed, Changed };

// A scheme as an editor loaded it, to tell at its save whether another station changed it since.
struct LoadedScheme {
    Scheme scheme;
    QStringList parameters;
};

class ProductDatabase {
public:
    // filePath: the Config.db file. Nothing is opened until Open() or the first statement.
    explicit ProductDatabase(QString filePath);
    explicit ProductDatabase(DatabaseLocation location);
    ~ProductDatabase();
    ProductDatabase(const ProductDatabase&) = delete;
    ProductDatabase& operator=(const ProductDatabase&) = delete;

    // Start-up: when the file does not exist or is empty (0 bytes) it is created with the schema
    // and the seed rows from seedDir (the catalogue files and seed/*.csv), in a temporary file
    // renamed into place once complete. An existing file must be an SQLite database holding
    // every table and column of the schema; the migrations bring it up to date (the plan table,
    // hashed passwords), its rows left as they are. A PostgreSQL database is migrated the same
    // way, a new one seeded. Returns an empty text on success, else a message naming the file
    // (the server, with host and port, when it cannot be reached).
    QString Open(const QString& seedDir);

    // The product file (SQLite) or the server's database as "postgresql://user@host:port/name".
    const QString& filePath() const { return path_; }
    const DatabaseLocation& location() const { return location_; }
    // Test hook: makes a migration fail at its end (see migrations.h).
    void SetMigrationFault(MigrationFault fault) { migrationFault_ = std::move(fault); }
    // This thread's connection (opened on first use).
    QSqlDatabase Connection() const;
    // A query on this thread's connection.
    QSqlQuery NewQuery() const;

    // Test hook: called with the statement number before each statement; returning true makes
    // that statement fail as a database error would.
    void SetFaultHook(std::function<bool(int statement)> hook) { faultHook_ = std::move(hook); }

    // The statements of the program, one function each. All return false on a database error
    // and leave their output empty then. Rows are read with the names trimmed; numbers go
    // through StrToInt (a stored text that is not a number throws ConversionError).
    bool SelectAllModels(QList<ProductModel>& out);                                    // 1
    bool SelectModel(const QString& model, std::optional<ProductModel>& out);          // 2
    bool SelectScheme(const QString& scheme, std::optional<Scheme>& out);              // 3
    bool SelectSchemeParameters(const QString& scheme, QStringList& out);              // 4
    bool SelectParameter(const QString& name, std::optional<OutputParameterRow>& out); // 5
    bool FindParameter(const QString& name, std::optional<OutputParameterRow>& out);   // 6
    bool SelectCatalogue(QList<OutputParameterRow>& out);                              // 7
    bool SelectSchemes(QList<Scheme>& out); // 8: schemes with a non-zero ID, ascending ID
    bool SchemeExists(const QString& scheme, bool& exists);                      // 9
    bool InsertSchemeParameter(const QString& scheme, const QString& parameter); // 10
    bool InsertScheme(const Scheme& scheme);                                     // 11
    bool DeleteSchemeParameters(const QString& scheme);                          // 12
    bool UpdateScheme(const Scheme& scheme);     // 13; false also when no such scheme exists
    bool DeleteScheme(const QString& scheme);    // 14
    bool UpdateModel(const ProductModel& model); // 15; false also when no such model exists
    bool InsertModel(const ProductModel& model); // 16
    bool DeleteModel(const QString& model);      // 17
    bool SelectSchemeOfModel(const QString& model, std::optional<Scheme>& out);  // 18
    bool SelectParametersOfModel(const QString& model, QStringList& out);        // 19
    bool SelectOrderedParametersOfModel(const QString& model, QStringList& out); // 20
    bool SelectDlt645Items1997(QList<Dlt645ItemRow>& out);                       // 21
    bool SelectDlt645Items2007(QList<Dlt645ItemRow>& out);                       // 22
    bool SelectUser(const QString& user, std::optional<UserAccount>& out);       // 23
    // 24: the password against the account's stored hash. A name that does not exist takes as
    // long as a wrong password.
    bool MatchLogin(const QString& user, const QString& password, bool& matches);

    // Test plans (table TestPlan, one row per point). Model and plan names are compared and
    // stored trimmed.
    // The model's plans ordered by name, each with its points in order; none is no error.
    bool SelectPlans(const QString& model, QList<TestPlan>& out); // 25
    // Adds the plan (model, name) or replaces it with these points, in one transaction. Refuses
    // (false, nothing written) an empty model or name, no points, or a point that is not
    // selectable.
    bool SavePlan(const TestPlan& plan); // 26 (the old points), 27 (each point)
    // The plan's points; a plan that does not exist is no error.
    bool DeletePlan(const QString& model, const QString& name); // 26

    // The multi-statement writes of the scheme editor, each in one transaction: a failure at any
    // statement leaves the database as it was.
    // New scheme: the name must be free (else DuplicateName), then its parameters in list order
    // and the scheme row.
    SchemeWrite CreateSchemeWithParameters(const Scheme& scheme, const QStringList& parameters);
    // Existing scheme: its parameter list is replaced and its row updated.
    bool ModifySchemeWithParameters(const Scheme& scheme, const QStringList& parameters);
    // The same, after comparing the stored scheme and list with what the editor loaded: Changed,
    // with nothing written, when they differ (another station saved in between). On PostgreSQL
    // the scheme's row stays locked from the comparison to the commit, so two saves cannot both
    // pass it.
    SchemeWrite ModifySchemeIfUnchanged(const Scheme& scheme, const QStringList& parameters,
                                        const LoadedScheme& loaded);
    // The scheme and its list as stored now, for a later ModifySchemeWithParameters; nullopt when
    // there is no such scheme or on a database error.
    std::optional<LoadedScheme> LoadScheme(const QString& scheme);
    // The scheme row and its parameter list.
    bool DeleteSchemeWithParameters(const QString& scheme);

private:
    bool Open(QSqlQuery& q, int statement, const QString& sql, const QVariantList& values);
    bool Exec(int statement, const QString& sql, const QVariantList& values,
              int* rowsAffected = nullptr);
    bool Fault(int statement) const { return faultHook_ && faultHook_(statement); }
    bool Revive() const;
    // The statements of a scheme's save, inside the caller's transaction.
    bool WriteScheme(const Scheme& scheme, const QStringList& parameters);
    bool SelectNames(int statement, const QString& sql, const QString& value, QStringList& out);
    template <typename Body> bool InTransaction(Body body);

    DatabaseLocation location_;
    QString path_;
    quint64 instance_;
    std::function<bool(int)> faultHook_;
    MigrationFault migrationFault_;
};
