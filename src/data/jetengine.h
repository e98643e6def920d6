#pragma once

// What the files of the Jet functions share (jetfunctions.h): reading SQLite
// values as Jet reads them, and giving results and errors back.

#include "data/jetdate.h"
#include "platform/errornumbers.h"

#include <QChar>
#include <QCollator>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

namespace jet {

// A function's failure, numbered as the program numbers errors. SQLite
// carries only a text: the number leads it ("#5#Argument incorrect pour
// Right"), and jetFunctionError() takes it back.

void resultError(sqlite3_context *ctx, int number, const std::string &text);
// Error 5 for the function named; false, so that a reader can return it.
bool argumentError(sqlite3_context *ctx, const char *function);
void resultText(sqlite3_context *ctx, const QString &text);
bool anyNull(int argc, sqlite3_value **argv);

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A value's UTF-8 text, not copied.
struct Text
{
    const char *begin;
    const char *end;

    bool blank() const { return std::all_of(begin, end, isBlank); }
    Text trimmed() const
    {
        Text t = *this;
        while (t.begin < t.end && isBlank(*t.begin))
            ++t.begin;
        while (t.end > t.begin && isBlank(t.end[-1]))
            --t.end;
        return t;
    }
};

inline Text textOf(sqlite3_value *v)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
    return Text{p, p + sqlite3_value_bytes(v)};
}

// Characters: UTF-8 decoding (malformed input gives U+FFFD and moves one
// byte on), the text's code points, and the same case-folded (simple
// folding: one code point stays one, so positions keep their meaning).
char32_t decodeUtf8(const unsigned char *&p, const unsigned char *end);
inline char32_t foldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? char32_t(c + 32) : char32_t(c);
}

inline char32_t foldCodePoint(char32_t c)
{
    if (c < 0x80)
        return foldAscii(static_cast<unsigned char>(c));
    return QChar::toCaseFolded(c);
}

void foldUtf8(const unsigned char *text, int length, std::u32string &out);
std::u32string codePoints(sqlite3_value *v);

// What a value is to Jet's arithmetic and comparisons.
enum class Read { Null, Number, Date, Other };

struct ReadValue
{
    Read kind = Read::Null;
    double number = 0;
    bool integer = false;   // a number held exactly in `whole`
    sqlite3_int64 whole = 0;
    qint64 seconds = 0;     // a date
};

// A number: a numeric value, or a text that reads as one. A date: a date
// serial in a numeric column, or a text written as a date (day first).
ReadValue readNumber(sqlite3_value *v);
ReadValue readDate(sqlite3_value *v);
// The whole number nearest, halves to the even one, within [low, high].
std::optional<sqlite3_int64> roundHalfEven(const ReadValue &r, double low, double high);

// A date as the SQL carries it (Null outside Jet's years); a number of days
// or seconds, an integer when it is whole.
void resultDate(sqlite3_context *ctx, qint64 seconds);
void resultNumber(sqlite3_context *ctx, double value);

// The JETTEXT order, per connection: the collator and, derived from it, the
// rank of each ASCII character (0 = ignored by the collator, equal ranks =
// equal characters), so that plain ASCII texts need no collator.
struct JetCollation
{
    QCollator collator;
    std::array<unsigned char, 128> rank{};

    JetCollation();
    int compare(const char *a, int na, const char *b, int nb) const;
    int compareSlow(const char *a, int na, const char *b, int nb) const;
};
int collationCompare(void *data, int na, const void *a, int nb, const void *b);
void destroyCollation(void *data);

// How a comparison reads its operands: as texts (the JETTEXT order), as
// numbers where they read as numbers, as dates where they read as dates.
enum class Domain { Text = 0, Number = 1, Date = 2 };

// -1, 0 or 1; nothing when either operand is Null or, read as a number or a
// date, blank (the original Number and Date fields held no empty text). Two
// operands that do not both read as the domain asks compare as texts.
std::optional<int> compareIn(const JetCollation &collation, Domain domain, sqlite3_value *a, sqlite3_value *b);

// The SQL functions (jetfunctiontable.h lists them with their names).
using SqlFunction = void (*)(sqlite3_context *, int, sqlite3_value **);

void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv);

template<bool Upper> void changeCase(sqlite3_context *ctx, int argc, sqlite3_value **argv);
template<bool Left, bool Right> void jetTrim(sqlite3_context *ctx, int argc, sqlite3_value **argv);
template<bool Unicode> void jetAsc(sqlite3_context *ctx, int argc, sqlite3_value **argv);
template<bool Unicode> void jetChr(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetRight(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetLen(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetInstr(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetInstrRev(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetReplace(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetStrComp(sqlite3_context *ctx, int argc, sqlite3_value **argv);

void valFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetStr(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetPow(sqlite3_context *ctx, int argc, sqlite3_value **argv);
template<int Bits> void jetRoundToInteger(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetNumber(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetIsNumeric(sqlite3_context *ctx, int argc, sqlite3_value **argv);

void jetAdd(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetSub(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetDatePlus(sqlite3_context *ctx, int argc, sqlite3_value **argv);
template<Domain D> void jetCompareValues(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetBetween(sqlite3_context *ctx, int argc, sqlite3_value **argv);

void jetDate(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetDateValue(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetDateNumber(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetFrenchDate(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetDatePart(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetDateDiff(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetDateAdd(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetDateSerial(sqlite3_context *ctx, int argc, sqlite3_value **argv);
void jetIsDate(sqlite3_context *ctx, int argc, sqlite3_value **argv);

} // namespace jet
