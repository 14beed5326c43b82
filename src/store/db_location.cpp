#include "store/db_location.h"

#include "common/conversion.h"
#include "store/ini_file.h"
#include "store/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {
const QString kSection = QStringLiteral("Database");
// A server that does not answer is reported at start instead of leaving the window blank.
constexpr int kConnectTimeoutSeconds = 5;

QString LoginName() {
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}
} // namespace

QString DatabaseLocation::Describe() const {
    if (engine == DbEngine::Sqlite) return QDir::toNativeSeparators(productFile);
    return QStringLiteral("postgresql://%1@%2/%3").arg(user, Server(), name);
}

QString DatabaseLocation::Server() const {
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

DatabaseLocation SqliteLocation(const QString& dataDir) {
    DatabaseLocation l;
    l.productFile = QDir(dataDir).filePath(QStringLiteral("Config.db"));
    l.resultsFile = QDir(dataDir).filePath(QStringLiteral("Results.db"));
    return l;
}

DatabaseLocation LoadDatabaseLocation(const QString& settingsDir, const QString& databaseDir) {
    DatabaseLocation l = SqliteLocation(databaseDir.isEmpty() ? settingsDir : databaseDir);
    l.folder = databaseDir.isEmpty() ? settingsDir : databaseDir;
    const QString path = SettingsPath(settingsDir);
    const auto value = [&](const char* key) { return ReadIniValue(path, kSection, key).text; };
    const auto refuse = [&](const char* key, const QString& why) {
        return ConversionError(
            QStringLiteral("%1: [%2] %3: %4")
                .arg(QDir::toNativeSeparators(path), kSection, QLatin1String(key), why));
    };
    const QString driver = value("Driver").toLower();
    if (driver.isEmpty() || driver == QLatin1String("sqlite")) return l;
    if (driver != QLatin1String("postgresql"))
        throw refuse("Driver", QStringLiteral("'%1' is neither sqlite nor postgresql").arg(driver));
    l.engine = DbEngine::Postgres;
    l.host = value("Host");
    l.name = value("Name");
    l.user = value("User").isEmpty() ? LoginName() : value("User");
    if (l.host.isEmpty()) throw refuse("Host", QStringLiteral("no server named"));
    if (l.name.isEmpty()) throw refuse("Name", QStringLiteral("no database named"));
    const QString port =
        value("Port").isEmpty() ? QLatin1String(kDefaultPostgresPort) : value("Port");
    bool ok = false;
    l.port = port.toInt(&ok);
    if (!ok || l.port < 1 || l.port > 65535)
        throw refuse("Port", QStringLiteral("'%1' is no port number").arg(port));
    return l;
}

DatabaseLocation ParseDatabaseLocation(const QString& text, QString* error) {
    error->clear();
    const QString scheme = QStringLiteral("postgresql://");
    if (!text.startsWith(scheme, Qt::CaseInsensitive) &&
        !text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        DatabaseLocation l = SqliteLocation(QFileInfo(text).absolutePath());
        l.productFile = text;
        return l;
    }
    const QUrl url(text, QUrl::StrictMode);
    DatabaseLocation l;
    l.engine = DbEngine::Postgres;
    l.host = url.host();
    l.port = url.port(5432);
    l.user = url.userName().isEmpty() ? LoginName() : url.userName();
    l.name = url.path().mid(1);
    if (!url.isValid() || l.host.isEmpty() || l.name.isEmpty() || l.name.contains('/') ||
        !url.password().isEmpty())
        // The text may hold the very password that must not be shown.
        *error = QStringLiteral("%1: not postgresql://user@host[:port]/name (a password belongs "
                                "in PGPASSWORD or ~/.pgpass)")
                     .arg(url.isValid() ? url.toString(QUrl::RemovePassword)
                                        : QStringLiteral("the database address"));
    return l;
}

QSqlDatabase AddConnection(const DatabaseLocation& location, DbRole role, const QString& name) {
    if (location.engine == DbEngine::Sqlite) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(role == DbRole::Product ? location.productFile : location.resultsFile);
        // Another writer holds the file only for a moment; wait for it instead of failing. SQLite
        // lets waiting writers in in no order, so on a loaded machine several stations writing
        // at once can keep one waiting for seconds: a record waits rather than being refused.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(location.host);
    db.setPort(location.port);
    db.setDatabaseName(location.name);
    db.setUserName(location.user);
    db.setConnectOptions(
        QStringLiteral("connect_timeout=%1;application_name=kx7410").arg(kConnectTimeoutSeconds));
    return db;
}

DbEngine EngineOf(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL") ? DbEngine::Postgres : DbEngine::Sqlite;
}
