#pragma once
// kx7410-cli check: the data check of one unit, or of each address of a list in turn, on a port.

#include "cli_station.h"

#include <QStringList>

int CheckCommand(CliStation& station, const QStringList& args);
QString CheckUsage();
