#pragma once
// The port of a device subcommand: the line settings of Config.ini (SetCom) on the port the
// command names, the serial link opened with them, and the traffic monitor's decoded lines on
// standard error when --trace is given.

#include "link/serial_link.h"
#include "link/traffic.h"
#include "session/station_state.h"

#include <QString>

// The window's line settings with port as the port name. Throws CliFailure (exit 3) naming
// Config.ini when its SetCom section cannot be read, and for a port that does not exist.
LineChoice LoadLine(const QString& dataDir, const QString& port);

class CliLink {
public:
    explicit CliLink(bool trace);
    ~CliLink();
    // Throws CliFailure (exit 2) with the window's message naming the port and the reason.
    void Open(const LineChoice& line);
    // Closes and opens again with other line settings (a frame-format switch); false when the
    // port would not open.
    bool Reopen(const LineChoice& line);
    Link& link() { return link_; }
    // Prints the exchanges recorded since the last call (with --trace; nothing otherwise).
    void FlushTrace();

private:
    SerialLink link_;
    TrafficLog traffic_;
    bool trace_;
    uint64_t printed_ = 0;
};
