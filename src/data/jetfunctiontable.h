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

// Asc and Chr read and write the Windows western code page: the code points
// of its bytes 0x80 to 0x9F (the five it leaves undefined stand for
// themselves, as Windows maps them).
inline constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
// The entry of a Jet function, by its name in any case; nullptr when none.
const JetFunction *findJetFunction(QStringView jetName);
