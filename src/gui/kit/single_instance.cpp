#include "gui/kit/single_instance.h"

#include <QDir>
#include <QStandardPaths>

SingleInstance::SingleInstance(const QString& lockDir) {
    QString dir = lockDir;
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    lock_ = std::make_unique<QLockFile>(QDir(dir).filePath(QStringLiteral("kx7410.lock")));
    // Never stale by age (a long session keeps its lock); a lock left by a crashed instance is
    // still taken over, since QLockFile sees that its process is gone.
    lock_->setStaleLockTime(0);
    first_ = lock_->tryLock(0);
}
