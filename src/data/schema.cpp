#include "data/schema.h"

bool sameName(const QString &a, const QString &b)
{
    if (a.size() == b.size() && (a.compare(b, Qt::CaseInsensitive) == 0 || a.toCaseFolded() == b.toCaseFolded()))
        return true;
    // Case folding may change the length (ß, ligatures), and so may the form
    // of an accent: "é" written as one character or as e and a combining
    // accent (as some tools and file systems write it) is one letter, as in
    // paths.
    return a.normalized(QString::NormalizationForm_C).toCaseFolded() ==
           b.normalized(QString::NormalizationForm_C).toCaseFolded();
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
