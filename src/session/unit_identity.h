#pragma once
// The identity part of a unit's record, the same for the window and the command line: who
// (Config.ini SysInfo/Operator), where (the host name), which software, on which port and line,
// at which address, with which model; times, verdict and details are the caller's.
// Any thread (it reads Config.ini afresh).

#include "session/station_state.h"
#include "store/results.h"

#include <QString>

// The protocol every configuration and calibration operation speaks.
inline constexpr const char* kModbusProtocolName = "MODBUS_RTU";

// "9600,N,8,1".
QString LineSettingsText(const LineChoice& line);

// A record of kind for the unit at line.ModuleAddress on line.PortName; protocol
// kModbusProtocolName (a check puts its scheme's protocol in), serial empty.
UnitRecord StationRecordFor(const QString& dataDir, const LineChoice& line, const QString& model,
                            RecordKind kind);
