#pragma once

#include <QString>
#include <QStringList>

// What a repair did, for the report the user reads.
struct RepairReport
{
    long long kept = 0;     // rows rebuilt into their own table
    long long setAside = 0; // rows a constraint of their table refused, kept in side tables
    QStringList sideTables; // the tables holding the rows set aside
    QString backup;         // the copy of the damaged file, byte for byte
};

// Repairs a damaged database file in place, given its native path:
//  - the file is locked exclusively (SQLite's own lock, which every kiosk and
//    the management program honour) from the first byte copied to the moment
//    the rebuilt file replaces it: nobody writes in between;
//  - under that lock a byte-identical copy of the damaged file is kept beside
//    it (its name followed by ".endommage-yyyymmdd-hhmmss"), and its journals
//    go beside the copy under the same name;
//  - every row that can still be read is rebuilt into a fresh file with the
//    same tables, indexes, views and triggers, whose stored text is run only
//    when it is one CREATE of the object sqlite_master names;
//  - a row its table now refuses (a duplicate under a UNIQUE index, an empty
//    NOT NULL field...) goes to a side table "<table> réparation" with the
//    same columns and the reason, instead of being dropped;
//  - the original is replaced only once the new file is complete and passes
//    an integrity check. On any failure the original and its journals are
//    left as they were, and no copy is left behind.
// A missing file is left missing (AppError 3024); an Access file is never
// touched (AppError 3343); a file another program keeps busy is not repaired
// (AppError 3260).
RepairReport RepairDatabase(const QString &nativePath);
