#pragma once

// The values of a row as the cursor reads them: a column as the screens read
// it (as text, or as the value itself to give back later), and the values of
// the sort keys, compared to check two rows' order.

#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <string>

namespace rowvalues {

// A column of the current row as the screens read it: NULL as "", a whole
// number stored as a real without decimals.
QString columnText(sqlite3_stmt *stmt, int column);
// The column's value, and the same read as text, or bound to a statement.
QVariant columnValue(sqlite3_stmt *stmt, int column);
QString variantText(const QVariant &value);
void bindVariant(sqlite3_stmt *stmt, int index, const QVariant &value);

// One sort key value, kept between two rows to check their order. Whether a
// text is all digits is worked out once, when it is read.
struct KeyValue
{
    int type = SQLITE_NULL;
    qint64 integer = 0;
    double real = 0;
    std::string bytes;
    bool digits = false;

    void read(sqlite3_stmt *stmt, int column);
};

// Compares two key values the way SQLite sorts them (NULL, numbers, text,
// blobs), text under the program's collation when `collated`.
int compareKeys(const KeyValue &a, const KeyValue &b, bool collated);

} // namespace rowvalues
