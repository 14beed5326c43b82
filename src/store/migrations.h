#pragma once
// The numbered upgrades of the databases. Each is applied in a transaction of its own at start,
// and its number is recorded in the table SchemaVersion with it, so that a database is brought
// from whatever version made it to the current one, on SQLite and PostgreSQL alike. A
// migration that fails is rolled back whole: the database stays as it was and the caller
// refuses to start.
//
// Two components have their own numbers: "product" (the seven tables of the product database,
// the test plans, the password hashes) and "records" (the records of the units). On SQLite
// they live in two files, on PostgreSQL in one database.

#include <QSqlDatabase>
#include <QString>

#include <functional>

inline constexpr const char* kVersionTable = "SchemaVersion";
inline constexpr const char* kProductComponent = "product";
inline constexpr const char* kRecordsComponent = "records";

// Called before each migration commits with the component and the migration's number;
// returning true makes it fail there (tests of the rollback).
using MigrationFault = std::function<bool(const QString& component, int version)>;

// Brings the product database up to date. With a seedDir, a database holding none of the seven
// tables gets them, filled from the seed files there; otherwise (and whenever one of them is
// there) every table and column must be present, else it is no product database and is refused.
// Returns an error text naming the migration, or empty.
QString MigrateProductDatabase(QSqlDatabase db, const QString& seedDir,
                               const MigrationFault& fault = {});
QString MigrateRecords(QSqlDatabase db, const MigrationFault& fault = {});

// The newest migration recorded for the component; 0 when none is (or on error).
int SchemaVersionOf(QSqlDatabase db, const QString& component);
// The number of the newest migration this program knows.
int LatestVersion(const QString& component);

// A statement with the engine's words for what the engines name differently: %ID% (an
// integer key the database assigns, explicit values allowed), %REAL% (a double).
QString EngineSql(QSqlDatabase db, const char* text);
// True when db has the table (names compared without regard to case).
bool HasTable(QSqlDatabase db, const QString& table);
