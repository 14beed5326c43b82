#pragma once
// The simulator's console: one command per line on standard input, one answer line each ("ok",
// "ok <values>" or "error <reason>"), so that a test can write a command and wait for its line.

#include "module.h"

#include <QString>
#include <vector>

class CommandShell {
public:
    struct Result {
        QString line;
        bool quit = false;
    };

    explicit CommandShell(Module& module) : modules_{&module} {}
    // The modules of one line, at different addresses; they must outlive the shell.
    explicit CommandShell(std::vector<Module*> modules) : modules_(std::move(modules)) {}
    // Runs one command line received at time now (seconds, the server's clock).
    Result execute(const QString& line, double now);
    // The command set, as --help prints it.
    static QString helpText();

private:
    Result executeOn(Module& module, const QString& line, double now);
    std::vector<Module*> modules_;
};
