#pragma once

#include <QStringView>

#include <span>

struct sqlite3_context;
struct sqlite3_value;

// The SQL functions installed on every connection (jetfunctions.h), in one
// table that the registration and the translator (jetsql.h) both read.
//
// A function that stands for a Jet function of the same use has that
// function's name: the translator turns a call of it, with the same number
// of arguments, into a call of the SQL function. The others are emitted by
// the translator for operators and conversions (jet_add for '+',
// jet_cmpnum for a field compared with a number...).

// What the translator knows of the result.
enum class JetResult { Unknown, Text, Number, Date, Truth };

struct JetFunction
{
    const char *sqlName;
    int minArgs;
    int maxArgs;
    void (*function)(sqlite3_context *, int, sqlite3_value **);
    const char *jetName = nullptr;    // nullptr: emitted by the translator only
    // How each argument is passed: 'v' as the value, 't' as a text, 'n' as a
    // number; the last letter for the arguments after.
    const char *arguments = "v";
    JetResult result = JetResult::Unknown;
    bool interval = false;  // the first argument is an interval ("yyyy", "m"...)
    bool collation = false; // needs the connection's JETTEXT collation
};

std::span<const JetFunction> jetFunctionTable();
// The entry of a Jet function, by its name in any case; nullptr when none.
const JetFunction *findJetFunction(QStringView jetName);
