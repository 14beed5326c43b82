#include "link/ports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

QString SimulatedPortFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) return QStringLiteral("/tmp/kx7410-sim");
    return QDir(runtime).filePath(QStringLiteral("kx7410-sim"));
}

QStringList AvailablePortNames() {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.systemLocation();
    const QDir folder(SimulatedPortFolder());
    const QFileInfoList entries =
        folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        // A link left behind by a simulator that has gone points nowhere.
        if (entry.isSymLink() && entry.exists()) names << entry.absoluteFilePath();
    names.sort();
    names.removeDuplicates();
    return names;
}
