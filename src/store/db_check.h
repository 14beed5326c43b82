#pragma once
// Consistency check of a product database: rows that break the codings the program relies on.

#include <QSqlDatabase>
#include <QStringList>

// One line per problem found (empty when the database is sound):
// - a direction or enable column of Fstable that is neither 43605 ("0xAA55") nor 0, or a
//   number column of any table that does not read as a number;
// - a Cstable row naming a parameter that Outpar does not hold;
// - a 亚奥 scheme (TXXY 3) whose parameters take more than 127 registers;
// - a Config row naming a scheme that Fstable does not hold;
// - an Outpar row whose ZS disagrees with its kind (BL 1 and 2 take 1 register, BL 3 takes 3);
// - a TestPlan point that is not one of the choices of the real-time page (a database made
//   before plans existed has no such table and nothing to report there).
QStringList CheckDatabase(QSqlDatabase db);
