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

CliStation::CliStation(StationFolders folders) : folders_(std::move(folders)) {}

ProductDatabase& CliStation::database() {
    if (!database_) {
        if (!QFileInfo(dataDir()).isDir())
            throw CliFailure{kExitUsage,
                             QStringLiteral("data folder %1 does not exist").arg(dataDir())};
        auto db = std::make_unique<ProductDatabase>(databaseLocation());
        const QString error = db->Open(folders_.shipped);
        if (!error.isEmpty())
            throw CliFailure{kExitUsage, QStringLiteral("%1: %2").arg(db->filePath(), error)};
        database_ = std::move(db);
    }
    return *database_;
}

ResultsDatabase& CliStation::results() {
    if (!results_) {
        auto db = ResultsDatabase::ForStation(databaseLocation(), dataDir());
        const QString error = db->Open();
        if (!error.isEmpty()) throw CliFailure{kExitUsage, error};
        results_ = std::move(db);
    }
    return *results_;
}
