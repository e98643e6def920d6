#pragma once

#include "data/database.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class BaseServeur;

// A data cursor, with what the screens use of the original data control: a
// database file, a record source (a table name or a Jet SQL query), refresh,
// moves, beginning and end tests, find first, the current record's fields,
// edits saved by update, and the last-modified position.
//
// It scales to a large catalogue: a refresh keeps only the rows' identities
// (rowids) in the query's order and the current row is read when needed.
//
// Positions: a record set of n rows has positions 0..n-1, plus "before the
// first" (bof) and "past the last" (eof). After a refresh the cursor stands on
// the first row, or at bof and eof together when there is none. moveNext from
// the last row goes past the end once (eof, no current record); moveNext at
// eof and movePrevious at bof raise 3021 (no current record), as does
// moveFirst or moveLast on an empty set and reading a field with no current
// record. Edits not saved are dropped by any move or refresh.
class Cursor
{
public:
    explicit Cursor(QString designRecordSource);
    ~Cursor();

    void setDatabaseName(const QString &nativePath);
    const QString &databaseName() const { return m_databaseName; }
    void setRecordSource(const QString &jetSource);
    const QString &recordSource() const { return m_recordSource; }

    // The data folder's server, when its databases are there (BASE.INI):
    // the database file then names a schema of the server. Null: the file.
    void setServeur(std::shared_ptr<BaseServeur> serveur);
    const std::shared_ptr<BaseServeur> &serveur() const;

    // How the database is waited for while another program writes it.
    void setLockWait(const LockWait &wait);

    // Opens (or re-opens) the database when needed and runs the record source.
    // A record source or a find that goes beyond the limits is stopped (3035)
    // and leaves the cursor closed (refresh) or where it stood (find).
    void refresh();
    void setQueryLimits(const QueryLimits &limits) { m_limits = limits; }
    bool isOpen() const;
    void close();

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    bool bof() const;
    bool eof() const;
    bool hasCurrentRecord() const;
    long long recordCount() const;
    // The current row's identity in its table (SQLite's rowid), which stays
    // the same until the row is deleted; 3021 with no current record, 3164
    // when the record source's rows have none (a join, a computed set).
    qint64 currentRowId() const;
    // How many times the rows and their order were read from the file (the
    // whole query run); a save that keeps them does not add one.
    qint64 readsOfTheRows() const;

    // From the first row, the first row satisfying the Jet condition becomes
    // current; when none does, noMatch() is true and the position is kept.
    void findFirst(const QString &jetCondition);
    bool noMatch() const { return m_noMatch; }

    // Field of the current record as text (NULL reads as ""; a whole number
    // stored as a real reads without decimals). 3021 with no current record,
    // 3265 for a field the record source does not have.
    QString field(const QString &name) const;
    // Field names of the record source, as the file spells them.
    QStringList fieldNames() const;

    // Edits of the current record, saved together by update().
    void setField(const QString &name, const QString &value);
    QString pendingValue(const QString &name, bool *found = nullptr) const;
    // Writes every edited field of the current record in one statement. On
    // failure (AppError, e.g. 3022) nothing is written and the edits are dropped.
    void update();
    // The same, only if the current record still holds, field by field, the
    // texts given (what a child was shown), read again under the write lock:
    // another program may have changed the row since. Returns false, writing
    // nothing, when it no longer does or is gone; the edits are dropped either
    // way.
    // alsoInTransaction, when given, runs after the write, before the commit,
    // in the same transaction (the server's loans record their journal entry
    // so).
    bool updateIfUnchanged(const QHash<QString, QString> &shown,
                           const std::function<void()> &alsoInTransaction = {});
    void cancelUpdate();
    // The next read of a field reads the current row again from the file,
    // as another program may have changed it since.
    void forgetReadRow();
    // Makes the row saved last the current record again.
    void moveToLastModified();

private:
    void writeEdits(const QHash<QString, QString> &edits);

    struct Impl;
    std::unique_ptr<Impl> d;
    QString m_databaseName;
    QString m_recordSource;
    bool m_noMatch = false;
    QueryLimits m_limits;
    QHash<QString, QString> m_edits; // key: field name as the file spells it
};

// Runs a Jet record source once and hands each row to visit, its fields read
// as text as the screens read them, in the order of the select list. One
// statement from the first row to the last: the rows are one consistent view
// of the file, and the file is held only while they are read, so visit must be
// quick. Errors as for a refresh (AppError).
void forEachRow(Database &db, const QString &jetSource, const std::function<void(const QStringList &row)> &visit,
                const QueryLimits &limits = {});

// The same on the data folder's server, for the database file named by
// `databaseFile` (LUMA.MDB...).
void forEachRow(BaseServeur &serveur, const QString &databaseFile, const QString &jetSource,
                const std::function<void(const QStringList &row)> &visit);
