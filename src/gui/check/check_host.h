#pragma once
// What the real-time page needs from the main window that hosts it: the port and the module
// address, the selected model and its protocol, the link, the database and the data folder, and
// the main window's own share of starting and stopping a check (the port button, the model list,
// the tabs of the other pages). TMainForm implements it. GUI thread only.

#include "store/results.h"

#include <QString>
#include <QtGlobal>

class DeviceSession;
class Link;
class ProductDatabase;
class ResultsDatabase;

class CheckHost {
public:
    virtual ~CheckHost() = default;
    virtual bool portOpen() const = 0;
    virtual quint8 moduleAddress() const = 0;
    // The model list's text, blanks trimmed.
    virtual QString modelText() const = 0;
    // TXXY of the selected model's scheme, as the product selection loaded it.
    virtual int protocol() const = 0;
    virtual Link& link() = 0;
    // The device session every operation on the module runs in, one job at a time.
    virtual DeviceSession& session() = 0;
    virtual ProductDatabase& database() = 0;
    // The folder of Config.ini and Config.db.
    virtual QString dataFolder() const = 0;
    // running true: disable the port button, the model list, the inspection settings, clear
    // energy and clear demand, and hide the tabs of the other pages as a running check requires;
    // false: the reverse.
    virtual void SetCheckControls(bool running) = 0;
    // Where finished checks are recorded; null: nowhere (a host without a results database).
    virtual ResultsDatabase* resultsDatabase() { return nullptr; }
    // A record filled with what the host knows of the unit's test: model, station, software,
    // port, line settings, protocol and address.
    virtual UnitRecord RecordTemplate() const { return {}; }
};
