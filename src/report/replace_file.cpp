#include "report/replace_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

std::filesystem::path FsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// Puts the written file on the disk before it is renamed over the target: without it a power cut
// soon after the rename can leave the target's name on a file whose contents never got there.
bool SyncToDisk(const QString& path) {
#ifdef _WIN32
    const int fd = _wopen(reinterpret_cast<const wchar_t*>(path.utf16()), _O_RDWR | _O_BINARY);
    if (fd < 0) return false;
    const bool synced = _commit(fd) == 0;
    _close(fd);
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
#endif
    return synced;
}

// ".<name>.XXXXXX.part", six random characters; those of other targets are not touched.
void RemoveLeftovers(const QFileInfo& target) {
    const QDir folder = target.absoluteDir();
    const QRegularExpression leftover(
        QLatin1Char('^') +
        QRegularExpression::escape(QLatin1Char('.') + target.fileName() + QLatin1Char('.')) +
        QStringLiteral("[^.]{6}\\.part$"));
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (leftover.match(entry).hasMatch()) QFile::remove(folder.filePath(entry));
}

} // namespace

ExportResult ReplaceFile(const QString& path, const std::function<QString(const QString&)>& write) {
    const QFileInfo target(path);
    if (path.isEmpty()) return {false, QStringLiteral("no file name")};
    if (target.isDir()) return {false, path + QStringLiteral(" is a folder")};

    RemoveLeftovers(target);

    // Beside the target, so that the final rename stays within one file system and replaces the
    // target in one step.
    QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                           QStringLiteral(".XXXXXX.part"));
    reserve.setAutoRemove(false);
    if (!reserve.open()) return {false, path + QStringLiteral(": ") + reserve.errorString()};
    const QString partName = reserve.fileName();
    reserve.close();

    ExportResult result{true, {}};
    auto fail = [&](const QString& why) {
        if (result.ok) result = {false, why};
    };

    const QString written = write(partName);
    if (!written.isEmpty()) fail(written);

    if (result.ok) {
        // The reservation was made private to the owner; give the file the modes of the file it
        // replaces, or the usual ones of a new document.
        const QFileDevice::Permissions modes =
            target.exists()
                ? QFile::permissions(path)
                : (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                   QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QFile::setPermissions(partName, modes);

        if (!SyncToDisk(partName)) fail(partName + QStringLiteral(": cannot flush it to disk"));
    }
    if (result.ok) {
        std::error_code ec;
        std::filesystem::rename(FsPath(partName), FsPath(path), ec);
        if (ec) fail(path + QStringLiteral(": ") + QString::fromStdString(ec.message()));
    }

    if (!result.ok) QFile::remove(partName);
    return result;
}
