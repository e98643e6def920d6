#include "data/jetdate.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr qint64 kDayZero = 2415019; // Julian day of 30/12/1899

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Up to `most` digits; false when there is none.
bool readDigits(const char *&p, const char *end, int most, int &value, int &count)
{
    value = 0;
    count = 0;
    while (p < end && isDigit(*p) && count < most) {
        value = value * 10 + (*p++ - '0');
        ++count;
    }
    return count > 0 && !(p < end && isDigit(*p));
}

// "h:m", "h:m:s" (fractions of a second dropped), optionally AM or PM.
bool readTime(const char *&p, const char *end, int &seconds)
{
    int h, m, s = 0, n;
    if (!readDigits(p, end, 2, h, n) || p == end || *p != ':')
        return false;
    ++p;
    if (!readDigits(p, end, 2, m, n))
        return false;
    if (p < end && *p == ':') {
        ++p;
        if (!readDigits(p, end, 2, s, n))
            return false;
        if (p < end && *p == '.') {
            ++p;
            while (p < end && isDigit(*p))
                ++p;
        }
    }
    const char *q = p;
    while (q < end && isBlank(*q))
        ++q;
    if (end - q >= 2 && (q[1] == 'M' || q[1] == 'm')) {
        const char c = char(q[0] | 0x20);
        if (c == 'a' || c == 'p') {
            if (h < 1 || h > 12)
                return false;
            h = h % 12 + (c == 'p' ? 12 : 0);
            p = q + 2;
        }
    }
    if (p < end && (*p == 'Z' || *p == 'z'))
        ++p;
    if (h > 23 || m > 59 || s > 59)
        return false;
    seconds = (h * 60 + m) * 60 + s;
    return true;
}

} // namespace

JetDate JetDate::fromDay(const QDate &day, int timeOfDay)
{
    return JetDate((day.toJulianDay() - kDayZero) * kSecondsPerDay + timeOfDay);
}

std::optional<JetDate> JetDate::fromSerial(double serial)
{
    if (!std::isfinite(serial) || std::fabs(serial) > 3e6)
        return std::nullopt;
    const double whole = std::trunc(serial);
    return JetDate(qint64(whole) * kSecondsPerDay
                   + qint64(std::llround(std::fabs(serial - whole) * double(kSecondsPerDay))));
}

double JetDate::serial() const
{
    const qint64 whole = days();
    const double time = double(m_seconds - whole * kSecondsPerDay) / double(kSecondsPerDay);
    return whole < 0 ? double(whole) - time : double(whole) + time;
}

std::optional<JetDate> JetDate::read(QStringView text, DateOrder order)
{
    const QByteArray utf8 = text.toUtf8();
    return readUtf8(utf8.constData(), utf8.constData() + utf8.size(), order);
}

std::optional<JetDate> JetDate::readUtf8(const char *p, const char *end, DateOrder order)
{
    while (p < end && isBlank(*p))
        ++p;
    while (end > p && isBlank(end[-1]))
        --end;
    const char *start = p;
    int a, na;
    if (!readDigits(p, end, 4, a, na))
        return std::nullopt;
    if (p < end && *p == ':') {
        p = start;
        int time;
        if (!readTime(p, end, time) || p != end)
            return std::nullopt;
        return JetDate(time);
    }
    if (p == end || (*p != '/' && *p != '-' && *p != '.'))
        return std::nullopt;
    const char separator = *p++;
    int b, nb, c, nc;
    if (!readDigits(p, end, 2, b, nb) || p == end || *p != separator)
        return std::nullopt;
    ++p;
    if (!readDigits(p, end, 4, c, nc))
        return std::nullopt;
    int y, m, d;
    if (na == 4) {
        if (nc > 2)
            return std::nullopt;
        y = a;
        m = b;
        d = c;
    } else {
        if (na > 2 || nc == 3)
            return std::nullopt;
        d = order == DateOrder::DayFirst ? a : b;
        m = order == DateOrder::DayFirst ? b : a;
        y = nc <= 2 ? c + (c < 30 ? 2000 : 1900) : c;
    }
    const QDate day(y, m, d);
    if (!day.isValid() || y < 100)
        return std::nullopt;
    int time = 0;
    if (p < end) {
        if (*p == 'T' || *p == 't')
            ++p;
        else if (!isBlank(*p))
            return std::nullopt;
        while (p < end && isBlank(*p))
            ++p;
        if (!readTime(p, end, time) || p != end)
            return std::nullopt;
    }
    return fromDay(day, time);
}

qint64 JetDate::days() const
{
    return floorDiv(m_seconds, kSecondsPerDay);
}

int JetDate::timeOfDay() const
{
    return int(m_seconds - days() * kSecondsPerDay);
}

QDate JetDate::day() const
{
    return QDate::fromJulianDay(kDayZero + days());
}

bool JetDate::inJetRange() const
{
    const QDate d = day();
    return d.isValid() && d.year() >= 100 && d.year() <= 9999;
}

QString JetDate::isoText() const
{
    const QDate d = day();
    const int time = timeOfDay();
    char buffer[32];
    if (time == 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
                      time / 3600, time / 60 % 60, time % 60);
    return QString::fromLatin1(buffer);
}

QString JetDate::frenchText() const
{
    const QDate d = day();
    const int time = timeOfDay();
    char buffer[32];
    if (time == 0)
        std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", d.day(), d.month(), d.year());
    else
        std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", d.day(), d.month(), d.year(),
                      time / 3600, time / 60 % 60, time % 60);
    return QString::fromLatin1(buffer);
}
