#pragma once

#include "data/jetdate.h"

#include <QString>
#include <QStringView>

struct sqlite3;

// What Jet gave and SQLite lacks, installed on every connection:
//  - LIKE with Jet patterns ('*', '?', '#', [abc], [a-z], [!abc], [*]);
//    '%' and '_' are plain characters; NULL gives NULL; letters compared
//    without regard to case over all of Unicode, accents significant. Both the
//    two- and three-argument forms of like() are replaced.
//  - the collation JETTEXT: French dictionary order, case ignored, accents
//    significant, trailing blanks ignored; fast for plain ASCII.
//  - the functions the translator emits for Jet's functions, for comparing
//    a stored text with a number or a date, and for adding or subtracting
//    values whose type only the row knows: jetfunctiontable.h lists them.
//
// Dates travel through SQL as ISO text, "yyyy-mm-dd", or "yyyy-mm-dd
// hh:mm:ss" when the time is not midnight: one text per instant, so that two
// dates compare as texts in date order. A stored text reads as a date when it
// is written day first ("05/12/2026", "05/12/2026 10:30:00", as the lending
// screens write it) or in ISO order; a number stored in a numeric column is a
// Jet date serial (days since 30/12/1899). A stored text reads as a number
// when it is one, blanks around it, with a decimal point or comma. An empty
// or blank text is no value (Null), as the original Date and Number fields
// held no empty text; any other text that reads as neither keeps the text
// comparison.
void installJetFunctions(sqlite3 *db);

// The same matching and comparison, for use outside SQL (and for tests).
bool jetLike(const QString &value, const QString &pattern);
int jetCompare(const QString &a, const QString &b);

// Val as Jet reads it: the number at the start of the text, blanks skipped
// anywhere ("1 2" is 12), &H and &O for hexadecimal and octal; 0 when the
// text starts with no number.
double jetVal(QStringView text);

// The number (5 invalid argument, 13 type mismatch...) of an error a Jet
// function raised inside a statement, from the engine's message, with its
// French description; 0 when the message is not one of theirs.
int jetFunctionError(const QString &engineMessage, QString *description = nullptr);

// Name of the collation.
inline constexpr const char *kJetCollation = "JETTEXT";
