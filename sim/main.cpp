// kx7410-sim: the simulated KX7410M3 module on a pseudo-terminal.

#include "command_shell.h"
#include "common/conversion.h"
#include "model_setup.h"
#include "module.h"
#include "options.h"
#include "pty_server.h"
#include "store/station_folders.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SimOptions options;
    QString error;
    if (!ParseOptions(app.arguments().mid(1), options, error)) {
        std::fprintf(stderr, "kx7410-sim: %s\n%s", qPrintable(error), qPrintable(UsageText()));
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText().toUtf8().constData(), stdout);
        return 0;
    }
    // The host's folders: its shipped data and its Config.db, portable or installed.
    const StationFolders folders = LocateStationFolders(QCoreApplication::applicationDirPath());
    if (options.module.dataDir.isEmpty()) options.module.dataDir = folders.shipped;
    if (options.link.isEmpty()) options.link = DefaultLinkFolder() + "/ttyKX0";
    try {
        // One module for each address, each with its own registers and errors.
        std::vector<std::unique_ptr<Module>> modules;
        std::vector<Module*> line;
        for (int address : options.addresses) {
            ModuleConfig config = options.module;
            config.address = address;
            auto module = std::make_unique<Module>(config);
            module->measurement().setTestPoint(options.point);
            for (const auto& [name, pct] : options.errors)
                module->measurement().setError(name, pct);
            for (const auto& e : options.unitErrors)
                if (e.address == address) module->measurement().setError(e.name, e.pct);
            module->misbehaviour() = options.misbehaviour;
            if (!options.model.isEmpty()) {
                const QString database = options.database.isEmpty()
                                             ? folders.databases + "/Config.db"
                                             : options.database;
                error = SetUpForModel(*module, database, options.model);
                if (!error.isEmpty()) {
                    std::fprintf(stderr, "kx7410-sim: %s\n", qPrintable(error));
                    return 1;
                }
            }
            line.push_back(module.get());
            modules.push_back(std::move(module));
        }
        CommandShell shell(line);
        for (const auto& [address, flag] : options.unitFaults)
            shell.execute(QString("@%1 %2 on").arg(address).arg(flag), 0);
        PtyServer server(line, shell, {options.pace, options.turnaroundMs, options.jitterMs});
        if (!(options.tcp.isEmpty() ? server.open(options.link, error)
                                    : server.listenTcp(options.tcp, error, options.rfc2217))) {
            std::fprintf(stderr, "kx7410-sim: %s\n", qPrintable(error));
            return 1;
        }
        if (options.powerCycle)
            for (Module* module : line)
                module->powerCycle(server.now());
        std::printf("%s\n", qPrintable(server.slavePath()));
        std::fflush(stdout);
        return server.run();
    } catch (const ConversionError& e) {
        std::fprintf(stderr, "kx7410-sim: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kx7410-sim: %s\n", e.what());
    }
    return 1;
}
