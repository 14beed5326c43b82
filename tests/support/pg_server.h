#pragma once
// A real PostgreSQL server for the tests of the product database, in a temporary folder of its
// own: one per test process (PgServer::Shared()), started on first use and stopped at exit.
// Debian's `postgresql` package provides it; without it (or without the Qt driver QPSQL) Shared()
// returns nullptr and SkipReason() says what is missing, so the test can GTEST_SKIP().
//
// PostgreSQL refuses to run as root, and the tests run as root in CI, so as root every server
// program is run through setpriv as the user `postgres` (or `nobody`), who owns the folder.
//
// The superuser is kUser with kPassword (scram-sha-256 on TCP and on the socket alike). Nothing
// here sets PGPASSWORD or any other libpq variable: a test passes the password itself.
//
// Link with kxpgserver (tests/support/CMakeLists.txt): Qt6::Core, Qt6::Network, Qt6::Sql.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QVersionNumber>

#include <atomic>
#include <memory>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

class PgServer {
public:
    static constexpr char kUser[] = "kx";
    static constexpr char kPassword[] = "kx-test-password";

    // The server of this process, running; nullptr when it cannot be had (see SkipReason()).
    // A server a test stopped and did not start again is started again here, so that one test's
    // outage does not leak into the next one run by the same process.
    static PgServer* Shared() {
        Holder& h = holder();
        if (h.server && !h.server->running_ && !h.server->Start()) {
            h.reason = h.server->error_;
            return nullptr;
        }
        return h.server.get();
    }
    static QString SkipReason() { return holder().reason; }

    ~PgServer() {
        // The watchdog goes first: it is only for a process that dies before getting here.
        if (watchdog_) {
            watchdog_->kill();
            watchdog_->waitForFinished(kWaitMs);
            watchdog_.reset();
        }
        if (running_) run(ctl(), {"-D", dataDir(), "stop", "-m", "immediate", "-w"});
        dir_.reset(); // removes the folder
    }
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return port_; }
    // Where the server's unix socket is: as a host name, libpq takes a folder for its socket.
    QString socketDir() const { return dir_->path(); }
    // The server's own log, which tells why it refused something.
    QString logPath() const { return dir_->filePath(QStringLiteral("server.log")); }
    // Why the last Start() or CreateDatabase() failed.
    QString error() const { return error_; }

    // A new, empty database of a unique name, owned by kUser; empty on failure (see error()).
    QString CreateDatabase() {
        static std::atomic<int> counter{0};
        const QString name =
            QStringLiteral("kxtest_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        const QString connection = QStringLiteral("pg_server_admin_") + name;
        bool created = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(host());
            db.setPort(port_);
            db.setDatabaseName(QStringLiteral("postgres"));
            db.setUserName(QLatin1String(kUser));
            db.setPassword(QLatin1String(kPassword));
            if (!db.open()) {
                error_ =
                    QStringLiteral("cannot connect to create a database: ") + db.lastError().text();
            } else {
                QSqlQuery query(db);
                created = query.exec(QStringLiteral("create database ") + name);
                if (!created)
                    error_ = QStringLiteral("create database %1: %2")
                                 .arg(name, query.lastError().text());
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        return created ? name : QString();
    }

    // Fast shutdown (sessions are ended, the data stays), for a test of a server that goes away.
    void Stop() {
        if (!running_) return;
        run(ctl(), {"-D", dataDir(), "stop", "-m", "fast", "-w"});
        running_ = false;
    }
    // The same data folder on the same port again, once the server accepts connections.
    bool Start() {
        if (running_) return true;
        QString output;
        // Quoted because pg_ctl hands the options to a shell.
        const QString options =
            QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                .arg(port_)
                .arg(shellQuoted(socketDir()));
        // pg_ctl -w waits until the server accepts connections (or gives up after -t seconds).
        if (!run(ctl(),
                 {"-D", dataDir(), "-l", logPath(), "-o", options, "-w", "-t", "120", "start"},
                 &output)) {
            error_ = QStringLiteral("pg_ctl start failed: ") + output.trimmed() +
                     QStringLiteral("\n") + logTail();
            return false;
        }
        running_ = true;
        return true;
    }

private:
    // Generous: the machine is shared; it bounds a hung program, it does not time anything.
    static constexpr int kWaitMs = 180000;

    struct Holder {
        std::unique_ptr<PgServer> server;
        QString reason;
        Holder() {
            auto candidate = std::unique_ptr<PgServer>(new PgServer);
            if (candidate->launch(&reason)) server = std::move(candidate);
        }
    };
    // A static object: its destructor stops the server when the process exits.
    static Holder& holder() {
        static Holder h;
        return h;
    }

    PgServer() = default;

    bool launch(QString* why) {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            *why = QStringLiteral("Qt PostgreSQL driver QPSQL not available (package "
                                  "libqt6sql6-psql); scripts/deps test installs it");
            return false;
        }
        bin_ = findBinDir();
        if (bin_.isEmpty()) {
            *why = QStringLiteral("PostgreSQL not installed (no initdb under "
                                  "/usr/lib/postgresql/*/bin); scripts/deps test installs it");
            return false;
        }
        if (::geteuid() == 0 && !becomeUnprivileged(why)) return false;
        if (!makeFolder(why)) return false;
        if (!initDb(why)) return false;
        // Another process may take a port between our look at it and the server's bind.
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = freePort();
            if (port_ > 0 && Start()) break;
        }
        if (!running_) {
            *why = error_.isEmpty() ? QStringLiteral("no free loopback port") : error_;
            return false;
        }
        startWatchdog();
        return true;
    }

    // pg_config names the server's programs when it is on PATH; otherwise the newest version
    // among Debian's side-by-side installations.
    static QString findBinDir() {
        const QString pgConfig = QStandardPaths::findExecutable(QStringLiteral("pg_config"));
        if (!pgConfig.isEmpty()) {
            QProcess p;
            p.start(pgConfig, {"--bindir"});
            if (p.waitForFinished(kWaitMs) && p.exitStatus() == QProcess::NormalExit &&
                p.exitCode() == 0) {
                const QString dir = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
                if (QFileInfo(dir + QStringLiteral("/initdb")).isExecutable()) return dir;
            }
        }
        QDir root(QStringLiteral("/usr/lib/postgresql"));
        QString best;
        QVersionNumber bestVersion;
        for (const QString& entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString dir = root.filePath(entry) + QStringLiteral("/bin");
            const QVersionNumber version = QVersionNumber::fromString(entry);
            if (version.isNull() || !QFileInfo(dir + QStringLiteral("/initdb")).isExecutable())
                continue;
            if (best.isEmpty() || version > bestVersion) {
                best = dir;
                bestVersion = version;
            }
        }
        return best;
    }

    bool becomeUnprivileged(QString* why) {
        setpriv_ = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv_.isEmpty()) {
            *why = QStringLiteral("setpriv (util-linux) not found; it runs PostgreSQL as an "
                                  "unprivileged user, since the tests run as root");
            return false;
        }
        const passwd* user = ::getpwnam("postgres");
        if (!user) user = ::getpwnam("nobody");
        if (!user) {
            *why = QStringLiteral("neither user postgres nor nobody exists to run PostgreSQL "
                                  "as, since the tests run as root");
            return false;
        }
        uid_ = user->pw_uid;
        gid_ = user->pw_gid;
        return true;
    }

    // A unix socket's path has room for about 100 bytes, and as root the folder must be reachable
    // by the server's user: a TMPDIR that fails either is left for /tmp.
    bool makeFolder(QString* why) {
        const QString pattern = QStringLiteral("/kx-pg-XXXXXX");
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + pattern);
        if (!dir_->isValid() || !usable(dir_->path()))
            dir_ = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp") + pattern);
        if (!dir_->isValid() || !usable(dir_->path())) {
            *why = QStringLiteral("no temporary folder for PostgreSQL the server can use: ") +
                   dir_->errorString();
            return false;
        }
        return true;
    }
    bool usable(const QString& path) {
        if (QFile::encodeName(path).size() + int(sizeof "/.s.PGSQL.65535") > 100) return false;
        if (::geteuid() != 0) return true;
        if (::chown(QFile::encodeName(path).constData(), uid_, gid_) != 0) return false;
        return run(QStringLiteral("/bin/sh"), {"-c", "test -w \"$0\" && test -x \"$0\"", path});
    }

    bool initDb(QString* why) {
        const QString pwfile = dir_->filePath(QStringLiteral("pwfile"));
        {
            QFile f(pwfile);
            if (!f.open(QIODevice::WriteOnly) || f.write(kPassword) < 0) {
                *why = QStringLiteral("cannot write %1: %2").arg(pwfile, f.errorString());
                return false;
            }
            f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        if (::geteuid() == 0 && ::chown(QFile::encodeName(pwfile).constData(), uid_, gid_) != 0) {
            *why = QStringLiteral("cannot hand %1 to the server's user").arg(pwfile);
            return false;
        }
        QString output;
        // --no-sync: nothing of a test's server has to survive a power cut.
        const bool ok = run(bin_ + QStringLiteral("/initdb"),
                            {"-D", dataDir(), "-U", kUser, "--auth=scram-sha-256",
                             "--pwfile=" + pwfile, "-E", "UTF8", "--no-locale", "--no-sync"},
                            &output);
        QFile::remove(pwfile);
        if (!ok) *why = QStringLiteral("initdb failed: ") + output.trimmed();
        return ok;
    }

    static int freePort() {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
        const int port = probe.serverPort();
        probe.close();
        return port;
    }

    // A process that dies without its static destructors (a crash, a kill at a test timeout)
    // would leave its server running: this shell, in a session of its own so that a kill of the
    // test's process group spares it, waits for its standard input to close, which happens
    // however the test process ends, and then stops the server and removes the folder.
    void startWatchdog() {
        watchdog_ = std::make_unique<QProcess>();
        watchdog_->setChildProcessModifier([] { ::setsid(); });
        watchdog_->setProcessChannelMode(QProcess::ForwardedChannels);
        const QString script =
            QStringLiteral("read -r line; \"$1\" -D \"$2\" stop -m immediate -w >/dev/null 2>&1; "
                           "rm -rf \"$3\"");
        const QStringList args{"-c", script, "kx-pg-watchdog", ctl(), dataDir(), socketDir()};
        startAs(*watchdog_, QStringLiteral("/bin/sh"), args);
        if (!watchdog_->waitForStarted(kWaitMs)) watchdog_.reset();
    }

    // Runs a program to its end as the server's user; true when it exited with 0.
    bool run(const QString& program, const QStringList& args, QString* output = nullptr) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        startAs(p, program, args);
        const bool finished = p.waitForFinished(kWaitMs);
        if (!finished) {
            p.kill();
            p.waitForFinished(kWaitMs);
        }
        if (output) {
            *output = QString::fromLocal8Bit(p.readAll());
            if (p.error() != QProcess::UnknownError) *output += p.errorString();
        }
        return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    void startAs(QProcess& p, const QString& program, const QStringList& args) {
        // The test's working folder may be closed to the server's user, and PostgreSQL's
        // programs give up when they cannot look at theirs.
        if (dir_) p.setWorkingDirectory(dir_->path());
        if (::geteuid() != 0) {
            p.start(program, args);
            return;
        }
        QStringList wrapped{QStringLiteral("--reuid=%1").arg(uid_),
                            QStringLiteral("--regid=%1").arg(gid_), "--clear-groups", "--",
                            program};
        p.start(setpriv_, wrapped + args);
    }

    QString ctl() const { return bin_ + QStringLiteral("/pg_ctl"); }
    QString dataDir() const { return dir_->filePath(QStringLiteral("data")); }
    QString logTail() const {
        QFile f(logPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        const QByteArray all = f.readAll();
        return QString::fromLocal8Bit(all.right(2000)).trimmed();
    }
    static QString shellQuoted(QString s) {
        return QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
               QLatin1Char('\'');
    }

    QString bin_;
    QString setpriv_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> watchdog_;
    int port_ = 0;
    bool running_ = false;
    QString error_;
};
