#pragma once
// The store's tests run on both engines from the same cases: on SQLite by default, and against
// a real PostgreSQL server when KX_TEST_DB=postgresql (CTest runs each such test a second time,
// named pg.*). A case that is about SQLite files only skips on the server.

#include "pg_server.h"
#include "store/db_location.h"

#include <QString>

#include <optional>

inline bool OnPostgres() {
    return qgetenv("KX_TEST_DB") == "postgresql";
}

// The location of a test's databases: the two files in dir, or a new empty database on the
// shared server (PGPASSWORD set to its password, as a station would have it). nullopt, with
// skip saying why, when the server cannot be had.
inline std::optional<DatabaseLocation> TestLocation(const QString& dir, QString* skip) {
    if (!OnPostgres()) return SqliteLocation(dir);
    PgServer* server = PgServer::Shared();
    if (!server) {
        *skip = PgServer::SkipReason();
        return std::nullopt;
    }
    qputenv("PGPASSWORD", PgServer::kPassword);
    DatabaseLocation l;
    l.engine = DbEngine::Postgres;
    l.host = server->host();
    l.port = server->port();
    l.user = QString::fromLatin1(PgServer::kUser);
    l.name = server->CreateDatabase();
    if (l.name.isEmpty()) {
        *skip = QStringLiteral("no test database on the server: ") + server->error();
        return std::nullopt;
    }
    return l;
}

#define SKIP_ON_POSTGRES(why)                                                                      \
    do {                                                                                           \
        if (OnPostgres()) GTEST_SKIP() << "SQLite only: " << why;                                  \
    } while (0)
