// Jet's + and - on values whose type only the row knows, and comparisons
// of a stored text with a number or a date.

#include "data/jetengine.h"

#include <cmath>

namespace jet {

constexpr qint64 kSecondsPerDay = JetDate::kSecondsPerDay;

// A number of days (a fraction is a time) as seconds; nothing beyond any date.
std::optional<qint64> serialSeconds(double days)
{
    if (!std::isfinite(days) || std::fabs(days) > 3e6)
        return std::nullopt;
    return qint64(std::llround(days * double(kSecondsPerDay)));
}

// A value for + and -: a number, else a date, else neither.
ReadValue readOperand(sqlite3_value *v)
{
    ReadValue r = readNumber(v);
    if (r.kind == Read::Other) {
        const ReadValue date = readDate(v);
        if (date.kind == Read::Date)
            return date;
    }
    return r;
}

double serialDays(const ReadValue &r)
{
    return r.kind == Read::Date ? double(r.seconds) / double(kSecondsPerDay) : r.number;
}

// Jet's '+': two texts are joined; numbers are added; a date and a number of
// days give a date. Null, or a text that is neither, gives Null.
void jetAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        std::string joined(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])),
                           size_t(sqlite3_value_bytes(argv[0])));
        joined.append(reinterpret_cast<const char *>(sqlite3_value_text(argv[1])),
                      size_t(sqlite3_value_bytes(argv[1])));
        sqlite3_result_text(ctx, joined.data(), int(joined.size()), SQLITE_TRANSIENT);
        return;
    }
    const ReadValue a = readOperand(argv[0]);
    const ReadValue b = readOperand(argv[1]);
    if ((a.kind != Read::Number && a.kind != Read::Date) || (b.kind != Read::Number && b.kind != Read::Date)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (a.kind == Read::Date || b.kind == Read::Date) {
        const auto seconds = serialSeconds(serialDays(a) + serialDays(b));
        if (seconds)
            resultDate(ctx, *seconds);
        else
            sqlite3_result_null(ctx);
        return;
    }
    sqlite3_int64 sum;
    if (a.integer && b.integer && !__builtin_add_overflow(a.whole, b.whole, &sum)) {
        sqlite3_result_int64(ctx, sum);
        return;
    }
    sqlite3_result_double(ctx, a.number + b.number);
}

// Jet's '-': numbers are subtracted; a date less a number of days is a date;
// a date less a date is the number of days between them.
void jetSub(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue a = readOperand(argv[0]);
    const ReadValue b = readOperand(argv[1]);
    if ((a.kind != Read::Number && a.kind != Read::Date) || (b.kind != Read::Number && b.kind != Read::Date)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (a.kind == Read::Date && b.kind == Read::Date) {
        resultNumber(ctx, double(a.seconds - b.seconds) / double(kSecondsPerDay));
        return;
    }
    if (a.kind == Read::Date) {
        const auto seconds = serialSeconds(serialDays(a) - b.number);
        if (seconds)
            resultDate(ctx, *seconds);
        else
            sqlite3_result_null(ctx);
        return;
    }
    sqlite3_int64 difference;
    if (a.integer && b.integer && !__builtin_sub_overflow(a.whole, b.whole, &difference)) {
        sqlite3_result_int64(ctx, difference);
        return;
    }
    sqlite3_result_double(ctx, serialDays(a) - serialDays(b));
}

// A date plus a number of days (negative to go back): a date.
void jetDatePlus(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue date = readDate(argv[0]);
    const ReadValue days = readNumber(argv[1]);
    const auto seconds = date.kind == Read::Date && days.kind == Read::Number
                             ? serialSeconds(serialDays(date) + days.number)
                             : std::nullopt;
    if (seconds)
        resultDate(ctx, *seconds);
    else
        sqlite3_result_null(ctx);
}

std::optional<int> compareIn(const JetCollation &collation, Domain domain, sqlite3_value *a, sqlite3_value *b)
{
    if (sqlite3_value_type(a) == SQLITE_NULL || sqlite3_value_type(b) == SQLITE_NULL)
        return std::nullopt;
    if (domain != Domain::Text) {
        const ReadValue ra = domain == Domain::Number ? readNumber(a) : readDate(a);
        const ReadValue rb = domain == Domain::Number ? readNumber(b) : readDate(b);
        if (ra.kind == Read::Null || rb.kind == Read::Null)
            return std::nullopt;
        if (ra.kind == Read::Date && rb.kind == Read::Date)
            return (ra.seconds > rb.seconds) - (ra.seconds < rb.seconds);
        if (ra.kind == Read::Number && rb.kind == Read::Number)
            return ra.integer && rb.integer ? (ra.whole > rb.whole) - (ra.whole < rb.whole)
                                            : (ra.number > rb.number) - (ra.number < rb.number);
    }
    const Text ta = textOf(a);
    const Text tb = textOf(b);
    return collation.compare(ta.begin, int(ta.end - ta.begin), tb.begin, int(tb.end - tb.begin));
}

template<Domain D>
void jetCompareValues(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *collation = static_cast<const JetCollation *>(sqlite3_user_data(ctx));
    const std::optional<int> c = compareIn(*collation, D, argv[0], argv[1]);
    if (c)
        sqlite3_result_int(ctx, *c);
    else
        sqlite3_result_null(ctx);
}

// jet_between(x, a, b, domain): x between a and b, the bounds in either
// order, as Jet takes them: x is at or past one bound and at or before the
// other.
void jetBetween(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *collation = static_cast<const JetCollation *>(sqlite3_user_data(ctx));
    const auto domain = Domain(std::clamp(sqlite3_value_int(argv[3]), 0, 2));
    const std::optional<int> low = compareIn(*collation, domain, argv[0], argv[1]);
    const std::optional<int> high = compareIn(*collation, domain, argv[0], argv[2]);
    if (low && high)
        sqlite3_result_int(ctx, *low * *high <= 0);
    else
        sqlite3_result_null(ctx);
}

template void jetCompareValues<Domain::Number>(sqlite3_context *, int, sqlite3_value **);
template void jetCompareValues<Domain::Date>(sqlite3_context *, int, sqlite3_value **);

} // namespace jet
