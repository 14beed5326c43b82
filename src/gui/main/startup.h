#pragma once
// The start-up of the program after the single-instance check: the product database, the main
// window and the check of the inspection settings, in that order. GUI thread only.

#include <QString>

#include <memory>

class ProductDatabase;
class SerialLink;
class TMainForm;

struct Application {
    std::unique_ptr<ProductDatabase> database;
    std::unique_ptr<TMainForm> window; // destroyed before the database it uses
    ~Application();
};

// dataDir holds Config.ini and Config.db (created from the seed tables in seedDir when absent).
// Returns false after a fatal error (a database that cannot be opened, an incomplete SetCheck
// section), which has been shown through the message seam; app is then empty.
bool StartApplication(const QString& dataDir, const QString& seedDir, SerialLink& link,
                      Application& app);
