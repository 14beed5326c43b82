// The PostgreSQL server of the tests: it serves a database over TCP and its socket, it wants the
// password, and it can go away and come back with its data.

#include "pg_server.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// One QPSQL connection, removed from Qt's list when it goes.
class Connection {
public:
    Connection(const QString& host, int port, const QString& database, const QString& password) {
        static int counter = 0;
        name_ = QStringLiteral("pg_server_test_%1").arg(++counter);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
        db.setHostName(host);
        db.setPort(port);
        db.setDatabaseName(database);
        db.setUserName(QLatin1String(PgServer::kUser));
        db.setPassword(password);
        opened_ = db.open();
        error_ = db.lastError().text();
    }
    ~Connection() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool opened() const { return opened_; }
    const QString& error() const { return error_; }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

private:
    QString name_;
    bool opened_ = false;
    QString error_;
};

const QString kPassword = QLatin1String(PgServer::kPassword);

PgServer* SharedOrNull() {
    return PgServer::Shared();
}

} // namespace

TEST(PgServer, ServesATableInANewDatabase) {
    PgServer* pg = SharedOrNull();
    if (!pg) GTEST_SKIP() << PgServer::SkipReason().toStdString();
    const QString name = pg->CreateDatabase();
    ASSERT_FALSE(name.isEmpty()) << pg->error().toStdString();

    Connection c(pg->host(), pg->port(), name, kPassword);
    ASSERT_TRUE(c.opened()) << c.error().toStdString();
    QSqlQuery q(c.db());
    ASSERT_TRUE(q.exec("create table unit (serial text primary key, passed boolean not null)"))
        << q.lastError().text().toStdString();
    ASSERT_TRUE(q.exec("insert into unit values ('KX-0001', true)"))
        << q.lastError().text().toStdString();
    ASSERT_TRUE(q.exec("select serial, passed from unit")) << q.lastError().text().toStdString();
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "KX-0001");
    EXPECT_TRUE(q.value(1).toBool());
    EXPECT_FALSE(q.next());
}

TEST(PgServer, EachDatabaseIsNewAndEmpty) {
    PgServer* pg = SharedOrNull();
    if (!pg) GTEST_SKIP() << PgServer::SkipReason().toStdString();
    const QString first = pg->CreateDatabase();
    const QString second = pg->CreateDatabase();
    ASSERT_FALSE(first.isEmpty()) << pg->error().toStdString();
    ASSERT_FALSE(second.isEmpty()) << pg->error().toStdString();
    EXPECT_NE(first, second);

    Connection c(pg->host(), pg->port(), second, kPassword);
    ASSERT_TRUE(c.opened()) << c.error().toStdString();
    QSqlQuery q(c.db());
    ASSERT_TRUE(q.exec("select count(*) from information_schema.tables where table_schema = "
                       "'public'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
}

TEST(PgServer, ServesOnItsSocketToo) {
    PgServer* pg = SharedOrNull();
    if (!pg) GTEST_SKIP() << PgServer::SkipReason().toStdString();
    // libpq takes a host name that is a folder as the folder of the server's socket.
    Connection c(pg->socketDir(), pg->port(), QStringLiteral("postgres"), kPassword);
    EXPECT_TRUE(c.opened()) << c.error().toStdString();
}

TEST(PgServer, RefusesAWrongPassword) {
    PgServer* pg = SharedOrNull();
    if (!pg) GTEST_SKIP() << PgServer::SkipReason().toStdString();
    Connection tcp(pg->host(), pg->port(), QStringLiteral("postgres"), "not-the-password");
    EXPECT_FALSE(tcp.opened());
    Connection socket(pg->socketDir(), pg->port(), QStringLiteral("postgres"), "not-the-password");
    EXPECT_FALSE(socket.opened());
}

TEST(PgServer, GoesAwayAndComesBackWithItsData) {
    PgServer* pg = SharedOrNull();
    if (!pg) GTEST_SKIP() << PgServer::SkipReason().toStdString();
    const QString name = pg->CreateDatabase();
    ASSERT_FALSE(name.isEmpty()) << pg->error().toStdString();
    {
        Connection c(pg->host(), pg->port(), name, kPassword);
        ASSERT_TRUE(c.opened()) << c.error().toStdString();
        QSqlQuery q(c.db());
        ASSERT_TRUE(q.exec("create table kept (n integer)"));
        ASSERT_TRUE(q.exec("insert into kept values (7)"));
    }
    const int port = pg->port();

    pg->Stop();
    {
        Connection c(pg->host(), pg->port(), name, kPassword);
        EXPECT_FALSE(c.opened());
    }

    ASSERT_TRUE(pg->Start()) << pg->error().toStdString();
    EXPECT_EQ(pg->port(), port);
    Connection c(pg->host(), pg->port(), name, kPassword);
    ASSERT_TRUE(c.opened()) << c.error().toStdString();
    QSqlQuery q(c.db());
    ASSERT_TRUE(q.exec("select n from kept"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 7);
}

TEST(PgServer, SharedStartsAServerATestLeftStopped) {
    PgServer* pg = SharedOrNull();
    if (!pg) GTEST_SKIP() << PgServer::SkipReason().toStdString();
    pg->Stop();
    ASSERT_EQ(PgServer::Shared(), pg) << PgServer::SkipReason().toStdString();
    Connection c(pg->host(), pg->port(), QStringLiteral("postgres"), kPassword);
    EXPECT_TRUE(c.opened()) << c.error().toStdString();
}
