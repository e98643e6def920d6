#pragma once

#include "data/schema.h"

#include <QHash>
#include <QString>
#include <QStringList>

// Translation of the Jet SQL that the program and its users write (record
// sources, find conditions, saved request files) into SQLite SQL. A real
// tokenizer and parser, not text patching: string literals may hold any
// character. Understood: double-quoted strings, & concatenation, #mm/dd/yyyy#
// dates, True/False, Mod, Not, And, Or, Xor, Eqv, Imp, Between (bounds in
// either order), table!field, [bracketed names], TOP n, Jet LIKE patterns, the
// functions of the engine's table (jetfunctiontable.h: UCase, Val, InStr,
// DateAdd, CDate...) and those written in SQLite's own terms (Left, Mid, IIf,
// Switch, Nz, IsNull, CStr, CDbl, Date, Now, Year, Month, Day, Weekday...).
// Names are matched to the schema without regard to case and emitted as the
// file spells them. Text comparisons and sort keys get the JETTEXT collation
// (jetfunctions.h). Wildcard-free LIKE terms become equalities and prefix
// terms ('5*') ranges that an index can serve.
//
// Values keep Jet's types: a comparison or a logical operator is an SQL truth
// value in a condition and Jet's True (-1) or False (0) as a value; a date is
// ISO text (jetfunctions.h), and a date plus or minus days stays a date. A
// field (all stored values are text) compared with a number or a date is
// compared as one where its text reads as one, as the original Number and
// Date fields were.
//
// A record source only reads: anything but one SELECT or a table name is
// refused before it reaches the database. Errors are thrown as AppError: 3075
// syntax error (also for what is not supported: UNION, TRANSFORM … PIVOT,
// SELECT … INTO, TOP n PERCENT, sub-queries, and for a text nested or chained
// beyond reason), 3078 unknown table, 3061 unknown name (Jet took it for a
// parameter), 3085 unknown function, 5 a bad interval, 3142 a second
// statement after ';', 3219 an action query (UPDATE, DELETE, INSERT, DROP,
// CREATE, ALTER), 3129 any other statement (PRAGMA, ATTACH, VACUUM...).
//
// The same text can be written for PostgreSQL (SqlDialect): text compared and
// sorted under the nondeterministic ICU collation "jet" (case ignored,
// accents significant), trailing blanks ignored in comparisons as JETTEXT
// ignores them (a column against a literal keeps a range its index serves),
// Jet LIKE as ILIKE or, for sets and '#', a regular expression, tables in
// their schema, the Jet functions inline where PostgreSQL has them and
// otherwise as the SQL functions of postgresqlJetFunctions(), all of them
// with the engine's meaning. Still apart: GROUP BY, DISTINCT and sort ties
// keep trailing blanks; Chr(0) is an error (PostgreSQL's texts hold no NUL);
// a text that reads as a number only with a comma ("2,5") is that number in
// arithmetic, where SQLite reads its leading digits.

// Which database the translation is for.
struct SqlDialect
{
    enum class Engine { SQLite, PostgreSQL };
    Engine engine = Engine::SQLite;
    // PostgreSQL: each table's schema and key column (standing for SQLite's
    // rowid), by the table's name as the schema spells it.
    QHash<QString, QString> schemas;
    QHash<QString, QString> keyColumns;

    bool postgres() const { return engine == Engine::PostgreSQL; }
};

struct TranslatedSelect
{
    QString sql;          // the whole statement, ready for the dialect's database

    // Set when the statement reads one base table without DISTINCT, GROUP BY,
    // TOP, joins or unions: its rows can then be identified, re-read and
    // updated by rowid (by the key column on PostgreSQL).
    bool singleTable = false;
    QString table;        // the table's name as the file spells it
    QString keySql;       // what identifies a row: rowid, or the key column
    QString fromSql;      // the FROM clause's translated text, e.g. "\"luma\""
    QString columnsSql;   // translated select list, e.g. "*"
    QString whereSql;     // translated WHERE condition, empty when none
    QStringList orderBySql;       // ORDER BY terms with direction, text under JETTEXT
    QStringList orderByBinarySql; // the same terms without the collation
    QStringList orderByKeySql;    // the key expressions alone (no direction, no collation)

    // Set when the statement reads the clock (Date(), Now()): the same text
    // on the same data finds other rows another day.
    bool readsClock = false;
};

// A record source is a table name ("luma", "[luma+]") or a SELECT statement.
TranslatedSelect translateRecordSource(const QString &jetSource, const Schema &schema,
                                       const SqlDialect &dialect = {});

// A condition (a WHERE clause without the keyword, as given to a find) on the
// columns of one table.
QString translateCondition(const QString &jetCondition, const Schema &schema, const QString &table,
                           const SqlDialect &dialect = {});

// The SQL functions a PostgreSQL database needs for the translations, one
// CREATE FUNCTION statement an item, to be run in order (after the "jet"
// collation is created).
QStringList postgresqlJetFunctions();
