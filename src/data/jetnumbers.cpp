// Numbers as Jet reads them from values and texts: Val, Str, CInt, CLng,
// IsNumeric, and the power operator.

#include "data/jetengine.h"
#include "data/jetfunctions.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace jet {

// Val: the number at the start of the text, blanks, tabs and line feeds
// skipped anywhere; &H and &O prefixes read hexadecimal and octal; 0 when
// there is no number. A whole number without a point or an exponent is an
// integer.
struct ValNumber
{
    bool integer = true;
    sqlite3_int64 whole = 0;
    double real = 0;
};

ValNumber readVal(const char *p, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (p[i] != ' ' && p[i] != '\t' && p[i] != '\n' && p[i] != '\r')
            s.push_back(p[i]);
    }
    size_t i = 0;
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        sqlite3_int64 v = 0;
        for (i = 2; i < s.size(); ++i) {
            const char c = s[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                break;
            if (d >= base)
                break;
            v = v * base + d;
            if (v > std::numeric_limits<int>::max() * sqlite3_int64(4))
                break;
        }
        return {true, v, 0};
    }
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    bool digits = false, real = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        number.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        real = true;
        number.push_back(s[i++]);
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            number.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits)
        return {};
    if (i + 1 < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        size_t k = i + 1;
        std::string exponent = "e";
        if (k < s.size() && (s[k] == '+' || s[k] == '-'))
            exponent.push_back(s[k++]);
        if (k < s.size() && s[k] >= '0' && s[k] <= '9') {
            while (k < s.size() && s[k] >= '0' && s[k] <= '9')
                exponent.push_back(s[k++]);
            number += exponent;
            real = true;
        }
    }
    if (!real && number.size() < 19)
        return {true, std::stoll(number), 0};
    // from_chars reads alike in every locale, where strtod would stop at the
    // point under a French LC_NUMERIC (which QCoreApplication installs).
    double value = 0;
    const char *first = number.data() + (number.front() == '+' ? 1 : 0);
    std::from_chars(first, number.data() + number.size(), value);
    return {false, 0, value};
}

void valFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    const ValNumber v = readVal(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])),
                                sqlite3_value_bytes(argv[0]));
    if (v.integer)
        sqlite3_result_int64(ctx, v.whole);
    else
        sqlite3_result_double(ctx, v.real);
}

void resultNumberText(sqlite3_context *ctx, sqlite3_value *v, bool leadingBlank)
{
    const int type = sqlite3_value_numeric_type(v);
    std::string out;
    if (type == SQLITE_INTEGER) {
        const sqlite3_int64 n = sqlite3_value_int64(v);
        out = std::to_string(n);
        if (leadingBlank && n >= 0)
            out.insert(out.begin(), ' ');
    } else if (type == SQLITE_FLOAT) {
        const double d = sqlite3_value_double(v);
        char buffer[64];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 15);
        out.assign(buffer, written.ptr); // a point in every locale, as Str writes it
        if (leadingBlank && d >= 0)
            out.insert(out.begin(), ' ');
    } else {
        resultError(ctx, ErrorNumber::TypeMismatch, "Type incompatible");
        return;
    }
    sqlite3_result_text(ctx, out.data(), int(out.size()), SQLITE_TRANSIENT);
}

// Str(n): the number as text, with a leading blank when it is not negative.
void jetStr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    resultNumberText(ctx, argv[0], true);
}

void jetPow(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    const double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
    if (std::isfinite(r) && r == std::floor(r) && std::fabs(r) < 9e15)
        sqlite3_result_int64(ctx, sqlite3_int64(r));
    else
        sqlite3_result_double(ctx, r);
}

// A number as Jet reads one from text: blanks around, a sign, digits with
// one decimal point (or the French comma), an exponent. Read the same in any
// C locale.
bool readNumberText(Text text, double &out)
{
    text = text.trimmed();
    const char *p = text.begin;
    const char *end = text.end;
    // Copied as from_chars reads it: no '+', a point for the comma, 'e' for
    // VBA's 'd'. A number longer than the buffer is no number anyone wrote.
    char number[64];
    size_t n = 0;
    auto put = [&](char c) {
        if (n < sizeof number)
            number[n] = c;
        ++n;
    };
    if (p < end && (*p == '+' || *p == '-')) {
        if (*p == '-')
            put('-');
        ++p;
    }
    bool digits = false;
    while (p < end && isDigit(*p)) {
        put(*p++);
        digits = true;
    }
    if (p < end && (*p == '.' || *p == ',')) {
        put('.');
        ++p;
        while (p < end && isDigit(*p)) {
            put(*p++);
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D')) {
        put('e');
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            put(*p++);
        if (p == end || !isDigit(*p))
            return false;
        while (p < end && isDigit(*p))
            put(*p++);
    }
    if (p != end || n > sizeof number)
        return false;
    const auto [rest, error] = std::from_chars(number, number + n, out);
    return error == std::errc() && rest == number + n && std::isfinite(out);
}

ReadValue readNumber(sqlite3_value *v)
{
    ReadValue r;
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return r;
    case SQLITE_INTEGER:
        r.kind = Read::Number;
        r.integer = true;
        r.whole = sqlite3_value_int64(v);
        r.number = double(r.whole);
        return r;
    case SQLITE_FLOAT:
        r.kind = Read::Number;
        r.number = sqlite3_value_double(v);
        return r;
    default: {
        const Text text = textOf(v);
        if (text.blank())
            return r;
        r.kind = readNumberText(text, r.number) ? Read::Number : Read::Other;
        if (r.kind == Read::Number && r.number == std::floor(r.number) && std::fabs(r.number) < 9e15) {
            r.integer = true;
            r.whole = sqlite3_int64(r.number);
        }
        return r;
    }
    }
}

// A whole number of days or seconds as an integer, anything else as a real.
void resultNumber(sqlite3_context *ctx, double value)
{
    if (value == std::floor(value) && std::fabs(value) < 9e15)
        sqlite3_result_int64(ctx, sqlite3_int64(value));
    else
        sqlite3_result_double(ctx, value);
}

// The whole number nearest, halves to the even one, as Jet converts to an
// Integer or a Long.
std::optional<sqlite3_int64> roundHalfEven(const ReadValue &r, double low, double high)
{
    if (r.kind != Read::Number)
        return std::nullopt;
    const double rounded = std::nearbyint(r.number); // the default rounding mode: halves to even
    if (!(rounded >= low && rounded <= high))
        return std::nullopt;
    return sqlite3_int64(rounded);
}

template<int Bits>
void jetRoundToInteger(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    constexpr double high = double((sqlite3_int64(1) << (Bits - 1)) - 1);
    const auto n = roundHalfEven(readNumber(argv[0]), -high - 1, high);
    if (n)
        sqlite3_result_int64(ctx, *n);
    else
        sqlite3_result_null(ctx);
}

// A field among numbers (In): its number where its text reads as one, Null
// where it is blank, the text itself otherwise.
void jetNumber(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readNumber(argv[0]);
    if (r.kind == Read::Null)
        sqlite3_result_null(ctx);
    else if (r.kind == Read::Other)
        sqlite3_result_value(ctx, argv[0]);
    else if (r.integer)
        sqlite3_result_int64(ctx, r.whole);
    else
        sqlite3_result_double(ctx, r.number);
}

void jetIsNumeric(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    sqlite3_result_int(ctx, readNumber(argv[0]).kind == Read::Number);
}

template void jetRoundToInteger<16>(sqlite3_context *, int, sqlite3_value **);
template void jetRoundToInteger<32>(sqlite3_context *, int, sqlite3_value **);

} // namespace jet

double jetVal(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    const jet::ValNumber v = jet::readVal(utf8.constData(), int(utf8.size()));
    return v.integer ? double(v.whole) : v.real;
}
