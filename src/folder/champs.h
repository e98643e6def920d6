#pragma once

#include <QDate>
#include <QString>

// How the catalogue's text fields are read as numbers and dates, the same
// way by the kiosk, its journal and the loans report.

// Reads a loan date as the catalogue may hold it, as the database engine
// reads a stored date: d/m/yyyy as the lending screens write it, with or
// without a time (an Access date with a time comes over as "05/12/2026
// 10:30:00"), a two-digit year as Jet read it (00 to 29 in the 2000s, 30 to
// 99 in the 1900s), or ISO. An invalid date when it cannot be read: the
// journal then gives no length of loan.
QDate parseLoanDate(const QString &text);

// The numeric value of a text as Val() reads it (the database engine's own
// Val): the leading number, blanks skipped, 0 when there is none (class
// numbers, loan counts).
double valeurNumerique(const QString &text);
