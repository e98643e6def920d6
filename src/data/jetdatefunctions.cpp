// Jet's date functions: CDate, DateValue, DatePart, DateDiff, DateAdd,
// DateSerial, IsDate, and a date's number and French text.

#include "data/jetengine.h"

#include <QDate>

#include <cmath>
#include <strings.h>

namespace jet {

namespace {

constexpr qint64 kSecondsPerDay = JetDate::kSecondsPerDay;

QDate dayOf(qint64 seconds)
{
    return JetDate(seconds).day();
}

int timeOf(qint64 seconds)
{
    return JetDate(seconds).timeOfDay();
}

qint64 secondsOf(const QDate &day, int time)
{
    return JetDate::fromDay(day, time).seconds();
}

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

// A date: a Jet date serial in a numeric column, or a text written as a date.
ReadValue readDate(sqlite3_value *v)
{
    ReadValue r;
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return r;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const auto date = JetDate::fromSerial(sqlite3_value_double(v));
        r.kind = date && date->inJetRange() ? Read::Date : Read::Other;
        r.seconds = date ? date->seconds() : 0;
        return r;
    }
    default: {
        const Text text = textOf(v);
        if (text.blank())
            return r;
        const auto date = JetDate::readUtf8(text.begin, text.end, DateOrder::DayFirst);
        r.kind = date ? Read::Date : Read::Other;
        r.seconds = date ? date->seconds() : 0;
        return r;
    }
    }
}

void resultDate(sqlite3_context *ctx, qint64 seconds)
{
    if (!JetDate(seconds).inJetRange()) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray text = JetDate(seconds).isoText().toLatin1();
    sqlite3_result_text(ctx, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

// CDate: a date (with its time) or Null.
void jetDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind == Read::Date)
        resultDate(ctx, r.seconds);
    else
        sqlite3_result_null(ctx);
}

// DateValue: the date alone.
void jetDateValue(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind == Read::Date)
        resultDate(ctx, r.seconds - timeOf(r.seconds));
    else
        sqlite3_result_null(ctx);
}

// A date as a number, where Jet computes with one: days since day zero.
void jetDateNumber(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind == Read::Date)
        resultNumber(ctx, JetDate(r.seconds).serial());
    else
        sqlite3_result_null(ctx);
}

// A date as French text, day first, for concatenation and CStr.
void jetFrenchDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind != Read::Date) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    resultText(ctx, JetDate(r.seconds).frenchText());
}

// Intervals of DatePart, DateDiff and DateAdd.
enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

std::optional<Interval> readInterval(sqlite3_value *v)
{
    static constexpr std::pair<const char *, Interval> names[] = {
        {"yyyy", Interval::Year}, {"q", Interval::Quarter},  {"m", Interval::Month},  {"y", Interval::DayOfYear},
        {"d", Interval::Day},     {"w", Interval::Weekday},  {"ww", Interval::Week},  {"h", Interval::Hour},
        {"n", Interval::Minute},  {"s", Interval::Second}};
    const Text text = textOf(v).trimmed();
    const std::string name(text.begin, text.end);
    for (const auto &[n, interval] : names) {
        if (strcasecmp(n, name.c_str()) == 0)
            return interval;
    }
    return std::nullopt;
}

// firstdayofweek: 1 Sunday (Jet's default) to 7 Saturday; 0, the system's,
// is Monday here. Null when the argument is missing or Null.
std::optional<int> readFirstDay(int argc, sqlite3_value **argv, int index)
{
    if (index >= argc || sqlite3_value_type(argv[index]) == SQLITE_NULL)
        return 1;
    const int day = sqlite3_value_int(argv[index]);
    if (day < 0 || day > 7)
        return std::nullopt;
    return day == 0 ? 2 : day;
}

// firstweekofyear: 1 the week of 1 January (default), 2 the first week of four
// days, 3 the first full week; 0, the system's, is the first of four days here.
std::optional<int> readFirstWeek(int argc, sqlite3_value **argv, int index)
{
    if (index >= argc || sqlite3_value_type(argv[index]) == SQLITE_NULL)
        return 1;
    const int week = sqlite3_value_int(argv[index]);
    if (week < 0 || week > 3)
        return std::nullopt;
    return week == 0 ? 2 : week;
}

// Weekday: 1 for the first day of the week.
int weekday(const QDate &day, int firstDay)
{
    const int sundayFirst = day.dayOfWeek() % 7 + 1; // Sunday 1 ... Saturday 7
    return (sundayFirst - firstDay + 7) % 7 + 1;
}

QDate weekStart(const QDate &day, int firstDay)
{
    return day.addDays(1 - weekday(day, firstDay));
}

QDate firstWeekStart(int year, int firstDay, int firstWeek)
{
    switch (firstWeek) {
    case 2:
        return weekStart(QDate(year, 1, 4), firstDay);
    case 3: {
        const QDate start = weekStart(QDate(year, 1, 1), firstDay);
        return start.year() < year ? start.addDays(7) : start;
    }
    default:
        return weekStart(QDate(year, 1, 1), firstDay);
    }
}

int weekOfYear(const QDate &day, int firstDay, int firstWeek)
{
    QDate start = firstWeekStart(day.year(), firstDay, firstWeek);
    if (day < start)
        start = firstWeekStart(day.year() - 1, firstDay, firstWeek);
    return int(start.daysTo(day) / 7) + 1;
}

// DatePart(interval, date [, firstdayofweek [, firstweekofyear]]), and Year,
// Month, Day, Weekday, Hour, Minute, Second through it.
void jetDatePart(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    const auto interval = readInterval(argv[0]);
    const auto firstDay = readFirstDay(argc, argv, 2);
    const auto firstWeek = readFirstWeek(argc, argv, 3);
    if (!interval || !firstDay || !firstWeek) {
        argumentError(ctx, "DatePart");
        return;
    }
    const ReadValue date = readDate(argv[1]);
    if (date.kind != Read::Date) {
        sqlite3_result_null(ctx);
        return;
    }
    const QDate day = dayOf(date.seconds);
    const int time = timeOf(date.seconds);
    int part = 0;
    switch (*interval) {
    case Interval::Year: part = day.year(); break;
    case Interval::Quarter: part = (day.month() - 1) / 3 + 1; break;
    case Interval::Month: part = day.month(); break;
    case Interval::DayOfYear: part = day.dayOfYear(); break;
    case Interval::Day: part = day.day(); break;
    case Interval::Weekday: part = weekday(day, *firstDay); break;
    case Interval::Week: part = weekOfYear(day, *firstDay, *firstWeek); break;
    case Interval::Hour: part = time / 3600; break;
    case Interval::Minute: part = time / 60 % 60; break;
    case Interval::Second: part = time % 60; break;
    }
    sqlite3_result_int(ctx, part);
}

// DateDiff(interval, date1, date2 [, firstdayofweek [, firstweekofyear]]):
// the number of interval boundaries from date1 to date2 (days: midnights
// crossed; months: month changes...), negative when date2 comes first.
void jetDateDiff(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    const auto interval = readInterval(argv[0]);
    const auto firstDay = readFirstDay(argc, argv, 3);
    if (!interval || !firstDay || !readFirstWeek(argc, argv, 4)) {
        argumentError(ctx, "DateDiff");
        return;
    }
    const ReadValue a = readDate(argv[1]);
    const ReadValue b = readDate(argv[2]);
    if (a.kind != Read::Date || b.kind != Read::Date) {
        sqlite3_result_null(ctx);
        return;
    }
    const QDate da = dayOf(a.seconds), db = dayOf(b.seconds);
    const qint64 days = da.daysTo(db);
    qint64 diff = 0;
    switch (*interval) {
    case Interval::Year: diff = db.year() - da.year(); break;
    case Interval::Quarter:
        diff = (db.year() * 4 + (db.month() - 1) / 3) - (da.year() * 4 + (da.month() - 1) / 3);
        break;
    case Interval::Month: diff = (db.year() * 12 + db.month()) - (da.year() * 12 + da.month()); break;
    case Interval::DayOfYear:
    case Interval::Day: diff = days; break;
    case Interval::Weekday: diff = days / 7; break;
    case Interval::Week: diff = weekStart(da, *firstDay).daysTo(weekStart(db, *firstDay)) / 7; break;
    case Interval::Hour: diff = floorDiv(b.seconds, 3600) - floorDiv(a.seconds, 3600); break;
    case Interval::Minute: diff = floorDiv(b.seconds, 60) - floorDiv(a.seconds, 60); break;
    case Interval::Second: diff = b.seconds - a.seconds; break;
    }
    sqlite3_result_int64(ctx, diff);
}

// DateAdd(interval, number, date): the number's fraction is dropped; a month
// too short for the day gives its last day (31 January plus one month is the
// end of February).
void jetDateAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto interval = readInterval(argv[0]);
    if (!interval) {
        argumentError(ctx, "DateAdd");
        return;
    }
    const ReadValue count = readNumber(argv[1]);
    const ReadValue date = readDate(argv[2]);
    if (count.kind != Read::Number || date.kind != Read::Date || std::fabs(count.number) > 1e7) {
        sqlite3_result_null(ctx);
        return;
    }
    const qint64 n = qint64(std::trunc(count.number));
    const QDate day = dayOf(date.seconds);
    const int time = timeOf(date.seconds);
    qint64 seconds = date.seconds;
    switch (*interval) {
    case Interval::Year: seconds = secondsOf(day.addMonths(int(n * 12)), time); break;
    case Interval::Quarter: seconds = secondsOf(day.addMonths(int(n * 3)), time); break;
    case Interval::Month: seconds = secondsOf(day.addMonths(int(n)), time); break;
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday: seconds += n * kSecondsPerDay; break;
    case Interval::Week: seconds += 7 * n * kSecondsPerDay; break;
    case Interval::Hour: seconds += n * 3600; break;
    case Interval::Minute: seconds += n * 60; break;
    case Interval::Second: seconds += n; break;
    }
    resultDate(ctx, seconds);
}

// DateSerial(year, month, day): months and days beyond their range carry
// over (month 13 is January of the next year, day 0 the last of the month
// before); years 0-29 are the 2000s, 30-99 the 1900s.
void jetDateSerial(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto y = roundHalfEven(readNumber(argv[0]), -32768, 32767);
    const auto m = roundHalfEven(readNumber(argv[1]), -32768, 32767);
    const auto d = roundHalfEven(readNumber(argv[2]), -32768, 32767);
    if (!y || !m || !d) {
        sqlite3_result_null(ctx);
        return;
    }
    int year = int(*y);
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    if (year < 100 || year > 9999) {
        sqlite3_result_null(ctx);
        return;
    }
    const QDate day = QDate(year, 1, 1).addMonths(int(*m) - 1).addDays(*d - 1);
    resultDate(ctx, secondsOf(day, 0));
}

void jetIsDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const int type = sqlite3_value_type(argv[0]);
    sqlite3_result_int(ctx, type != SQLITE_INTEGER && type != SQLITE_FLOAT && readDate(argv[0]).kind == Read::Date);
}

} // namespace jet
