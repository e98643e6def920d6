#pragma once

#include <QString>

struct sqlite3;

// What Jet gave and SQLite lacks, installed on every connection:
//  - LIKE with Jet patterns ('*', '?', '#', [abc], [a-z], [!abc], [*]);
//    '%' and '_' are plain characters; NULL gives NULL; letters compared
//    without regard to case over all of Unicode, accents significant. Both the
//    two- and three-argument forms of like() are replaced.
//  - the collation JETTEXT: French dictionary order, case ignored, accents
//    significant, trailing blanks ignored; fast for plain ASCII.
//  - the functions the translator emits for Jet's UCase, LCase, Right, Val,
//    InStr... (jet_ucase, jet_lcase, jet_right, jet_val, jet_instr, ...).
void installJetFunctions(sqlite3 *db);

// The same matching and comparison, for use outside SQL (and for tests).
bool jetLike(const QString &value, const QString &pattern);
int jetCompare(const QString &a, const QString &b);

// Name of the collation.
inline constexpr const char *kJetCollation = "JETTEXT";
