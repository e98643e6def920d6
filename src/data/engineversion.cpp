#include "data/engineversion.h"

#include <sqlite3.h>

namespace {

QString dotted(int number)
{
    return QStringLiteral("%1.%2.%3").arg(number / 1000000).arg(number / 1000 % 1000).arg(number % 1000);
}

} // namespace

QString sqliteTooOld(int versionNumber)
{
    if (versionNumber >= kOldestSqlite)
        return {};
    return QStringLiteral("La bibliothèque SQLite de cet ordinateur (version %1) est trop ancienne pour «La LUMA», "
                          "qui demande la version %2 ou une plus récente.\n\nMettez le système à jour, puis "
                          "relancez le programme.")
        .arg(dotted(versionNumber), dotted(kOldestSqlite));
}

QString sqliteTooOld()
{
    return sqliteTooOld(sqlite3_libversion_number());
}
