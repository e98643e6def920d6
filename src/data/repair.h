#pragma once

#include <QString>

// Repairs a damaged database file in place, given its native path:
//  - a copy of the damaged file is kept beside it (its name followed by
//    ".endommage-yyyymmdd-hhmmss");
//  - every row that can still be read is rebuilt into a fresh file with the
//    same tables and indexes;
//  - the original is replaced only once the new file is complete and passes
//    an integrity check.
// A missing file is left missing (AppError 3024); an Access file is never
// touched (AppError 3343). Returns the number of rows that were rebuilt.
long long RepairDatabase(const QString &nativePath);
