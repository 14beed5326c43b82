#pragma once
// The simulator's console: one command per line on standard input, one answer line each ("ok",
// "ok <values>" or "error <reason>"), so that a test can write a command and wait for its line.

#include "module.h"

#include <QString>

class CommandShell {
public:
    struct Result {
        QString line;
        bool quit = false;
    };

    explicit CommandShell(Module& module) : module_(module) {}
    // Runs one command line received at time now (seconds, the server's clock).
    Result execute(const QString& line, double now);
    // The command set, as --help prints it.
    static QString helpText();

private:
    Module& module_;
};
