#pragma once

// The cursor's insides, shared by its two back ends: the SQLite file
// (cursor.cpp) and the PostgreSQL server (pgcurseur.cpp).

#include "data/cursor.h"
#include "data/jetsql.h"
#include "data/pgbase.h"

#include <QVariant>

#include <sqlite3.h>
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <vector>

struct Cursor::Impl
{
    std::shared_ptr<Database> db;
    // Set when the data folder's databases are on its server: the database
    // file names a schema there, and db stays empty.
    std::shared_ptr<BaseServeur> serveur;
    QString schemaServeur;
    SqlDialect dialect;
    LockWait lockWait;
    dev_t device = 0;
    ino_t inode = 0;

    bool open = false;
    bool byRowid = false; // rows identified by rowid and read on demand
    TranslatedSelect translated;
    QString rowidName;
    QStringList fieldNames;
    QStringList fieldColumns; // the base table's column behind each field, empty when computed

    std::vector<qint64> rowids;                // byRowid
    std::vector<std::vector<QVariant>> rows;   // otherwise: the whole (small) result
    qint64 position = -1;                      // -1 before the first, count() past the last
    std::optional<qint64> lastModified;
    qint64 lastModifiedPosition = -1; // where it was when written: no search for it
    qint64 rowReads = 0;

    // What the record set was loaded from: the same query on data that no
    // connection has changed since gives the same rows, and is not run again.
    QString loadedSource;
    qint64 loadedDataVersion = -1;
    qint64 loadedTotalChanges = -1;

    sqlite3_stmt *rowStatement = nullptr;      // reads one row by rowid; reset after each use
    qint64 cachedPosition = -1;
    QStringList cachedRow;

    ~Impl() { closeDatabase(); }

    qint64 count() const { return byRowid ? qint64(rowids.size()) : qint64(rows.size()); }
    bool hasCurrent() const { return open && position >= 0 && position < count(); }
    sqlite3 *handle() const { return db ? db->handle() : nullptr; }
    const Schema &schema() const { return serveur ? serveur->schema(schemaServeur) : db->schema(); }
    bool connected() const { return db || !schemaServeur.isEmpty(); }

    void clearRecordSet()
    {
        open = false;
        byRowid = false;
        translated = {};
        rowidName.clear();
        fieldNames.clear();
        fieldColumns.clear();
        // The identities' storage is kept for the next refresh of the same
        // catalogue: growing it again would copy and touch fresh memory.
        rowids.clear();
        std::vector<std::vector<QVariant>>().swap(rows);
        position = -1;
        lastModified.reset();
        lastModifiedPosition = -1;
        loadedSource.clear();
        loadedDataVersion = loadedTotalChanges = -1;
        partialKeys = false;
        sqlite3_finalize(rowStatement);
        rowStatement = nullptr;
        cachedPosition = -1;
        cachedRow.clear();
    }

    void closeDatabase()
    {
        clearRecordSet();
        std::vector<qint64>().swap(rowids);
        db.reset();
        schemaServeur.clear();
    }

    void ensureDatabase(const QString &path);
    // True when the file at the database's path is no longer the one open
    // here (a repair renamed a rebuilt file over it).
    bool fileReplaced() const;
    // Changes made to the file by other connections (PRAGMA data_version) and
    // by this one (total changes) since it was opened.
    qint64 dataVersion() const;
    qint64 ownChanges() const { return serveur ? 0 : sqlite3_total_changes64(handle()); }
    bool loadedFromUnchanged(const QString &source) const
    {
        return open && byRowid && loadedSource == source && loadedDataVersion == dataVersion()
            && loadedTotalChanges == ownChanges();
    }
    bool loadByRowid();
    bool editsKeepRows(const QHash<QString, QString> &edits) const;
    void materialise(QueryGuard &guard);
    int fieldIndex(const QString &name) const;
    int currentFieldIndex(const QString &name) const;
    const QStringList &currentRow();
    void findByRowid(const QString &jetCondition, bool &noMatch);
    void findInRows(const QString &jetCondition, bool &noMatch);

    // The same on the server (pgcurseur.cpp).
    void ensureSchema(const QString &path);
    void loadFromServer(const QString &recordSource, const QueryLimits &limits);
    QString serverRowSql; // reads one row by its key, $1
    // On the server a record set's first keys are read first, the rest
    // when the cursor goes past them: the first document of a search that
    // finds a hundred thousand is shown without waiting for them all.
    static constexpr int kFirstKeys = 50;
    QString serverKeysSql; // all the keys, in order
    bool partialKeys = false;
    void completeKeys();
    QStringList readServerRow(qint64 key);
    std::vector<qint64> serverMatches(const QString &condition);
    bool serverRowMatches(const QString &condition, const std::vector<QVariant> &row);
    // Writes the edits of the current row in one transaction, if it still
    // holds `shown` (all of it when empty), with `alsoInTransaction`;
    // returns whether it wrote.
    bool writeToServer(const QHash<QString, QString> &edits, const QHash<QString, QString> *shown,
                       const std::function<void()> &alsoInTransaction, const QString &recordSource);
};

