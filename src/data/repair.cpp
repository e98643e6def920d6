#include "data/repair.h"

#include "data/database.h"
#include "data/sqlitestatement.h"
#include "platform/apperror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr int kBusyTimeoutMs = 5000;

QString text(sqlite3_stmt *stmt, int column)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(stmt, column)) : QString();
}

class Connection
{
public:
    Connection(const QString &path, int flags)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (m_db) {
            sqlite3_extended_result_codes(m_db, 1);
            sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        }
        if (rc != SQLITE_OK)
            throwSqliteError(m_db, m_db ? sqlite3_extended_errcode(m_db) : rc, QDir::toNativeSeparators(path));
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *get() const { return m_db; }
    void exec(const QString &sql)
    {
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throwSqliteError(m_db, sqlite3_extended_errcode(m_db));
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
    QString sql;
};

bool isBusy(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
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
    SqliteStatement query(db, QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY rowid"));
    if (query.prepareResult() != SQLITE_OK) {
        if (isBusy(query.prepareResult()))
            query.throwIfNotPrepared();
        return entries;
    }
    int rc;
    while ((rc = sqlite3_step(query.get())) == SQLITE_ROW)
        entries.push_back({text(query.get(), 0), text(query.get(), 1), text(query.get(), 2)});
    if (isBusy(rc))
        throwSqliteError(db, rc);
    return entries;
}

// Copies the rows of one table that can still be read. Rows are read in
// rowid order; when a page cannot be read the scan starts again further on,
// stepping by 1, 2, 4... past the damage and then back to the first rowid
// that reads, so that only the rows of the damaged pages are lost.
class TableCopier
{
public:
    TableCopier(sqlite3 *source, sqlite3 *target, const QString &table) : m_source(source), m_target(target)
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
    }

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
            sqlite3_reset(insert);
            if (inserted == SQLITE_DONE)
                ++m_copied;
            else if ((inserted & 0xff) != SQLITE_CONSTRAINT)
                throwSqliteError(m_target, inserted);
            // A row that breaks a constraint of the table (two rows with the
            // same value under a UNIQUE column, one of them garbled by the
            // damage) is left out: the table's own definition is kept as is.
        }
        if (rc == SQLITE_DONE)
            return true;
        if (isBusy(rc))
            throwSqliteError(m_source, rc);
        return false;
    }

    sqlite3 *m_source;
    sqlite3 *m_target;
    QString m_table;
    QStringList m_columns;
    QString m_rowid;
    QString m_select;
    QString m_insert;
    long long m_copied = 0;
};

void syncPath(const QString &path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDWR);
    if (fd < 0) {
        if (directory)
            return;
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Impossible d'écrire le fichier réparé « %1 ».").arg(QDir::toNativeSeparators(path)));
    }
    const int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0 && !directory)
        throw AppError(ErrorNumber::DeviceUnavailable,
                       QStringLiteral("Impossible d'enregistrer sur le disque le fichier réparé « %1 ».")
                           .arg(QDir::toNativeSeparators(path)));
}

bool walMode(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    return head.size() == 20 && head.startsWith("SQLite format 3") && head[18] == 2 && head[19] == 2;
}

long long rebuild(const QString &damaged, const QString &rebuilt)
{
    Connection source(damaged, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    const std::vector<SchemaEntry> entries = readSchemaEntries(source.get());
    bool hasTable = false;
    for (const SchemaEntry &entry : entries)
        hasTable = hasTable || (entry.type == QLatin1String("table") && !entry.name.startsWith(QLatin1String("sqlite_")));
    if (!hasTable)
        throw AppError(ErrorNumber::DatabaseDamaged,
                       QStringLiteral("La base de données « %1 » est trop endommagée pour être réparée : sa structure "
                                      "est illisible.")
                           .arg(QDir::toNativeSeparators(damaged)));

    Connection target(rebuilt, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    for (const char *setting : {"page_size", "auto_vacuum"}) {
        if (const auto value = scalarInteger(source.get(), QStringLiteral("PRAGMA %1").arg(QLatin1String(setting))))
            target.tryExec(QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(setting)).arg(*value));
    }

    target.exec(QStringLiteral("BEGIN"));
    for (const SchemaEntry &entry : entries)
        if (entry.type == QLatin1String("table") && !entry.name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive)
            && !entry.sql.isEmpty())
            target.exec(entry.sql);

    long long copied = 0;
    for (const SchemaEntry &entry : entries)
        if (entry.type == QLatin1String("table") && !entry.name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive)
            && !entry.sql.isEmpty())
            copied += TableCopier(source.get(), target.get(), entry.name).copy();

    static const QRegularExpression uniqueHead(QStringLiteral("^\\s*CREATE\\s+UNIQUE\\s+INDEX\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    for (const SchemaEntry &entry : entries) {
        if (entry.type != QLatin1String("index") || entry.sql.isEmpty())
            continue;
        const int rc = target.tryExec(entry.sql);
        if (rc == SQLITE_OK)
            continue;
        // Rows kept from a damaged file may repeat a value a unique index
        // forbids: the rows matter more than the uniqueness, so the index is
        // made without it and the duplicates can be put right by hand.
        if (rc == SQLITE_CONSTRAINT_UNIQUE && uniqueHead.match(entry.sql).hasMatch()) {
            QString plain = entry.sql;
            plain.replace(uniqueHead, QStringLiteral("CREATE INDEX"));
            target.exec(plain);
            continue;
        }
        throwSqliteError(target.get(), rc);
    }
    for (const SchemaEntry &entry : entries)
        if ((entry.type == QLatin1String("view") || entry.type == QLatin1String("trigger")) && !entry.sql.isEmpty())
            target.exec(entry.sql);
    if (const auto version = scalarInteger(source.get(), QStringLiteral("PRAGMA user_version")))
        target.exec(QStringLiteral("PRAGMA user_version = %1").arg(*version));
    if (const auto id = scalarInteger(source.get(), QStringLiteral("PRAGMA application_id")))
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
                               .arg(QDir::toNativeSeparators(damaged)));
    }
    if (walMode(damaged))
        target.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    return copied;
}

void removeQuietly(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

long long RepairDatabase(const QString &nativePath)
{
    const QFileInfo info(nativePath);
    const QString shown = QDir::toNativeSeparators(nativePath);
    if (nativePath.isEmpty() || !info.exists() || info.isDir())
        throw AppError(ErrorNumber::DatabaseNotFound,
                       QStringLiteral("Le fichier de base de données « %1 » est introuvable.").arg(shown));
    if (isAccessFile(nativePath))
        throw AppError(ErrorNumber::AccessFormat,
                       QStringLiteral("Le fichier « %1 » est une base de données Microsoft Access : il ne peut pas "
                                      "être réparé ici ; il doit d'abord être converti au format de La LUMA avec "
                                      "l'outil d'importation.")
                           .arg(shown));

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString backup = nativePath + QStringLiteral(".endommage-") + stamp;
    for (int n = 2; QFileInfo::exists(backup); ++n)
        backup = nativePath + QStringLiteral(".endommage-%1-%2").arg(stamp).arg(n);
    if (!QFile::copy(nativePath, backup))
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Impossible de garder une copie du fichier endommagé « %1 » : la réparation "
                                      "n'a pas été faite.")
                           .arg(shown));

    QString rebuilt;
    try {
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
        const long long rows = rebuild(nativePath, rebuilt);
        QFile::setPermissions(rebuilt, info.permissions());
        syncPath(rebuilt, false);

        // The journal of the damaged file belongs to it: left beside the new
        // file, it would be played back into it.
        for (const char *suffix : {"-journal", "-wal"}) {
            const QString old = nativePath + QLatin1String(suffix);
            if (QFileInfo::exists(old))
                QFile::rename(old, backup + QLatin1String(suffix));
        }
        QFile::remove(nativePath + QStringLiteral("-shm"));
        if (std::rename(QFile::encodeName(rebuilt).constData(), QFile::encodeName(nativePath).constData()) != 0)
            throw AppError(ErrorNumber::PermissionDenied,
                           QStringLiteral("Impossible de remplacer « %1 » par le fichier réparé.").arg(shown));
        syncPath(info.absolutePath(), true);
        return rows;
    } catch (...) {
        if (!rebuilt.isEmpty())
            removeQuietly(rebuilt);
        // The original is unchanged: its copy is not needed.
        QFile::remove(backup);
        throw;
    }
}
