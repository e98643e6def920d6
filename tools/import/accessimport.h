#pragma once

#include <QString>
#include <QStringList>

#include <functional>

struct sqlite3;

// Conversion of a real Access file (Jet 3, Jet 4 or ACE) into the program's
// database format: an SQLite file with the same tables and columns, every
// value as text.

// Where the copy of one table stands.
struct TableProgress
{
    QString table;
    qint64 rows = 0;  // copied so far
    qint64 total = 0; // as the table announces
    bool finished = false;
    int tableNumber = 0; // among the file's tables, from 0
    int tableCount = 0;
};

struct ImportOptions
{
    // Code page of the text of a Jet 3 file ("CP1252", "GBK"...), when its
    // header does not say the truth. Empty: the header's code page.
    QString charset;
    // A table that gives fewer rows than it announces stops the conversion
    // (the file is damaged); otherwise the rows that could be read are kept
    // and a warning says so.
    bool refuseMissingRows = false;
    // Told when a table starts, every few hundred rows, and when it ends.
    std::function<void(const TableProgress &)> progress = {};
};

struct ImportResult
{
    int tables = 0;
    qint64 rows = 0;
    // Things the user should know about the converted file, in French.
    QStringList warnings;
};

// Reads every user table of `source` and writes `destination`, which must not
// exist yet. The destination appears only once complete: the rows are written
// into a temporary file beside it, renamed into place at the end. The source
// is only read. Throws AppError with a French description on failure.
ImportResult importAccessFile(const QString &source, const QString &destination,
                              const ImportOptions &options = {});

// The conversion itself: writes every user table of `source` into `output`,
// an empty file the caller made, without journal and without syncing; on
// failure the caller removes it. Throws AppError with a French description.
ImportResult convertAccessFile(const QString &source, const QString &output, const ImportOptions &options);

// A Jet date (days since 30/12/1899; the fraction, always counted forward, is
// the time of day) as the program writes dates: "dd/mm/yyyy", followed by
// " hh:mm:ss" only when there is a time. Outside Jet's range (years 100 to
// 9999) the plain number.
QString dateFieldText(double value);

// A number in plain decimal notation, no exponent, as few digits as give the
// same number back.
QString decimalText(double value);
QString decimalText(float value);

// An Access currency value: a count of ten-thousandths.
QString currencyText(qint64 tenThousandths);

// Indexes the inventory numbers of a catalogue table: a unique index as Access
// had, or, when the data holds duplicates, an ordinary one and a warning that
// names each duplicated number with its rows (row number and title), so
// that they can be corrected (the first hundred numbers, ten rows each, then
// how many more); every row is kept.
void indexInventory(sqlite3 *db, const QString &table, const QString &column, QStringList &warnings);
