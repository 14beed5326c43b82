#pragma once
// Where the product database and the records live: two SQLite files in the data folder (the
// default, one station on its own), or one PostgreSQL database shared by every station of a
// factory. Config.ini section [Database] says which:
//
//   [Database]
//   Driver=postgresql      ; sqlite (default) or postgresql
//   Host=db.factory.lan
//   Port=5432
//   Name=kx7410
//   User=station
//
// The password is never kept in Config.ini: libpq takes it from PGPASSWORD or ~/.pgpass, as
// for every PostgreSQL client.

#include <QSqlDatabase>
#include <QString>

enum class DbEngine { Sqlite, Postgres };

struct DatabaseLocation {
    DbEngine engine = DbEngine::Sqlite;
    // SQLite: the product database and the records file, and the folder Config.ini named for them
    // (empty where a caller gave the files themselves).
    QString productFile;
    QString resultsFile;
    QString folder;
    // PostgreSQL: one database holds both.
    QString host;
    int port = 5432;
    QString name;
    QString user;

    // "postgresql://user@host:port/name" or the product file's path, for messages.
    QString Describe() const;
    // "host:port", what a station says it cannot reach.
    QString Server() const;
};

inline constexpr const char* kDefaultPostgresPort = "5432";

// The two files beside each other in dataDir (Config.db and Results.db).
DatabaseLocation SqliteLocation(const QString& dataDir);
// The [Database] section of Config.ini in settingsDir; absent section or Driver means SQLite in
// databaseDir (empty: settingsDir, the portable layout). Throws ConversionError naming the key for
// an unknown driver, a port that is not a number in 1..65535 or a server without host or name.
DatabaseLocation LoadDatabaseLocation(const QString& settingsDir, const QString& databaseDir = {});
// A location as the database tool takes it: "postgresql://[user@]host[:port]/name" (user
// defaults to the login name, as for psql) or the path of a product database file (its records
// file beside it). Empty error on success.
DatabaseLocation ParseDatabaseLocation(const QString& text, QString* error);

enum class DbRole { Product, Records };
// A new connection under name to the product database or to the records: the right file for
// SQLite, the one server database for PostgreSQL. Not opened yet.
QSqlDatabase AddConnection(const DatabaseLocation& location, DbRole role, const QString& name);
DbEngine EngineOf(const QSqlDatabase& db);
