#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include <optional>

// Jet's #literals# are written month first, the texts the program stores day
// first; ISO ("2026-12-05") reads the same either way.
enum class DateOrder { DayFirst, MonthFirst };

// An instant as Jet holds one: days and time since Jet's day zero,
// 30/12/1899 00:00:00, kept to the second. Jet's years run from 100 to 9999.
class JetDate
{
public:
    static constexpr qint64 kSecondsPerDay = 86400;

    constexpr JetDate() = default;
    constexpr explicit JetDate(qint64 seconds) : m_seconds(seconds) {}
    static JetDate fromDay(const QDate &day, int timeOfDay = 0);

    // A date serial as Access stores it: the whole part counts the days from
    // day zero, back before it; the fraction is always the time of day,
    // counted forward from midnight (-1.25 is 29/12/1899 at 06:00, not 28/12
    // at 18:00). Read to the nearest second; nothing when it is not finite or
    // beyond any date.
    static std::optional<JetDate> fromSerial(double serial);
    // The serial Access stores for this instant.
    double serial() const;

    // A date, a date and a time ("05/12/2026 10:30:00", "2026-12-05T10:30"),
    // or a time alone (on day zero), blanks around; two-digit years 30-99 are
    // the 1900s, 00-29 the 2000s. Nothing when the text is not one of these.
    static std::optional<JetDate> read(QStringView text, DateOrder order);
    static std::optional<JetDate> readUtf8(const char *begin, const char *end, DateOrder order);

    constexpr qint64 seconds() const { return m_seconds; }
    qint64 days() const;    // whole days since day zero, rounded down
    int timeOfDay() const;  // seconds since midnight
    QDate day() const;
    bool inJetRange() const;

    // "yyyy-mm-dd", or "yyyy-mm-dd hh:mm:ss" when the time is not midnight.
    QString isoText() const;
    // "dd/mm/yyyy", or "dd/mm/yyyy hh:mm:ss" when the time is not midnight.
    QString frenchText() const;

    friend constexpr bool operator==(JetDate a, JetDate b) { return a.m_seconds == b.m_seconds; }

private:
    qint64 m_seconds = 0;
};
