#pragma once
// A list of module addresses as an operator types it: one address ("5"), a range ("1-8"), or
// several of either separated by commas ("1-4,7,9"). Addresses are 1..255, each taken once, in
// the order typed. The command-line tool, the real-time page and the simulator read it alike.

#include <QList>
#include <QString>

// False, with the reason naming the part that is wrong, for anything else (an empty list or
// part, a reversed range, an address outside 1..255, a repeated address).
bool ParseAddressList(const QString& text, QList<int>& addresses, QString& error);
