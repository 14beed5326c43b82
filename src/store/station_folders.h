#pragma once
// Where a station keeps its files. Two layouts:
// - portable, whenever a Config.ini lies beside the executable (the build folder, a copy on a
//   stick): everything beside the executable, the shipped defaults in its data folder;
// - installed (bin/ of a prefix, no Config.ini beside it): Config.ini in
//   $XDG_CONFIG_HOME/kx7410 (~/.config/kx7410), the databases in $XDG_DATA_HOME/kx7410
//   (~/.local/share/kx7410), the shipped defaults in <prefix>/share/kx7410.
// Any thread; nothing is created until PrepareStationFolders.

#include <QString>

struct StationFolders {
    bool portable = true;
    QString settings;  // Config.ini (and the queue of records waiting for a server)
    QString databases; // Config.db and Results.db
    QString shipped;   // seed tables, catalogue files, the default Config.ini, help, translations
    QString program;   // the executables

    // The help file of the language (HELP_en.HLP for English, where there is one).
    QString HelpFile(bool english) const;
    QString TranslationsFolder() const;
};

StationFolders LocateStationFolders(const QString& programDir);
// Every file of the station in one folder (kx7410-cli --data DIR); the shipped defaults stay the
// program's.
StationFolders StationFoldersIn(const QString& dir, const QString& programDir);
// Makes the folders and copies the shipped Config.ini where there is none yet, so that a first
// start of an installed program finds the defaults. Empty on success, else what failed.
QString PrepareStationFolders(const StationFolders& folders);
