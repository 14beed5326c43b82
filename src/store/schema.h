#pragma once
// The schema of Config.db and the filling of its tables from data files: the seed of a new
// database and the import of tables read from another database.

#include "store/catalogue.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

struct TableSchema {
    QString name;
    QStringList columns;       // in column order; "ID" is assigned by the database
    QStringList numberColumns; // stored as integers (texts go through StrToInt)
    bool hasId() const { return columns.contains(QStringLiteral("ID")); }
};

// The seven tables: Config, Fstable, Cstable, Outpar, DL645Data_97, DL645Data_07, usertable.
const QList<TableSchema>& DatabaseTables();
const TableSchema* FindTable(const QString& name);

// Creates the seven tables and the plan table (no rows), with the engine's column types.
// Returns an error text or empty.
QString CreateSchema(QSqlDatabase db);

// The table of the test plans, TestPlan (Model, Name, Position, VoltagePercent, CurrentPercent,
// Angle, Frequency), one row per point. It came after the seven tables: it is made, empty, when
// missing (a Config.db of an earlier version), and CheckSchema does not ask for it. Returns an
// error text or empty.
inline constexpr const char* kPlanTable = "TestPlan";
QString CreatePlanTable(QSqlDatabase db);
// True when db holds the plan table (false also when that cannot be read).
bool HasPlanTable(QSqlDatabase db);

// Empty when db holds every table and column of the schema, else what is wrong.
QString CheckSchema(QSqlDatabase db);

// Appends the rows of a data table to a table of the schema. Columns are matched by name
// (case-insensitive); columns the schema does not know are ignored, schema columns missing from
// the data stay empty (an ID missing is assigned in row order). Number columns must convert;
// with emptyAsNull an empty number field is stored as NULL. Returns an error text or empty.
QString InsertRows(QSqlDatabase db, const TableSchema& table, const DataTable& data,
                   bool emptyAsNull = false);

// On PostgreSQL, sets the counter of the table's ID column past the rows there (after rows were
// inserted with their own IDs). Returns an error text or empty.
QString ResyncIds(QSqlDatabase db, const TableSchema& table);

// Schema and seed rows of a new database, by the migrations (see migrations.h): Outpar from
// outpar.csv (ID = catalogue order), the DL/T 645 items from dl645_97.csv and dl645_07.csv, and the
// schemes, parameter lists, models and accounts of seed/fstable.csv, seed/cstable.csv,
// seed/config.csv and seed/usertable.csv, the passwords hashed. Returns an error text or empty.
QString CreateSeededDatabase(QSqlDatabase db, const QString& seedDir);

// A new database file at path, made by CreateSeededDatabase in a temporary file beside it
// (".<name>.XXXXXX.part") that is renamed over path only once it is complete: a creation cut
// short leaves no half-made file under the name the next start looks for. What is at path is
// replaced, so the caller decides that nothing there is worth keeping; its stale journal goes
// too. Temporary files of earlier creations that died are removed first. Returns an error text
// or empty; on error path is left as it was and no temporary file remains.
QString CreateSeededDatabaseFile(const QString& path, const QString& seedDir);

// File names of the seed rows below the data folder.
inline constexpr const char* kSeedSchemesFile = "seed/fstable.csv";
inline constexpr const char* kSeedSchemeParametersFile = "seed/cstable.csv";
inline constexpr const char* kSeedModelsFile = "seed/config.csv";
inline constexpr const char* kSeedAccountsFile = "seed/usertable.csv";
