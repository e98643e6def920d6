#pragma once

// Header only: the program's cursor on a test file, for the tests that link
// the data layer.

#include "data/cursor.h"

#include <memory>

// A cursor on a file, on its record source (the table itself when none is
// given); refreshed unless `refresh` is false.
inline std::unique_ptr<Cursor> opened(const QString &table, const QString &path, const QString &source = {},
                                      bool refresh = true)
{
    auto cursor = std::make_unique<Cursor>(table);
    cursor->setDatabaseName(path);
    if (!source.isEmpty())
        cursor->setRecordSource(source);
    if (refresh)
        cursor->refresh();
    return cursor;
}
