#pragma once
// What every subcommand of kx7410-cli works with: the data folder (Config.ini, Config.db and
// Results.db, as the window has them), the product database and the results database, opened
// on first use, and the two output streams: results on standard output, progress and
// diagnostics on standard error.

#include "store/database.h"
#include "store/results.h"
#include "store/station_folders.h"

#include <QString>
#include <QTextStream>
#include <memory>

// Exit codes of every subcommand.
enum ExitCode { kExitOk = 0, kExitVerdictFailed = 1, kExitCommunication = 2, kExitUsage = 3 };

// An error that ends the subcommand with code and a message on standard error.
struct CliFailure {
    int code;
    QString text;
};

QTextStream& Out();
QTextStream& Err();

class CliStation {
public:
    // The station's folders as the window finds them (or all in one --data folder); the seed
    // rows of a new Config.db come from the shipped folder.
    explicit CliStation(StationFolders folders);
    // The folder of Config.ini.
    const QString& dataDir() const { return folders_.settings; }
    // Throws CliFailure (exit 3) naming the file when it cannot be opened.
    ProductDatabase& database();
    ResultsDatabase& results();
    // Config.ini's [Database]: the files in the databases folder or the server.
    DatabaseLocation databaseLocation() const {
        return LoadDatabaseLocation(folders_.settings, folders_.databases);
    }

private:
    StationFolders folders_;
    std::unique_ptr<ProductDatabase> database_;
    std::unique_ptr<ResultsDatabase> results_;
};
