#include "store/station_folders.h"

#include "store/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString kName = QStringLiteral("kx7410");

QString XdgFolder(QStandardPaths::StandardLocation location) {
    return QDir(QStandardPaths::writableLocation(location)).filePath(kName);
}
} // namespace

QString StationFolders::HelpFile(bool english) const {
    // Beside a portable program the help is where the user was told to look for it.
    const QDir dir(portable ? program : shipped);
    if (english && QFileInfo::exists(dir.filePath(QStringLiteral("HELP_en.HLP"))))
        return dir.filePath(QStringLiteral("HELP_en.HLP"));
    return dir.filePath(QStringLiteral("HELP.HLP"));
}

QString StationFolders::TranslationsFolder() const {
    return QDir(portable ? program : shipped).filePath(QStringLiteral("translations"));
}

StationFolders LocateStationFolders(const QString& programDir) {
    StationFolders f;
    f.program = programDir;
    if (QFileInfo::exists(QDir(programDir).filePath(QLatin1String(kSettingsFile)))) {
        f.portable = true;
        f.settings = f.databases = programDir;
        f.shipped = QDir(programDir).filePath(QStringLiteral("data"));
        return f;
    }
    f.portable = false;
    f.settings = XdgFolder(QStandardPaths::GenericConfigLocation);
    f.databases = XdgFolder(QStandardPaths::GenericDataLocation);
    // bin/ and share/ of one prefix, wherever the prefix was unpacked.
    f.shipped = QDir::cleanPath(QDir(programDir).filePath(QStringLiteral("../share/") + kName));
    return f;
}

StationFolders StationFoldersIn(const QString& dir, const QString& programDir) {
    StationFolders f = LocateStationFolders(programDir);
    f.settings = f.databases = dir;
    return f;
}

QString PrepareStationFolders(const StationFolders& folders) {
    for (const QString& dir : {folders.settings, folders.databases})
        if (!QDir().mkpath(dir))
            return QCoreApplication::translate("Store", "无法创建文件夹 %1")
                .arg(QDir::toNativeSeparators(dir));
    const QString settings = SettingsPath(folders.settings);
    if (QFileInfo::exists(settings)) return {};
    const QString shipped = QDir(folders.shipped).filePath(QLatin1String(kSettingsFile));
    // Without a shipped file the program starts on its fixed defaults, as with a lost Config.ini.
    if (!QFileInfo::exists(shipped)) return {};
    if (!QFile::copy(shipped, settings))
        return QCoreApplication::translate("Store", "无法创建 %1")
            .arg(QDir::toNativeSeparators(settings));
    // A copy from a read-only install is read-only too; the station writes its settings.
    QFile::setPermissions(settings, QFile::permissions(settings) | QFile::WriteOwner);
    return {};
}
