#pragma once
// The identity part of a unit record made by the calibration page's operations: who
// (Config.ini SysInfo/Operator), where (the host name), on which port and line, with which model,
// and the storing of the record with its failure shown through the message seam.
// GUI thread only (the results database belongs to the main window's thread).

#include "session/unit_identity.h"
#include "store/results.h"

#include <QString>

class TMainForm;

// A record of kind for the unit on the main window's port: serial empty (the unit's serial is not
// known here), model of the product selection, operator, station, port, line settings
// ("9600,N,8,1"), protocol and address; times, verdict and details are the caller's.
UnitRecord StationRecord(const TMainForm& form, RecordKind kind);

// Adds the record to the main window's results database; on failure shows lastError() in the
// error box and returns false.
bool StoreRecord(TMainForm& form, UnitRecord& record);
