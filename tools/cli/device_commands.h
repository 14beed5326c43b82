#pragma once
// The subcommands of kx7410-cli that act on one module as the window's buttons do, with their
// messages: clock read|set, clear energy|demand, read-config, switch-protocol,
// enter-calibration, calibrate and flash.

#include "cli_station.h"

#include <QStringList>

int ClockCommand(CliStation& station, const QStringList& args);
int ClearCommand(CliStation& station, const QStringList& args);
int ReadConfigCommand(CliStation& station, const QStringList& args);
int SwitchProtocolCommand(CliStation& station, const QStringList& args);
int EnterCalibrationCommand(CliStation& station, const QStringList& args);
int CalibrateCommand(CliStation& station, const QStringList& args);
int DownloadConfigCommand(CliStation& station, const QStringList& args);
int UserDownloadCommand(CliStation& station, const QStringList& args);
int FlashCommand(CliStation& station, const QStringList& args);
