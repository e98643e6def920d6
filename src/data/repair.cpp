#include "data/repair.h"

#include "data/database.h"
#include "data/sqlitestatement.h"
#include "platform/apperror.h"
#include "platform/durablefile.h"
#include "platform/ownership.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr int kBusyTimeoutMs = 5000;

QString text(sqlite3_stmt *stmt, int column)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(stmt, column)) : QString();
}

[[noreturn]] void throwTooDamaged(const QString &shown)
{
    throw AppError(ErrorNumber::DatabaseDamaged,
                   QStringLiteral("La base de données « %1 » est trop endommagée pour être réparée : sa structure "
                                  "est illisible.")
                       .arg(shown));
}

// A connection of the repair. Neither the damaged file nor the rebuilt one
// gets to reach another file (no ATTACH) or to run functions its schema
// names with side effects, and the schema cannot be written as a table.
class Connection
{
public:
    Connection(const QString &path, int flags)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (m_db) {
            sqlite3_extended_result_codes(m_db, 1);
            sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
            sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 0);
            sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
            sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        }
        if (rc != SQLITE_OK) {
            try {
                throwSqliteError(m_db, m_db ? sqlite3_extended_errcode(m_db) : rc, QDir::toNativeSeparators(path));
            } catch (...) {
                sqlite3_close_v2(m_db);
                throw;
            }
        }
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *get() const { return m_db; }
    void exec(const QString &sql)
    {
        const int rc = tryExec(sql);
        if (rc != SQLITE_OK)
            throwSqliteError(m_db, rc);
    }
    int tryExec(const QString &sql)
    {
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
        return rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(m_db);
    }

private:
    sqlite3 *m_db = nullptr;
};

struct SchemaEntry
{
    QString type;
    QString name;
    QString table; // tbl_name: the table an index or trigger belongs to
    QString sql;
};

bool isBusy(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool isInternal(const QString &name)
{
    return name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive);
}

// One single-valued query, or nothing when it cannot be read.
std::optional<qint64> scalarInteger(sqlite3 *db, const QString &sql)
{
    SqliteStatement query(db, sql);
    if (query.prepareResult() != SQLITE_OK)
        return std::nullopt;
    if (sqlite3_step(query.get()) != SQLITE_ROW || sqlite3_column_type(query.get(), 0) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(query.get(), 0);
}

// The schema as far as it can be read.
std::vector<SchemaEntry> readSchemaEntries(sqlite3 *db)
{
    std::vector<SchemaEntry> entries;
    SqliteStatement query(db, QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY rowid"));
    if (query.prepareResult() != SQLITE_OK) {
        if (isBusy(query.prepareResult()))
            query.throwIfNotPrepared();
        return entries;
    }
    int rc;
    while ((rc = sqlite3_step(query.get())) == SQLITE_ROW)
        entries.push_back({text(query.get(), 0), text(query.get(), 1), text(query.get(), 2), text(query.get(), 3)});
    if (isBusy(rc))
        throwSqliteError(db, rc);
    return entries;
}

// What a stored CREATE may do while it is prepared: create the one object
// sqlite_master names, of the kind it names, and what that takes (its entry
// in sqlite_master, the indexes of its own UNIQUE and PRIMARY KEY
// constraints, reading the columns of its own table, the functions of its
// expressions). Anything else is denied and the denial noted.
struct StoredCreate
{
    int expected = 0; // the authorizer's code for the CREATE sqlite_master announces
    QByteArray name;
    QByteArray table;
    int created = 0;
    bool refused = false;
};

int authorizeStoredCreate(void *data, int action, const char *first, const char *second, const char *database,
                          const char *)
{
    auto *create = static_cast<StoredCreate *>(data);
    const auto named = [](const char *a, const QByteArray &b) { return a && b == a; };
    // Table names are found without regard to (ASCII) case, as SQLite finds them.
    const auto sameTable = [](const char *a, const QByteArray &b) {
        return a && sqlite3_stricmp(a, b.constData()) == 0;
    };
    const bool inMain = database && std::strcmp(database, "main") == 0;
    const bool onSchema = inMain && first && sqlite3_stricmp(first, "sqlite_master") == 0;

    if (action == create->expected && inMain && named(first, create->name)
        && (action == SQLITE_CREATE_TABLE || action == SQLITE_CREATE_VIEW || sameTable(second, create->table))) {
        ++create->created;
        return SQLITE_OK;
    }
    switch (action) {
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
        if (onSchema)
            return SQLITE_OK;
        break;
    case SQLITE_READ:
        if (onSchema || (inMain && sameTable(first, create->table)))
            return SQLITE_OK;
        break;
    case SQLITE_FUNCTION:
        return SQLITE_OK;
    case SQLITE_REINDEX:
        if (create->expected == SQLITE_CREATE_INDEX && inMain && named(first, create->name))
            return SQLITE_OK;
        break;
    case SQLITE_CREATE_INDEX:
        if (create->expected == SQLITE_CREATE_TABLE && inMain && first
            && QByteArray(first).startsWith("sqlite_autoindex_" + create->name + '_') && named(second, create->name))
            return SQLITE_OK;
        break;
    default:
        break;
    }
    create->refused = true;
    return SQLITE_DENY;
}

// Runs the CREATE statement stored for one object of the damaged file. The
// text is data read from a damaged file that another program may have
// written: it runs only when it is one CREATE of the kind and name that
// sqlite_master gives, with nothing after it.
void runStoredCreate(sqlite3 *target, const SchemaEntry &entry, const QString &shown)
{
    StoredCreate create;
    if (entry.type == QLatin1String("table"))
        create.expected = SQLITE_CREATE_TABLE;
    else if (entry.type == QLatin1String("index"))
        create.expected = SQLITE_CREATE_INDEX;
    else if (entry.type == QLatin1String("view"))
        create.expected = SQLITE_CREATE_VIEW;
    else if (entry.type == QLatin1String("trigger"))
        create.expected = SQLITE_CREATE_TRIGGER;
    create.name = entry.name.toUtf8();
    create.table = entry.table.toUtf8();

    const QByteArray sql = entry.sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    sqlite3_set_authorizer(target, authorizeStoredCreate, &create);
    const int rc = sqlite3_prepare_v2(target, sql.constData(), int(sql.size()), &stmt, &tail);
    sqlite3_set_authorizer(target, nullptr, nullptr);
    const bool alone = tail && QByteArray(tail).trimmed().isEmpty();
    if (create.expected == 0 || rc != SQLITE_OK || !stmt || create.refused || create.created != 1 || !alone) {
        const QString engine = rc != SQLITE_OK && !create.refused ? QString::fromUtf8(sqlite3_errmsg(target)) : QString();
        sqlite3_finalize(stmt);
        throw AppError(ErrorNumber::DatabaseDamaged,
                       QStringLiteral("La définition enregistrée de « %1 » (%2) dans « %3 » n'est pas la seule "
                                      "création de cet objet%4 : elle n'a pas été exécutée, et la réparation n'a "
                                      "pas été faite.")
                           .arg(entry.name, entry.type, shown,
                                engine.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(engine)));
    }
    const int stepped = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (stepped != SQLITE_DONE)
        throwSqliteError(target, sqlite3_extended_errcode(target));
}

// Why the rebuilt table refuses a row, in a few French words, then SQLite's own.
QString refusalReason(sqlite3 *db, int rc)
{
    QString why;
    switch (rc) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_ROWID:
        why = QStringLiteral("doublon");
        break;
    case SQLITE_CONSTRAINT_NOTNULL:
        why = QStringLiteral("champ obligatoire vide");
        break;
    case SQLITE_CONSTRAINT_CHECK:
        why = QStringLiteral("règle de validité non respectée");
        break;
    case SQLITE_CONSTRAINT_DATATYPE:
    case SQLITE_MISMATCH:
        why = QStringLiteral("type de donnée refusé");
        break;
    default:
        why = QStringLiteral("contrainte non respectée");
        break;
    }
    return why + QStringLiteral(" (%1)").arg(QString::fromUtf8(sqlite3_errmsg(db)));
}

bool isRefusal(int rc)
{
    return (rc & 0xff) == SQLITE_CONSTRAINT || rc == SQLITE_MISMATCH;
}

// The rows of one table that its definition refuses in the rebuilt file (a
// second row under a UNIQUE index, one of the two perhaps garbled by the
// damage; an empty NOT NULL field): they are kept as read, with the reason,
// in a table of their own beside it, for a person to sort out. The table has
// the same columns without type or constraint, so that nothing converts or
// refuses a value, and keeps each row's rowid; it is made with the first row.
class SideTable
{
public:
    SideTable(sqlite3 *target, const QString &table, const QStringList &columns, const QString &rowid,
              QSet<QString> &takenNames)
        : m_target(target), m_table(table), m_columns(columns), m_rowid(rowid), m_takenNames(takenNames)
    {
    }

    // `row`: the rowid when the table has one, then the columns.
    void add(sqlite3_stmt *row, const QString &reason)
    {
        if (!m_insert)
            make();
        const int values = sqlite3_column_count(row);
        for (int i = 0; i < values; ++i)
            sqlite3_bind_value(m_insert->get(), i + 1, sqlite3_column_value(row, i));
        const QByteArray why = reason.toUtf8();
        sqlite3_bind_text(m_insert->get(), values + 1, why.constData(), int(why.size()), SQLITE_TRANSIENT);
        const int rc = m_insert->step();
        sqlite3_reset(m_insert->get());
        if (rc != SQLITE_DONE)
            throwSqliteError(m_target, rc);
        ++m_count;
    }

    long long count() const { return m_count; }
    const QString &name() const { return m_name; }

private:
    static QString freeName(const QString &wanted, const QSet<QString> &taken)
    {
        QString name = wanted;
        for (int n = 2; taken.contains(name.toLower()); ++n)
            name = wanted + QStringLiteral(" %1").arg(n);
        return name;
    }

    void make()
    {
        m_name = freeName(m_table + QStringLiteral(" réparation"), m_takenNames);
        m_takenNames.insert(m_name.toLower());
        QSet<QString> columnNames;
        for (const QString &column : std::as_const(m_columns))
            columnNames.insert(column.toLower());
        const QString reasonColumn = freeName(QStringLiteral("motif"), columnNames);

        QStringList quoted, marks;
        if (!m_rowid.isEmpty())
            marks << QStringLiteral("?1");
        for (const QString &column : std::as_const(m_columns)) {
            quoted << quoteIdentifier(column);
            marks << QStringLiteral("?%1").arg(marks.size() + 1);
        }
        quoted << quoteIdentifier(reasonColumn);
        marks << QStringLiteral("?%1").arg(marks.size() + 1);
        const QString list = quoted.join(QStringLiteral(", "));
        SqliteStatement create(m_target, QStringLiteral("CREATE TABLE %1(%2)").arg(quoteIdentifier(m_name), list));
        create.throwIfNotPrepared();
        if (create.step() != SQLITE_DONE)
            throwSqliteError(m_target, sqlite3_extended_errcode(m_target));
        m_insert.emplace(m_target, QStringLiteral("INSERT INTO %1(%2%3) VALUES(%4)")
                                       .arg(quoteIdentifier(m_name),
                                            m_rowid.isEmpty() ? QString() : m_rowid + QStringLiteral(", "), list,
                                            marks.join(QStringLiteral(", "))));
        m_insert->throwIfNotPrepared();
    }

    sqlite3 *m_target;
    QString m_table;
    QStringList m_columns;
    QString m_rowid;
    QSet<QString> &m_takenNames;
    QString m_name;
    std::optional<SqliteStatement> m_insert;
    long long m_count = 0;
};

// Copies the rows of one table that can still be read. Rows are read in
// rowid order; when a page cannot be read the scan starts again further on,
// stepping by 1, 2, 4... past the damage and then back to the first rowid
// that reads, so that only the rows of the damaged pages are lost.
class TableCopier
{
public:
    TableCopier(sqlite3 *source, sqlite3 *target, const QString &table, QSet<QString> &takenNames)
        : m_source(source), m_target(target), m_takenNames(takenNames)
    {
        SqliteStatement info(target, QStringLiteral("PRAGMA table_xinfo(%1)").arg(quoteIdentifier(table)));
        info.throwIfNotPrepared();
        while (sqlite3_step(info.get()) == SQLITE_ROW) {
            const int hidden = sqlite3_column_int(info.get(), 6);
            if (hidden == 0)
                m_columns << text(info.get(), 1);
        }
        SqliteStatement kind(target, QStringLiteral("SELECT wr FROM pragma_table_list WHERE schema = 'main' AND name = ?1"));
        kind.throwIfNotPrepared();
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(kind.get(), 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        const bool withoutRowid = sqlite3_step(kind.get()) == SQLITE_ROW && sqlite3_column_int(kind.get(), 0) != 0;
        if (!withoutRowid) {
            for (const char *candidate : {"rowid", "_rowid_", "oid"}) {
                bool taken = false;
                for (const QString &column : std::as_const(m_columns))
                    taken = taken || column.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0;
                if (!taken) {
                    m_rowid = QString::fromLatin1(candidate);
                    break;
                }
            }
        }
        QStringList quoted, marks;
        for (const QString &column : std::as_const(m_columns))
            quoted << quoteIdentifier(column);
        const QString list = quoted.join(QStringLiteral(", "));
        if (!m_rowid.isEmpty()) {
            m_select = QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 >= ?1 ORDER BY %1")
                           .arg(m_rowid, list, quoteIdentifier(table));
            for (int i = 0; i <= m_columns.size(); ++i)
                marks << QStringLiteral("?%1").arg(i + 1);
            m_insert = QStringLiteral("INSERT INTO %1(%2, %3) VALUES(%4)")
                           .arg(quoteIdentifier(table), m_rowid, list, marks.join(QStringLiteral(", ")));
        } else {
            m_select = QStringLiteral("SELECT %1 FROM %2").arg(list, quoteIdentifier(table));
            for (int i = 0; i < m_columns.size(); ++i)
                marks << QStringLiteral("?%1").arg(i + 1);
            m_insert = QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                           .arg(quoteIdentifier(table), list, marks.join(QStringLiteral(", ")));
        }
        m_table = table;
        m_aside.emplace(m_target, m_table, m_columns, m_rowid, m_takenNames);
    }

    long long setAside() const { return m_aside->count(); }
    const QString &sideTable() const { return m_aside->name(); }

    long long copy()
    {
        if (m_columns.isEmpty())
            return 0;
        SqliteStatement insert(m_target, m_insert);
        insert.throwIfNotPrepared();
        SqliteStatement select(m_source, m_select);
        if (select.prepareResult() != SQLITE_OK) {
            if (isBusy(select.prepareResult()))
                select.throwIfNotPrepared();
            return 0; // the table cannot be read at all
        }
        if (m_rowid.isEmpty()) {
            scan(select.get(), insert.get(), nullptr);
            return m_copied;
        }

        const auto minimum = scalarInteger(m_source, QStringLiteral("SELECT min(%1) FROM %2").arg(m_rowid, quoteIdentifier(m_table)));
        const auto maximum = scalarInteger(m_source, QStringLiteral("SELECT max(%1) FROM %2").arg(m_rowid, quoteIdentifier(m_table)));
        const qint64 highest = maximum.value_or(std::numeric_limits<qint64>::max());
        constexpr qint64 lowest = std::numeric_limits<qint64>::min();
        qint64 start = lowest;
        std::optional<qint64> last;
        // Each resumption starts further on; a garbled file cannot keep the
        // scan going for ever.
        for (int resumptions = 0; resumptions < 100000; ++resumptions) {
            sqlite3_reset(select.get());
            sqlite3_bind_int64(select.get(), 1, start);
            if (scan(select.get(), insert.get(), &last))
                return m_copied;
            // Damage: find where reading can go on, past the point that failed.
            qint64 failed;
            if (last && *last >= start)
                failed = *last + 1;
            else if (start == lowest)
                failed = minimum.value_or(1);
            else
                failed = start + 1;
            if (failed > highest || (last && *last == std::numeric_limits<qint64>::max()))
                return m_copied;
            std::optional<qint64> next;
            if (readable(select.get(), failed)) {
                next = failed;
            } else {
                qint64 lowFailed = failed;
                for (qint64 step = 1;; step *= 2) {
                    if (failed > highest - step)
                        break;
                    const qint64 candidate = failed + step;
                    if (readable(select.get(), candidate)) {
                        next = candidate;
                        break;
                    }
                    lowFailed = candidate;
                    if (step > std::numeric_limits<qint64>::max() / 4)
                        break;
                }
                if (!next)
                    return m_copied;
                qint64 high = *next;
                while (high - lowFailed > 1) {
                    const qint64 middle = lowFailed + (high - lowFailed) / 2;
                    if (readable(select.get(), middle))
                        high = middle;
                    else
                        lowFailed = middle;
                }
                next = high;
            }
            start = *next;
        }
        return m_copied;
    }

private:
    bool readable(sqlite3_stmt *select, qint64 from)
    {
        sqlite3_reset(select);
        sqlite3_bind_int64(select, 1, from);
        const int rc = sqlite3_step(select);
        sqlite3_reset(select);
        if (isBusy(rc))
            throwSqliteError(m_source, rc);
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    }

    // Copies rows until the end (true) or a read error (false).
    bool scan(sqlite3_stmt *select, sqlite3_stmt *insert, std::optional<qint64> *last)
    {
        int rc;
        const int columnCount = sqlite3_column_count(select);
        while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
            if (last) {
                const qint64 rowid = sqlite3_column_int64(select, 0);
                if (*last && rowid <= **last)
                    continue; // a damaged page can hand back rows out of order
                *last = rowid;
            }
            for (int i = 0; i < columnCount; ++i)
                sqlite3_bind_value(insert, i + 1, sqlite3_column_value(select, i));
            const int inserted = sqlite3_step(insert);
            if (inserted == SQLITE_DONE) {
                sqlite3_reset(insert);
                ++m_copied;
            } else if (isRefusal(inserted)) {
                // The table's own definition is kept as it was; the row
                // it refuses is set aside, not lost.
                const QString reason = refusalReason(m_target, inserted);
                sqlite3_reset(insert);
                m_aside->add(select, reason);
            } else {
                sqlite3_reset(insert);
                throwSqliteError(m_target, inserted);
            }
        }
        if (rc == SQLITE_DONE)
            return true;
        if (isBusy(rc))
            throwSqliteError(m_source, rc);
        return false;
    }

    sqlite3 *m_source;
    sqlite3 *m_target;
    QSet<QString> &m_takenNames;
    std::optional<SideTable> m_aside;
    QString m_table;
    QStringList m_columns;
    QString m_rowid;
    QString m_select;
    QString m_insert;
    long long m_copied = 0;
};

void syncRepaired(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    if (fd < 0)
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Impossible d'écrire le fichier réparé « %1 ».").arg(QDir::toNativeSeparators(path)));
    const int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0)
        throw AppError(ErrorNumber::DeviceUnavailable,
                       QStringLiteral("Impossible d'enregistrer sur le disque le fichier réparé « %1 ».")
                           .arg(QDir::toNativeSeparators(path)));
}

// The journals a database file may have beside it.
constexpr const char *kJournals[] = {"-wal", "-journal"};

// Creates the copy of the damaged file, under a name free for it and for its
// journals, and returns that name.
QString createBackup(QFile &backup, const QString &nativePath, const QString &shown)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QString base = nativePath + QStringLiteral(".endommage-") + stamp;
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? base : base + QStringLiteral("-%1").arg(n);
        bool free = true;
        for (const char *suffix : kJournals)
            free = free && !QFileInfo::exists(name + QLatin1String(suffix));
        if (!free)
            continue;
        backup.setFileName(name);
        if (backup.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        if (!QFileInfo::exists(name))
            break;
    }
    throw AppError(ErrorNumber::PermissionDenied,
                   QStringLiteral("Impossible de garder une copie du fichier endommagé « %1 » : la réparation "
                                  "n'a pas été faite.")
                       .arg(shown));
}

// Copies the damaged file byte for byte through the handle SQLite holds it
// by. Opening and closing another descriptor on it would drop every POSIX
// lock this process has on the file (that is how such locks work), the
// repair's exclusive lock among them.
void copyUnderLock(sqlite3 *locked, QFile &backup, const QString &shown)
{
    const auto failed = [&] {
        return AppError(ErrorNumber::PermissionDenied,
                        QStringLiteral("Impossible de garder une copie du fichier endommagé « %1 » : la réparation "
                                       "n'a pas été faite.")
                            .arg(shown));
    };
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(locked, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file
        || !file->pMethods)
        throw failed();
    sqlite3_int64 size = 0;
    if (file->pMethods->xFileSize(file, &size) != SQLITE_OK)
        throw failed();
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (sqlite3_int64 offset = 0; offset < size;) {
        const int length = int(std::min<sqlite3_int64>(chunk.size(), size - offset));
        if (file->pMethods->xRead(file, chunk.data(), length, offset) != SQLITE_OK
            || backup.write(chunk.constData(), length) != length)
            throw failed();
        offset += length;
    }
    if (!backup.flush() || ::fsync(backup.handle()) != 0)
        throw failed();
    backup.close();
}

// The journals of the damaged file belong to it: left beside the new file,
// they would be played back into it. They go beside its copy. When one cannot
// be moved, those already moved come back: the original keeps its journals.
class JournalsAside
{
public:
    JournalsAside(const QString &nativePath, const QString &backup)
    {
        for (const char *suffix : kJournals) {
            const QString from = nativePath + QLatin1String(suffix);
            if (!QFileInfo::exists(from))
                continue;
            const QString to = backup + QLatin1String(suffix);
            if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
                putBack();
                throw AppError(ErrorNumber::PermissionDenied,
                               QStringLiteral("Impossible de mettre de côté le journal « %1 » : la réparation n'a "
                                              "pas été faite.")
                                   .arg(QDir::toNativeSeparators(from)));
            }
            m_moved.emplace_back(from, to);
        }
    }

    void putBack() noexcept
    {
        while (!m_moved.empty()) {
            const auto &[from, to] = m_moved.back();
            std::rename(QFile::encodeName(to).constData(), QFile::encodeName(from).constData());
            m_moved.pop_back();
        }
    }

private:
    std::vector<std::pair<QString, QString>> m_moved;
};

struct Rebuilt
{
    long long kept = 0;
    long long setAside = 0;
    QStringList sideTables;
};

// Rebuilds what `source` can still read into the empty file `rebuilt`:
// tables and indexes first, so that the rows their definitions refuse can be
// set aside; then the rows; then views and triggers, so that no trigger runs
// on the rows copied.
Rebuilt rebuild(sqlite3 *source, const QString &rebuilt, const QString &shown)
{
    const std::vector<SchemaEntry> entries = readSchemaEntries(source);
    bool hasTable = false;
    QSet<QString> takenNames;
    for (const SchemaEntry &entry : entries) {
        hasTable = hasTable || (entry.type == QLatin1String("table") && !isInternal(entry.name));
        takenNames.insert(entry.name.toLower());
    }
    if (!hasTable)
        throwTooDamaged(shown);

    Connection target(rebuilt, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    for (const char *setting : {"page_size", "auto_vacuum"}) {
        if (const auto value = scalarInteger(source, QStringLiteral("PRAGMA %1").arg(QLatin1String(setting))))
            target.tryExec(QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(setting)).arg(*value));
    }

    target.exec(QStringLiteral("BEGIN"));
    const auto createAll = [&](const char *type) {
        for (const SchemaEntry &entry : entries)
            if (entry.type == QLatin1String(type) && !isInternal(entry.name))
                runStoredCreate(target.get(), entry, shown);
    };
    createAll("table");
    createAll("index");
    Rebuilt result;
    for (const SchemaEntry &entry : entries) {
        if (entry.type != QLatin1String("table") || isInternal(entry.name))
            continue;
        TableCopier copier(source, target.get(), entry.name, takenNames);
        result.kept += copier.copy();
        if (copier.setAside() > 0) {
            result.setAside += copier.setAside();
            result.sideTables << copier.sideTable();
        }
    }
    createAll("view");
    createAll("trigger");
    if (const auto version = scalarInteger(source, QStringLiteral("PRAGMA user_version")))
        target.exec(QStringLiteral("PRAGMA user_version = %1").arg(*version));
    if (const auto id = scalarInteger(source, QStringLiteral("PRAGMA application_id")))
        target.exec(QStringLiteral("PRAGMA application_id = %1").arg(*id));
    target.exec(QStringLiteral("COMMIT"));

    {
        SqliteStatement check(target.get(), QStringLiteral("PRAGMA integrity_check"));
        check.throwIfNotPrepared();
        const int rc = sqlite3_step(check.get());
        if (rc != SQLITE_ROW || text(check.get(), 0) != QLatin1String("ok"))
            throw AppError(ErrorNumber::DatabaseDamaged,
                           QStringLiteral("La base reconstruite à partir de « %1 » ne passe pas le contrôle "
                                          "d'intégrité.")
                               .arg(shown));
    }
    return result;
}

void removeQuietly(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

RepairReport RepairDatabase(const QString &nativePath)
{
    const QFileInfo info(nativePath);
    const QString shown = QDir::toNativeSeparators(nativePath);
    if (nativePath.isEmpty() || !info.exists() || info.isDir())
        throw AppError(ErrorNumber::DatabaseNotFound,
                       QStringLiteral("Le fichier de base de données « %1 » est introuvable.").arg(shown));
    if (isAccessFile(nativePath))
        throw AppError(ErrorNumber::AccessFormat,
                       QStringLiteral("Le fichier « %1 » est une base de données Microsoft Access : il ne peut pas "
                                      "être réparé ici ; il doit d'abord être converti au format de La LUMA, "
                                      "programme fermé, par la commande :\n%2")
                           .arg(shown, accessImportCommand()));

    // The lock: SQLite's exclusive lock on the damaged file, which every
    // kiosk and the management program wait for before they read or write
    // it. It is held by the connection that copies and reads the file, from
    // the first byte copied until the rebuilt file has taken its name; once
    // it is released, whoever was waiting holds a file no longer under that
    // name, and the cursors see it (cursor.cpp) before they write. Taking it
    // plays back a journal left by a writer that died, as any reader would:
    // the copy is the file as SQLite reads it.
    // Only ever read through otherwise: it writes nothing into the damaged
    // file, and closing it neither checkpoints nor deletes a write-ahead log.
    Connection locked(nativePath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    sqlite3_db_config(locked.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    if (const int rc = locked.tryExec(QStringLiteral("BEGIN EXCLUSIVE")); rc != SQLITE_OK) {
        if ((rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT)
            throwTooDamaged(shown);
        throwSqliteError(locked.get(), rc, shown);
    }
    locked.exec(QStringLiteral("PRAGMA query_only = 1"));

    QFile backupFile;
    const QString backup = createBackup(backupFile, nativePath, shown);
    QString rebuilt;
    try {
        copyUnderLock(locked.get(), backupFile, shown);
        {
            QTemporaryFile temporary(info.absolutePath() + QLatin1Char('/') + info.fileName()
                                     + QStringLiteral(".reparation-XXXXXX"));
            temporary.setAutoRemove(false);
            if (!temporary.open())
                throw AppError(ErrorNumber::PermissionDenied,
                               QStringLiteral("Impossible de créer un fichier à côté de « %1 » : la réparation n'a "
                                              "pas été faite.")
                                   .arg(shown));
            rebuilt = temporary.fileName();
        }
        const Rebuilt rows = rebuild(locked.get(), rebuilt, shown);
        // The file any kiosk account could use stays usable by the same
        // accounts: group and mode, and owner when run as administrator.
        struct stat original {};
        if (::stat(QFile::encodeName(nativePath).constData(), &original) != 0 || !takeOwnershipOf(rebuilt, original))
            throw AppError(ErrorNumber::PermissionDenied,
                           QStringLiteral("Impossible de donner au fichier réparé les droits de « %1 » : la réparation "
                                          "n'a pas été faite.")
                               .arg(shown));
        syncRepaired(rebuilt);

        // Still in the transaction, so still under the lock: an error of the
        // engine that ended it would have let others write since the copy.
        if (sqlite3_get_autocommit(locked.get()))
            throw AppError(ErrorNumber::RecordLocked,
                           QStringLiteral("Le verrou de « %1 » a été perdu pendant la réparation : elle n'a pas été "
                                          "faite ; réessayez.")
                               .arg(shown));

        JournalsAside journals(nativePath, backup);
        // The shared-memory index describes the log just moved aside.
        QFile::remove(nativePath + QStringLiteral("-shm"));
        if (std::rename(QFile::encodeName(rebuilt).constData(), QFile::encodeName(nativePath).constData()) != 0) {
            journals.putBack();
            throw AppError(ErrorNumber::PermissionDenied,
                           QStringLiteral("Impossible de remplacer « %1 » par le fichier réparé.").arg(shown));
        }
        DurableFile::syncFolder(info.absolutePath());
        return {rows.kept, rows.setAside, rows.sideTables, backup};
    } catch (...) {
        if (!rebuilt.isEmpty())
            removeQuietly(rebuilt);
        // The original is unchanged: its copy is not needed.
        backupFile.close();
        QFile::remove(backup);
        throw;
    }
}
