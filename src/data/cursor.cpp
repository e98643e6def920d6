#include "data/cursor.h"
#include "data/cursorimpl.h"

#include "data/jetfunctions.h"
#include "data/jetsql.h"
#include "data/rowvalues.h"
#include "data/sqlitestatement.h"
#include "platform/apperror.h"

#include <QFile>
#include <QVariant>

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

namespace {

[[noreturn]] void throwNoCurrentRecord()
{
    throw AppError(ErrorNumber::NoCurrentRecord, QStringLiteral("Aucun enregistrement en cours."));
}

bool isDescending(const QString &term)
{
    return term.trimmed().endsWith(QLatin1String(" DESC"), Qt::CaseInsensitive);
}

bool isPositionalTerm(const QString &key)
{
    bool number = false;
    key.trimmed().toLongLong(&number);
    return number;
}

} // namespace

using namespace rowvalues;

void Cursor::Impl::ensureDatabase(const QString &path)
{
    if (path.isEmpty())
        throw AppError(ErrorNumber::DatabaseNotFound, QStringLiteral("Aucun fichier de base de données n'est indiqué."));
    if (serveur) {
        ensureSchema(path);
        return;
    }
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(path);
    // A file replaced since it was opened (a repair renames a rebuilt file
    // over the damaged one) is opened again.
    if (db && db->path() == path && ::stat(encoded.constData(), &info) == 0 && info.st_dev == device
        && info.st_ino == inode)
        return;
    closeDatabase();
    db = Database::open(path, Database::Mode::ReadWrite, lockWait);
    if (::stat(encoded.constData(), &info) == 0) {
        device = info.st_dev;
        inode = info.st_ino;
    }
}

bool Cursor::Impl::fileReplaced() const
{
    struct stat info {};
    return ::stat(QFile::encodeName(db->path()).constData(), &info) != 0 || info.st_dev != device
        || info.st_ino != inode;
}

// True when writing these fields can neither move a row nor take one in or
// out: no edited column is named in the sort keys or the condition. A name
// merely contained in them counts as named, which only costs a re-read.
bool Cursor::Impl::editsKeepRows(const QHash<QString, QString> &edits) const
{
    const QString keys = translated.orderByKeySql.join(QLatin1Char(' ')) + QLatin1Char(' ')
        + translated.orderBySql.join(QLatin1Char(' ')) + QLatin1Char(' ') + translated.whereSql;
    for (int i = 0; i < fieldNames.size(); ++i) {
        if (!edits.contains(fieldNames[i]))
            continue;
        if (fieldColumns[i].isEmpty() || keys.contains(fieldColumns[i], Qt::CaseInsensitive)
            || keys.contains(fieldNames[i], Qt::CaseInsensitive))
            return false;
    }
    return true;
}

// Keeps only the rows' identities in the query's order. The order is asked
// for without the collation first, so that an index (inventory numbers) can
// serve it, and taken when it also holds in the program's text order;
// otherwise the query runs again under the collation.
bool Cursor::Impl::loadByRowid()
{
    sqlite3 *h = handle();
    const TranslatedSelect &t = translated;
    const SchemaTable *table = db->schema().findTable(t.table);
    if (!table)
        return false;

    {
        SqliteStatement kind(h, QStringLiteral("SELECT type, wr FROM pragma_table_list WHERE schema = 'main' AND name = ?1"));
        if (!kind.prepared())
            return false;
        const QByteArray name = table->name.toUtf8();
        sqlite3_bind_text(kind.get(), 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        const int rc = kind.step();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throwSqliteError(h, rc);
        if (rc != SQLITE_ROW
            || QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(kind.get(), 0)))
                   != QLatin1String("table")
            || sqlite3_column_int(kind.get(), 1) != 0)
            return false;
    }

    rowidName.clear();
    for (const char *candidate : {"rowid", "_rowid_", "oid"}) {
        if (table->findColumn(QString::fromLatin1(candidate)).isEmpty()) {
            rowidName = QString::fromLatin1(candidate);
            break;
        }
    }
    if (rowidName.isEmpty())
        return false;
    for (const QString &key : t.orderByKeySql)
        if (isPositionalTerm(key))
            return false;

    const QString columns = t.columnsSql.isEmpty() ? QStringLiteral("*") : t.columnsSql;
    const QString where = t.whereSql.isEmpty() ? QString() : QStringLiteral(" WHERE (%1)").arg(t.whereSql);

    const QByteArray rowSql =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1").arg(columns, t.fromSql, rowidName).toUtf8();
    sqlite3_stmt *rowStmt = nullptr;
    if (prepareReadOnly(h, rowSql, SQLITE_PREPARE_PERSISTENT, &rowStmt) != SQLITE_OK) {
        sqlite3_finalize(rowStmt);
        return false;
    }

    const int keyCount = int(t.orderByKeySql.size());
    QString idSql = QStringLiteral("SELECT %1").arg(rowidName);
    for (const QString &key : t.orderByKeySql)
        idSql += QStringLiteral(", ") + key;
    idSql += QStringLiteral(" FROM %1%2").arg(t.fromSql, where);
    const QString tail = keyCount > 0 ? QString() : QStringLiteral(" ORDER BY %1").arg(rowidName);

    // With a condition, the rows found are few and sorting them is cheap,
    // while walking an index for the order would visit every row of the
    // table by its identity: the keys are then made expressions ("+key"),
    // which leaves the index to the condition alone.
    QStringList binaryTerms;
    for (int i = 0; i < keyCount; ++i) {
        const QString key = t.orderByKeySql[i];
        const bool down = i < t.orderByBinarySql.size() && isDescending(t.orderByBinarySql[i]);
        binaryTerms << (where.isEmpty() ? key : QStringLiteral("+(%1)").arg(key))
                           + (down ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    }
    SqliteStatement fast(h,
                         idSql + (keyCount > 0 ? QStringLiteral(" ORDER BY ") + binaryTerms.join(QStringLiteral(", "))
                                               : tail),
                         SqliteStatement::Access::ReadOnly);
    if (!fast.prepared()) {
        sqlite3_finalize(rowStmt);
        return false;
    }

    rowStatement = rowStmt;
    const int columnCount = sqlite3_column_count(rowStmt);
    for (int i = 0; i < columnCount; ++i) {
        fieldNames << QString::fromUtf8(sqlite3_column_name(rowStmt, i));
        const char *origin = sqlite3_column_origin_name(rowStmt, i);
        const char *originTable = sqlite3_column_table_name(rowStmt, i);
        if (origin && originTable && sameName(QString::fromUtf8(originTable), table->name))
            fieldColumns << QString::fromUtf8(origin);
        else
            fieldColumns << QString();
    }

    std::vector<bool> collated(size_t(keyCount), false);
    std::vector<bool> descending(size_t(keyCount), false);
    bool anyCollated = false;
    for (int i = 0; i < keyCount; ++i) {
        const QString term = i < t.orderBySql.size() ? t.orderBySql[i] : QString();
        collated[size_t(i)] = term.contains(QLatin1String(kJetCollation), Qt::CaseInsensitive);
        descending[size_t(i)] = isDescending(term);
        anyCollated = anyCollated || collated[size_t(i)];
    }

    std::vector<KeyValue> previous(static_cast<size_t>(keyCount)), current(static_cast<size_t>(keyCount));
    bool orderHolds = true;
    bool first = true;
    int rc;
    while ((rc = fast.step()) == SQLITE_ROW) {
        rowids.push_back(sqlite3_column_int64(fast.get(), 0));
        if (!anyCollated)
            continue;
        for (int i = 0; i < keyCount; ++i)
            current[size_t(i)].read(fast.get(), i + 1);
        if (!first) {
            for (int i = 0; i < keyCount; ++i) {
                const KeyValue &before = previous[size_t(i)], &after = current[size_t(i)];
                // Two different digit strings are already in the order of
                // both collations: only their equality matters here.
                if (before.digits && after.digits) {
                    if (before.bytes != after.bytes)
                        break;
                    continue;
                }
                int c = compareKeys(before, after, collated[size_t(i)]);
                if (descending[size_t(i)])
                    c = -c;
                if (c < 0)
                    break;
                if (c > 0) {
                    orderHolds = false;
                    break;
                }
            }
            if (!orderHolds)
                break;
        }
        first = false;
        std::swap(previous, current);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throwSqliteError(h, rc);

    if (!orderHolds) {
        rowids.clear();
        SqliteStatement exact(h,
                              QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
                                  .arg(rowidName, t.fromSql, where, t.orderBySql.join(QStringLiteral(", "))),
                              SqliteStatement::Access::ReadOnly);
        exact.throwIfNotPrepared();
        while ((rc = exact.step()) == SQLITE_ROW)
            rowids.push_back(sqlite3_column_int64(exact.get(), 0));
        if (rc != SQLITE_DONE)
            throwSqliteError(h, rc);
    }
    if (rowids.capacity() > 2 * rowids.size() + 65536)
        rowids.shrink_to_fit();
    byRowid = true;
    return true;
}

// Results that have no rows of their own (DISTINCT, GROUP BY, joins...) are
// small: they are read whole and cannot be changed.
void Cursor::Impl::materialise(QueryGuard &guard)
{
    sqlite3 *h = handle();
    SqliteStatement query(h, translated.sql, SqliteStatement::Access::ReadOnly);
    query.throwIfNotPrepared();
    const int columnCount = sqlite3_column_count(query.get());
    for (int i = 0; i < columnCount; ++i) {
        fieldNames << QString::fromUtf8(sqlite3_column_name(query.get(), i));
        fieldColumns << QString();
    }
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        std::vector<QVariant> row;
        row.reserve(size_t(columnCount));
        long long bytes = 0;
        for (int i = 0; i < columnCount; ++i) {
            row.push_back(columnValue(query.get(), i));
            // A value and its text, roughly, as Qt keeps them.
            bytes += 48 + 2LL * sqlite3_column_bytes(query.get(), i);
        }
        rows.push_back(std::move(row));
        guard.keep(1, bytes);
    }
    if (rc != SQLITE_DONE)
        throwSqliteError(h, rc);
    byRowid = false;
}

int Cursor::Impl::fieldIndex(const QString &name) const
{
    const int exact = int(fieldNames.indexOf(name));
    if (exact >= 0)
        return exact;
    for (int i = 0; i < fieldNames.size(); ++i)
        if (sameName(fieldNames[i], name))
            return i;
    return -1;
}

// The field of the current row that reading or assigning `name` refers to:
// 3021 without a current row, 3265 for a name the record source lacks.
int Cursor::Impl::currentFieldIndex(const QString &name) const
{
    if (!hasCurrent())
        throwNoCurrentRecord();
    const int index = fieldIndex(name);
    if (index < 0)
        throw AppError(ErrorNumber::FieldNotFound,
                       QStringLiteral("Élément « %1 » non trouvé dans cette collection.").arg(name));
    return index;
}

const QStringList &Cursor::Impl::currentRow()
{
    if (!hasCurrent())
        throwNoCurrentRecord();
    if (cachedPosition == position)
        return cachedRow;
    if (!byRowid) {
        cachedRow.clear();
        for (const QVariant &value : rows[size_t(position)])
            cachedRow << variantText(value);
        cachedPosition = position;
        return cachedRow;
    }
    if (serveur) {
        cachedRow = readServerRow(rowids[size_t(position)]);
        cachedPosition = position;
        return cachedRow;
    }
    sqlite3_stmt *stmt = rowStatement;
    sqlite3_bind_int64(stmt, 1, rowids[size_t(position)]);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        QStringList row;
        const int columnCount = sqlite3_column_count(stmt);
        row.reserve(columnCount);
        for (int i = 0; i < columnCount; ++i)
            row << columnText(stmt, i);
        sqlite3_reset(stmt);
        cachedRow = std::move(row);
        cachedPosition = position;
        return cachedRow;
    }
    sqlite3_reset(stmt);
    if (rc == SQLITE_DONE)
        throw AppError(ErrorNumber::RecordDeleted, QStringLiteral("L'enregistrement a été supprimé."));
    throwSqliteError(handle(), rc);
}

void Cursor::Impl::findByRowid(const QString &jetCondition, bool &noMatch)
{
    const QString condition = translateCondition(jetCondition, schema(), translated.table, dialect);
    std::vector<qint64> matches;
    if (serveur) {
        matches = serverMatches(condition);
    } else {
        sqlite3 *h = handle();
        QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3)").arg(rowidName, translated.fromSql, condition);
        if (!translated.whereSql.isEmpty())
            sql += QStringLiteral(" AND (%1)").arg(translated.whereSql);
        SqliteStatement query(h, sql, SqliteStatement::Access::ReadOnly);
        query.throwIfNotPrepared();
        int rc;
        while ((rc = query.step()) == SQLITE_ROW)
            matches.push_back(sqlite3_column_int64(query.get(), 0));
        if (rc != SQLITE_DONE)
            throwSqliteError(h, rc);
    }

    auto found = rowids.end();
    const auto search = [&] {
        if (matches.size() == 1) {
            found = std::find(rowids.begin(), rowids.end(), matches.front());
        } else if (!matches.empty()) {
            const std::unordered_set<qint64> wanted(matches.begin(), matches.end());
            found = std::find_if(rowids.begin(), rowids.end(), [&](qint64 id) { return wanted.count(id) != 0; });
        }
    };
    search();
    if (found == rowids.end() && partialKeys && !matches.empty()) {
        completeKeys();
        found = rowids.end();
        search();
    }
    if (found == rowids.end()) {
        noMatch = true;
        return;
    }
    noMatch = false;
    position = qint64(found - rowids.begin());
}

// The condition is evaluated on each kept row in turn, its fields standing
// for the columns of a one-row table.
void Cursor::Impl::findInRows(const QString &jetCondition, bool &noMatch)
{
    static const QString resultTable = QStringLiteral("résultat");
    Schema schema;
    SchemaTable table;
    table.name = resultTable;
    table.columns = fieldNames;
    schema.tables << table;
    const QString condition = translateCondition(jetCondition, schema, resultTable, serveur ? SqlDialect{SqlDialect::Engine::PostgreSQL, {}, {}} : SqlDialect{});
    if (serveur) {
        for (size_t r = 0; r < rows.size(); ++r) {
            if (serverRowMatches(condition, rows[r])) {
                noMatch = false;
                position = qint64(r);
                return;
            }
        }
        noMatch = true;
        return;
    }
    QStringList values;
    for (int i = 0; i < fieldNames.size(); ++i)
        values << QStringLiteral("?%1 AS %2").arg(i + 1).arg(quoteIdentifier(fieldNames[i]));
    sqlite3 *h = handle();
    SqliteStatement query(h,
                          QStringLiteral("SELECT 1 FROM (SELECT %1) AS %2 WHERE (%3)")
                              .arg(values.join(QStringLiteral(", ")), quoteIdentifier(resultTable), condition),
                          SqliteStatement::Access::ReadOnly);
    query.throwIfNotPrepared();
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t i = 0; i < rows[r].size(); ++i)
            bindVariant(query.get(), int(i) + 1, rows[r][i]);
        const int rc = query.step();
        sqlite3_reset(query.get());
        if (rc == SQLITE_ROW) {
            noMatch = false;
            position = qint64(r);
            return;
        }
        if (rc != SQLITE_DONE)
            throwSqliteError(h, rc);
    }
    noMatch = true;
}

Cursor::Cursor(QString designRecordSource) : d(std::make_unique<Impl>()), m_recordSource(std::move(designRecordSource))
{
}

Cursor::~Cursor() = default;

void Cursor::setDatabaseName(const QString &nativePath)
{
    m_databaseName = nativePath;
}

void Cursor::setRecordSource(const QString &jetSource)
{
    m_recordSource = jetSource;
}

qint64 Cursor::Impl::dataVersion() const
{
    if (serveur)
        return serveur->versionDonnees();
    SqliteStatement statement(handle(), QStringLiteral("PRAGMA data_version"));
    if (!statement.prepared() || sqlite3_step(statement.get()) != SQLITE_ROW)
        return -2; // never equal to a remembered version: the query runs again
    return sqlite3_column_int64(statement.get(), 0);
}

void Cursor::refresh()
{
    m_edits.clear();
    m_noMatch = false;
    try {
        d->ensureDatabase(m_databaseName);
        // The child choice screen refreshes the whole catalogue at every
        // touch of a photograph: unchanged data need not be sorted again.
        if (d->loadedFromUnchanged(m_recordSource)) {
            d->lastModified.reset();
            d->cachedPosition = -1;
            d->position = d->count() > 0 ? 0 : -1;
            return;
        }
        d->clearRecordSet();
        ++d->rowReads;
        // Taken before the query: a change made while it runs is seen next time.
        const qint64 versionBefore = d->dataVersion();
        const qint64 changesBefore = d->ownChanges();
        if (d->serveur) {
            d->loadFromServer(m_recordSource, m_limits);
        } else {
            QueryGuard guard(*d->db, m_limits);
            d->translated = translateRecordSource(m_recordSource, d->db->schema());
            if (!d->translated.singleTable || !d->loadByRowid()) {
                d->clearRecordSet();
                d->translated = translateRecordSource(m_recordSource, d->db->schema());
                d->materialise(guard);
            }
        }
        d->open = true;
        d->position = d->count() > 0 ? 0 : -1;
        // A query on the clock (the loans of the last days) runs afresh.
        if (d->byRowid && !d->translated.readsClock) {
            d->loadedSource = m_recordSource;
            d->loadedDataVersion = versionBefore;
            d->loadedTotalChanges = changesBefore;
        }
    } catch (...) {
        d->clearRecordSet();
        throw;
    }
}

bool Cursor::isOpen() const
{
    return d->open;
}

void Cursor::close()
{
    m_edits.clear();
    m_noMatch = false;
    d->closeDatabase();
}

void Cursor::moveFirst()
{
    m_edits.clear();
    d->cachedPosition = -1; // any move reads the row afresh
    if (!d->open || d->count() == 0)
        throwNoCurrentRecord();
    d->position = 0;
}

void Cursor::moveLast()
{
    m_edits.clear();
    d->completeKeys();
    d->cachedPosition = -1; // any move reads the row afresh
    if (!d->open || d->count() == 0)
        throwNoCurrentRecord();
    d->position = d->count() - 1;
}

void Cursor::moveNext()
{
    m_edits.clear();
    d->cachedPosition = -1; // any move reads the row afresh
    if (eof())
        throwNoCurrentRecord();
    if (d->position + 1 >= d->count())
        d->completeKeys();
    ++d->position;
}

void Cursor::movePrevious()
{
    m_edits.clear();
    d->cachedPosition = -1; // any move reads the row afresh
    if (bof())
        throwNoCurrentRecord();
    --d->position;
}

bool Cursor::bof() const
{
    return !d->open || d->count() == 0 || d->position < 0;
}

bool Cursor::eof() const
{
    return !d->open || d->count() == 0 || d->position >= d->count();
}

bool Cursor::hasCurrentRecord() const
{
    return d->hasCurrent();
}

long long Cursor::recordCount() const
{
    if (d->open)
        d->completeKeys();
    return d->open ? d->count() : 0;
}

void Cursor::findFirst(const QString &jetCondition)
{
    m_edits.clear();
    d->cachedPosition = -1; // any move reads the row afresh
    if (!d->open)
        throwNoCurrentRecord();
    if (d->count() == 0) {
        m_noMatch = true;
        return;
    }
    std::optional<QueryGuard> guard;
    if (d->db)
        guard.emplace(*d->db, m_limits);
    if (d->byRowid)
        d->findByRowid(jetCondition, m_noMatch);
    else
        d->findInRows(jetCondition, m_noMatch);
}

QString Cursor::field(const QString &name) const
{
    const int index = d->currentFieldIndex(name);
    return d->currentRow().value(index);
}

QStringList Cursor::fieldNames() const
{
    return d->fieldNames;
}

void Cursor::setField(const QString &name, const QString &value)
{
    m_edits.insert(d->fieldNames[d->currentFieldIndex(name)], value);
}

QString Cursor::pendingValue(const QString &name, bool *found) const
{
    const int index = d->fieldIndex(name);
    const auto it = index >= 0 ? m_edits.constFind(d->fieldNames[index]) : m_edits.constEnd();
    if (found)
        *found = it != m_edits.constEnd();
    return it != m_edits.constEnd() ? *it : QString();
}

void Cursor::update()
{
    const QHash<QString, QString> edits = std::exchange(m_edits, {});
    if (!d->hasCurrent())
        throwNoCurrentRecord();
    if (edits.isEmpty()) {
        if (d->byRowid) {
            d->lastModified = d->rowids[size_t(d->position)];
            d->lastModifiedPosition = d->position;
        }
        return;
    }
    if (d->serveur) {
        d->writeToServer(edits, nullptr, {}, m_recordSource);
        return;
    }
    // Under the write lock, as writeEdits needs.
    sqlite3 *h = d->handle();
    const int begun = sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (begun != SQLITE_OK)
        throwSqliteError(h, begun);
    try {
        writeEdits(edits);
        const int committed = sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
        if (committed != SQLITE_OK)
            throwSqliteError(h, committed);
    } catch (...) {
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

bool Cursor::updateIfUnchanged(const QHash<QString, QString> &shown, const std::function<void()> &alsoInTransaction)
{
    const QHash<QString, QString> edits = std::exchange(m_edits, {});
    if (!d->hasCurrent())
        throwNoCurrentRecord();
    if (!d->byRowid)
        throw AppError(ErrorNumber::ReadOnlyDatabase,
                       QStringLiteral("Mise à jour impossible : le résultat de cette requête ne peut pas être "
                                      "modifié."));
    if (d->serveur)
        return d->writeToServer(edits, &shown, alsoInTransaction, m_recordSource);
    sqlite3 *h = d->handle();
    // The write lock is taken before the row is read again: no other program
    // can change it between the comparison and the write.
    const auto run = [h](const char *sql) {
        const int rc = sqlite3_exec(h, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throwSqliteError(h, rc);
    };
    run("BEGIN IMMEDIATE");
    try {
        d->cachedPosition = -1;
        bool same = true;
        try {
            const QStringList &row = d->currentRow();
            for (auto it = shown.constBegin(); it != shown.constEnd() && same; ++it)
                same = row.value(d->currentFieldIndex(it.key())) == it.value();
        } catch (const AppError &error) {
            if (error.number() != ErrorNumber::RecordDeleted)
                throw;
            same = false; // the row is gone: it no longer holds what was shown
        }
        if (same && !edits.isEmpty())
            writeEdits(edits);
        if (same && alsoInTransaction)
            alsoInTransaction();
        run(same ? "COMMIT" : "ROLLBACK");
        d->cachedPosition = -1; // the next read shows the row as it now is
        return same;
    } catch (...) {
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
        d->cachedPosition = -1;
        throw;
    }
}

// Called under the write lock (BEGIN IMMEDIATE).
void Cursor::writeEdits(const QHash<QString, QString> &edits)
{
    if (!d->byRowid)
        throw AppError(ErrorNumber::ReadOnlyDatabase,
                       QStringLiteral("Mise à jour impossible : le résultat de cette requête ne peut pas être "
                                      "modifié."));
    // A repair replaces the file only while it holds the file's exclusive
    // lock: under the write lock, the name still leads to the file open here
    // or it never will again. Written into a file replaced, the change would
    // be lost with it; the next refresh opens the file now under the name.
    if (d->fileReplaced())
        throw AppError(ErrorNumber::ChangedByAnother, QStringLiteral("Les données ont été modifiées par un autre poste depuis leur lecture "
                                            "(le fichier « %1 » a été remplacé, par exemple par une réparation) : "
                                            "rien n'a été enregistré ; réessayez.")
                                 .arg(d->db->path()));

    // Every edited field in one statement: the row is written whole or not at all.
    QStringList assignments;
    QList<QString> values;
    for (int i = 0; i < d->fieldNames.size(); ++i) {
        const auto it = edits.constFind(d->fieldNames[i]);
        if (it == edits.constEnd())
            continue;
        if (d->fieldColumns[i].isEmpty())
            throw AppError(ErrorNumber::FieldNotUpdatable, QStringLiteral("Le champ « %1 » ne peut pas être mis à jour.").arg(d->fieldNames[i]));
        values << *it;
        // Names from the file are joined, never used as a format.
        assignments << quoteIdentifier(d->fieldColumns[i]) + QStringLiteral(" = ?") + QString::number(values.size());
    }
    const qint64 rowid = d->rowids[size_t(d->position)];
    sqlite3 *h = d->handle();
    // Rows loaded from data nobody else changed, and an edit that cannot
    // reorder them: after this one row's write they still hold, and the next
    // refresh keeps them (the row itself is read again when shown).
    const bool keepRows = d->loadedFromUnchanged(m_recordSource) && d->editsKeepRows(edits);
    const qint64 changesBefore = d->ownChanges();
    SqliteStatement statement(h, QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?%4")
                                     .arg(quoteIdentifier(d->translated.table), assignments.join(QStringLiteral(", ")),
                                          d->rowidName, QString::number(values.size() + 1)));
    statement.throwIfNotPrepared();
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray utf8 = values[i].toUtf8();
        sqlite3_bind_text(statement.get(), i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    sqlite3_bind_int64(statement.get(), int(values.size()) + 1, rowid);
    d->cachedPosition = -1;
    const int rc = statement.step();
    if (rc != SQLITE_DONE)
        throwSqliteError(h, rc);
    if (sqlite3_changes(h) == 0)
        throw AppError(ErrorNumber::RecordDeleted, QStringLiteral("L'enregistrement a été supprimé."));
    // Exactly this row: a trigger writing elsewhere leaves the rows to re-read.
    if (keepRows && d->ownChanges() == changesBefore + 1)
        d->loadedTotalChanges = d->ownChanges();
    d->lastModified = rowid;
    d->lastModifiedPosition = d->position;
}

void Cursor::setServeur(std::shared_ptr<BaseServeur> serveur)
{
    if (serveur == d->serveur)
        return;
    d->closeDatabase();
    d->serveur = std::move(serveur);
}

const std::shared_ptr<BaseServeur> &Cursor::serveur() const
{
    return d->serveur;
}

void Cursor::setLockWait(const LockWait &wait)
{
    d->lockWait = wait;
    if (d->db)
        d->db->setLockWait(wait);
}

qint64 Cursor::currentRowId() const
{
    if (!d->hasCurrent())
        throwNoCurrentRecord();
    if (!d->byRowid)
        throw AppError(ErrorNumber::FieldNotUpdatable, QStringLiteral("Les fiches de cette source n'ont pas d'identité dans une table."));
    return d->rowids[size_t(d->position)];
}

qint64 Cursor::readsOfTheRows() const
{
    return d->rowReads;
}

void Cursor::forgetReadRow()
{
    d->cachedPosition = -1;
}

void Cursor::cancelUpdate()
{
    m_edits.clear();
}

void Cursor::moveToLastModified()
{
    m_edits.clear();
    d->cachedPosition = -1; // any move reads the row afresh
    if (!d->open || !d->lastModified)
        throwNoCurrentRecord();
    if (d->lastModifiedPosition >= 0 && d->lastModifiedPosition < d->count()
        && d->rowids[size_t(d->lastModifiedPosition)] == *d->lastModified) {
        d->position = d->lastModifiedPosition;
        return;
    }
    auto found = std::find(d->rowids.begin(), d->rowids.end(), *d->lastModified);
    if (found == d->rowids.end() && d->partialKeys) {
        d->completeKeys();
        found = std::find(d->rowids.begin(), d->rowids.end(), *d->lastModified);
    }
    if (found == d->rowids.end())
        throwNoCurrentRecord();
    d->position = qint64(found - d->rowids.begin());
}

void forEachRow(Database &db, const QString &jetSource, const std::function<void(const QStringList &row)> &visit,
                const QueryLimits &limits)
{
    QueryGuard guard(db, limits);
    const TranslatedSelect translated = translateRecordSource(jetSource, db.schema());
    SqliteStatement query(db.handle(), translated.sql, SqliteStatement::Access::ReadOnly);
    query.throwIfNotPrepared();
    const int columnCount = sqlite3_column_count(query.get());
    QStringList row;
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        row.clear();
        for (int i = 0; i < columnCount; ++i)
            row << columnText(query.get(), i);
        visit(row);
    }
    if (rc != SQLITE_DONE)
        throwSqliteError(db.handle(), rc);
}
