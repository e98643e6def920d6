#include "folder/champs.h"

#include "data/jetdate.h"
#include "data/jetfunctions.h"

QDate parseLoanDate(const QString &text)
{
    // The database engine's own reading, so that the journal and a search
    // find the same day in a loan date. A time alone (which the engine puts
    // on its day zero) is no loan date.
    const std::optional<JetDate> date = JetDate::read(text, DateOrder::DayFirst);
    if (!date)
        return {};
    const QString value = text.trimmed();
    qsizetype digits = 0;
    while (digits < value.size() && value[digits].isDigit())
        ++digits;
    if (digits < value.size() && value[digits] == u':')
        return {};
    return date->day();
}

double valeurNumerique(const QString &text)
{
    return jetVal(text);
}
