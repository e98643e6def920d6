#include "data/schema.h"

bool sameName(const QString &a, const QString &b)
{
    if (a.size() != b.size()) {
        // Case folding may change the length (ß, ligatures): only then fold both.
        return a.toCaseFolded() == b.toCaseFolded();
    }
    return a.compare(b, Qt::CaseInsensitive) == 0 || a.toCaseFolded() == b.toCaseFolded();
}

QString SchemaTable::findColumn(const QString &wanted) const
{
    for (const QString &column : columns) {
        if (column == wanted)
            return column;
    }
    for (const QString &column : columns) {
        if (sameName(column, wanted))
            return column;
    }
    return {};
}

const SchemaTable *Schema::findTable(const QString &wanted) const
{
    for (const SchemaTable &table : tables) {
        if (table.name == wanted)
            return &table;
    }
    for (const SchemaTable &table : tables) {
        if (sameName(table.name, wanted))
            return &table;
    }
    return nullptr;
}
