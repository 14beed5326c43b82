#pragma once
// Temporary data folders for the window tests: a Config.ini made from the shipped one (with
// chosen edits) and a Config.db created from the build's seed tables.

#include "store/database.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

inline QByteArray ShippedIni() {
    QFile file(QStringLiteral(KX_SOURCE_DATA_DIR "/Config.ini"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// The shipped file with one line replaced (or removed when to is empty); both are ASCII.
inline QByteArray IniWith(const QByteArray& from, const QByteArray& to) {
    QByteArray text = ShippedIni();
    text.replace(from + (to.isEmpty() ? "\n" : ""), to);
    text.replace(from + "\r\n", to);
    return text;
}

inline QString SeedDir() {
    return QStringLiteral(KX_SEED_DIR);
}

class DataFolder {
public:
    explicit DataFolder(const QByteArray& ini = ShippedIni(), bool writeIni = true) {
        if (writeIni) WriteIni(ini);
    }
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void WriteIni(const QByteArray& ini) const {
        QFile file(dir_.filePath(QStringLiteral("Config.ini")));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(ini);
    }
    QByteArray ReadIni() const {
        QFile file(dir_.filePath(QStringLiteral("Config.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The database of the folder, created from the seed; null when it does not open.
    std::unique_ptr<ProductDatabase> OpenDatabase() const {
        auto db = std::make_unique<ProductDatabase>(dir_.filePath(QStringLiteral("Config.db")));
        if (!db->Open(SeedDir()).isEmpty()) return nullptr;
        return db;
    }

private:
    QTemporaryDir dir_;
};
