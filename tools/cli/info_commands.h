#pragma once
// The subcommands of kx7410-cli that only read: ports, models, schemes, plans and records.

#include "cli_station.h"

#include <QStringList>

int PortsCommand(CliStation& station, const QStringList& args);
int ModelsCommand(CliStation& station, const QStringList& args);
int SchemesCommand(CliStation& station, const QStringList& args);
int PlansCommand(CliStation& station, const QStringList& args);
int RecordsCommand(CliStation& station, const QStringList& args);
