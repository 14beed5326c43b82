#include "cli_station.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

QTextStream& Out() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& Err() {
    static QTextStream s(stderr);
    return s;
}

CliStation::CliStation(QString dataDir, QString seedDir)
    : dataDir_(std::move(dataDir)), seedDir_(std::move(seedDir)) {}

ProductDatabase& CliStation::database() {
    if (!database_) {
        if (!QFileInfo(dataDir_).isDir())
            throw CliFailure{kExitUsage,
                             QStringLiteral("data folder %1 does not exist").arg(dataDir_)};
        auto db = std::make_unique<ProductDatabase>(LoadDatabaseLocation(dataDir_));
        const QString error = db->Open(seedDir_);
        if (!error.isEmpty())
            throw CliFailure{kExitUsage, QStringLiteral("%1: %2").arg(db->filePath(), error)};
        database_ = std::move(db);
    }
    return *database_;
}

ResultsDatabase& CliStation::results() {
    if (!results_) {
        auto db = ResultsDatabase::ForStation(LoadDatabaseLocation(dataDir_), dataDir_);
        const QString error = db->Open();
        if (!error.isEmpty()) throw CliFailure{kExitUsage, error};
        results_ = std::move(db);
    }
    return *results_;
}
