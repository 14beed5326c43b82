#include "gui/main/startup.h"

#include "common/conversion.h"
#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "gui/settings/setcheck_dialog.h"
#include "store/database.h"
#include "store/station_folders.h"

#include <QDir>

#include <exception>

Application::~Application() {
    window.reset();
    database.reset();
}

bool StartApplication(const StationFolders& folders, SerialLink& link, Application& app) {
    try {
        // Config.ini says whether this station works on its own Config.db or on the factory's
        // server.
        auto database = std::make_unique<ProductDatabase>(
            LoadDatabaseLocation(folders.settings, folders.databases));
        const QString error = database->Open(folders.shipped);
        if (!error.isEmpty()) {
            Ui().error(nullptr, error);
            return false;
        }
        auto window = std::make_unique<TMainForm>(folders.settings, link, *database);
        // The inspection settings are checked once now: a check could not start without them.
        { TSetCheckForm check(folders.settings); }
        app.database = std::move(database);
        app.window = std::move(window);
        return true;
    } catch (const ConversionError& e) {
        Ui().error(nullptr, e.text());
    } catch (const std::exception& e) {
        Ui().error(nullptr, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

bool StartApplication(const QString& dataDir, const QString& seedDir, SerialLink& link,
                      Application& app) {
    StationFolders folders;
    folders.settings = folders.databases = folders.program = dataDir;
    folders.shipped = seedDir;
    return StartApplication(folders, link, app);
}
