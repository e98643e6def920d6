#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Tables and columns of one database file, as the file spells them. Names are
// looked up without regard to case over all of Unicode ("[ÉQUIPE]" finds
// "équipe"), as Jet did.
struct SchemaTable
{
    QString name;
    QStringList columns;

    // The column as the file spells it, or an empty string.
    QString findColumn(const QString &name) const;
};

struct Schema
{
    QList<SchemaTable> tables;

    const SchemaTable *findTable(const QString &name) const;
};

// Unicode case-insensitive name comparison used for tables, columns and fields.
bool sameName(const QString &a, const QString &b);
