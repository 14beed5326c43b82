#pragma once
// The start-up of the program after the single-instance check: the product database, the main
// window and the check of the inspection settings, in that order. GUI thread only.

#include <QString>

#include <memory>

class ProductDatabase;
class SerialLink;
class TMainForm;
struct StationFolders;

struct Application {
    std::unique_ptr<ProductDatabase> database;
    std::unique_ptr<TMainForm> window; // destroyed before the database it uses
    ~Application();
};

// The station's Config.ini, its databases (Config.db created from the seed tables of the shipped
// folder when absent) and then the window. Returns false after a fatal error (a database that
// cannot be opened, an incomplete SetCheck section), which has been shown through the message
// seam; app is then empty.
bool StartApplication(const StationFolders& folders, SerialLink& link, Application& app);
// Every file in dataDir, the seed tables in seedDir (the portable layout).
bool StartApplication(const QString& dataDir, const QString& seedDir, SerialLink& link,
                      Application& app);
