#pragma once
// The serial ports the user may choose from.

#include <QString>
#include <QStringList>

// Where the simulated module leaves links to its pseudo-terminals:
// $XDG_RUNTIME_DIR/kx7410-sim, or /tmp/kx7410-sim when the variable is unset.
QString SimulatedPortFolder();

// The system's serial ports (their device paths) and the links found in SimulatedPortFolder(),
// sorted as text, without duplicates.
QStringList AvailablePortNames();
