#pragma once
// Sets the simulated module up for one product model of a Config.db, as the host's configuration
// download and protocol switch leave a real module: the scheme's output-parameter list at 11300,
// its scale directions and factors (11015..11022), enables (11024..11028), the protocol (11023)
// and the frame format (269). So a freshly started simulator can be checked at once.

#include <QString>

class Module;

// Returns an empty text on success, else what went wrong (unknown model, missing scheme, ...).
QString SetUpForModel(Module& module, const QString& databasePath, const QString& model);
