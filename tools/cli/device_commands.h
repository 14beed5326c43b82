#pragma once
// The subcommands of kx7410-cli that act on one module as the window's buttons do, with their
// messages: clock read|set and clear energy|demand.

#include "cli_station.h"

#include <QStringList>

int ClockCommand(CliStation& station, const QStringList& args);
int ClearCommand(CliStation& station, const QStringList& args);
