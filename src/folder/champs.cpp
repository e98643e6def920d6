#include "folder/champs.h"

#include "data/jetfunctions.h"

#include <QRegularExpression>

QDate parseLoanDate(const QString &text)
{
    // The database engine's own reading, so that the journal and a search
    // find the same day in a loan date. A time alone (which the engine puts
    // on its day zero) is no loan date.
    const std::optional<qint64> seconds = jetReadDate(text, DateOrder::DayFirst);
    if (!seconds)
        return {};
    const QString value = text.trimmed();
    qsizetype digits = 0;
    while (digits < value.size() && value[digits].isDigit())
        ++digits;
    if (digits < value.size() && value[digits] == u':')
        return {};
    constexpr qint64 kSecondsPerDay = 86400;
    qint64 days = *seconds / kSecondsPerDay;
    if (*seconds % kSecondsPerDay < 0)
        --days;
    return QDate(1899, 12, 30).addDays(days);
}

double valeurNumerique(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?\\d*\\.?\\d+)"));
    const auto match = number.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}
