#pragma once

#include "data/schema.h"

#include <QString>
#include <QStringList>

// Translation of the Jet SQL that the program and its users write (record
// sources, find conditions, saved request files) into SQLite SQL. A real
// tokenizer and parser, not text patching: string literals may hold any
// character. Understood: double-quoted strings, & concatenation, #mm/dd/yyyy#
// dates, True/False, Mod, Not, table!field, [bracketed names], TOP n, Jet LIKE
// patterns, the common functions (UCase, LCase, Left, Right, Mid, Len, Trim,
// LTrim, RTrim, Val, InStr, IIf, Nz, IsNull...). Names are matched to the
// schema without regard to case and emitted as the file spells them. Text
// comparisons and sort keys get the JETTEXT collation (jetfunctions.h).
// Wildcard-free LIKE terms become equalities and prefix terms ('5*') ranges
// that an index can serve.
//
// Errors are thrown as AppError: 3075 syntax error, 3078 unknown table,
// 3061 unknown name (Jet took it for a parameter).

struct TranslatedSelect
{
    QString sql;          // the whole statement, ready for SQLite

    // Set when the statement reads one base table without DISTINCT, GROUP BY,
    // TOP, joins or unions: its rows can then be identified, re-read and
    // updated by rowid.
    bool singleTable = false;
    QString table;        // the table's name as the file spells it
    QString fromSql;      // the FROM clause's translated text, e.g. "\"luma\""
    QString columnsSql;   // translated select list, e.g. "*"
    QString whereSql;     // translated WHERE condition, empty when none
    QStringList orderBySql;       // ORDER BY terms with direction, text under JETTEXT
    QStringList orderByBinarySql; // the same terms without the collation
    QStringList orderByKeySql;    // the key expressions alone (no direction, no collation)
};

// A record source is a table name ("luma", "[luma+]") or a SELECT statement.
TranslatedSelect translateRecordSource(const QString &jetSource, const Schema &schema);

// A condition (a WHERE clause without the keyword, as given to a find) on the
// columns of one table.
QString translateCondition(const QString &jetCondition, const Schema &schema, const QString &table);
