#pragma once
// Command line of kx7410-sim.

#include "measurement.h"
#include "module.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct SimOptions {
    QString link;         // symbolic link to the pseudo-terminal's slave side
    QString tcp;          // "[HOST:]PORT": serve the line on TCP instead
    bool rfc2217 = false; // and speak RFC 2217 there (--rfc2217 [HOST:]PORT)
    ModuleConfig module;
    SourcePoint point;
    // The addresses of the modules on the line (--address 1-8: eight, each with its own
    // registers); module.address is the first.
    QList<int> addresses{1};
    QList<QPair<QString, double>> errors; // every module's
    struct UnitError {
        int address;
        QString name;
        double pct;
    };
    QList<UnitError> unitErrors;           // --error A:NAME=PCT
    QList<QPair<int, QString>> unitFaults; // --fault A:FLAG
    Misbehaviour misbehaviour;
    bool pace = false;
    int turnaroundMs = 3;
    int jitterMs = 0;
    bool powerCycle = false;
    QString model;    // set the module up for this product model of database
    QString database; // Config.db; empty: <executable dir>/Config.db
    bool help = false;
};

// Parses the arguments after the program name. On a bad argument returns false with the reason.
bool ParseOptions(const QStringList& args, SimOptions& options, QString& error);
QString UsageText();
// Folder where the application looks for simulator links: $XDG_RUNTIME_DIR/kx7410-sim, else
// /tmp/kx7410-sim.
QString DefaultLinkFolder();
