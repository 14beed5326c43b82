#include "gui/kit/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {
constexpr int kAnswerMs = 3000;
const QByteArray kRaise = "raise\n";
const QByteArray kRaised = "raised\n";
} // namespace

QString InstanceName(const QString& port) {
    // A device path holds slashes; its hash names the socket and the lock alike.
    const QByteArray hash =
        QCryptographicHash::hash(port.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("kx7410-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

SingleInstance::SingleInstance(const QString& port, const QString& lockDir) {
    QString dir = lockDir;
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    const QString name = InstanceName(port);
    // A folder of its own (tests) keeps the socket beside the lock.
    name_ = lockDir.isEmpty() ? name : QDir(dir).filePath(name);
    lock_ = std::make_unique<QLockFile>(QDir(dir).filePath(name + QStringLiteral(".lock")));
    // Never stale by age (a long session keeps its lock); a lock left by a crashed instance is
    // still taken over, since QLockFile sees that its process is gone.
    lock_->setStaleLockTime(0);
    first_ = lock_->tryLock(0);
    if (!first_) return;
    // The lock is ours, so a socket of that name is left over from a crash.
    QLocalServer::removeServer(name_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(name_);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            const auto serve = [this, peer] {
                if (!peer->canReadLine()) return;
                if (peer->readLine() == kRaise) {
                    emit raiseRequested();
                    peer->write(kRaised);
                }
                peer->disconnectFromServer();
            };
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, serve);
            serve(); // what arrived with the connection
        }
    });
}

bool SingleInstance::BringRunningToFront() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kAnswerMs)) return false;
    socket.write(kRaise);
    if (!socket.waitForBytesWritten(kAnswerMs)) return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(kAnswerMs)) return false;
    return socket.readLine() == kRaised;
}
