#include "accessimport.h"

#include "data/database.h"
#include "data/jetdate.h"
#include "data/schema.h"
#include "platform/apperror.h"
#include "platform/durablefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <QtEndian>

#include <sqlite3.h>

// mdbtools' header wraps its own includes in extern "C" and needs glib first.
#include <glib.h>
#include <mdbtools.h>

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Jet's dates run from 1 January 100 to 31 December 9999.
constexpr double kFirstJetDay = -657434.0;
constexpr double kLastJetDay = 2958465.0;
constexpr int kRowOffsetMask = 0x1fff;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString quotedName(const QString &name)
{
    QString inner = name;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString plural(qint64 count, const QString &singular, const QString &pluralForm)
{
    return QString::number(count) + QLatin1Char(' ') + (count > 1 ? pluralForm : singular);
}

// Sets an environment variable for the time of a scope, then puts back what
// was there: mdbtools reads the Jet 3 code page from the environment when a
// file is opened.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QString &value) : m_name(name), m_active(!value.isEmpty())
    {
        if (!m_active)
            return;
        if (qEnvironmentVariableIsSet(name))
            m_previous = qgetenv(name);
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnvironment()
    {
        if (!m_active)
            return;
        if (m_previous)
            qputenv(m_name, *m_previous);
        else
            qunsetenv(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *m_name;
    bool m_active;
    std::optional<QByteArray> m_previous;
};

// The file being written: removed, with its journal, unless the import
// completed and it was renamed into place.
class PartialFile
{
public:
    explicit PartialFile(QString path) : m_path(std::move(path)) {}
    ~PartialFile()
    {
        if (m_done)
            return;
        QFile::remove(m_path);
        QFile::remove(m_path + QStringLiteral("-journal"));
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    const QString &path() const { return m_path; }
    void done() { m_done = true; }

private:
    QString m_path;
    bool m_done = false;
};

struct MdbCloser
{
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
struct TableFreer
{
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
struct StatementFinalizer
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
struct GFreer
{
    void operator()(void *p) const { g_free(p); }
};
struct CFreer
{
    void operator()(void *p) const { std::free(p); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

class Output
{
public:
    explicit Output(const QString &path)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            // A constructor that throws runs no destructor: release the
            // handle here, once it has given its message.
            const std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> closer(m_db, &sqlite3_close_v2);
            throwSqliteError(m_db, rc, native(path));
        }
        sqlite3_extended_result_codes(m_db, 1);
    }
    ~Output() { sqlite3_close_v2(m_db); }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    sqlite3 *db() const { return m_db; }

    void close()
    {
        const int rc = sqlite3_close(m_db);
        if (rc != SQLITE_OK)
            throwSqliteError(m_db, rc);
        m_db = nullptr;
    }

private:
    sqlite3 *m_db = nullptr;
};

void run(sqlite3 *db, const QString &sql)
{
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throwSqliteError(db, sqlite3_extended_errcode(db));
}

Statement prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK)
        throwSqliteError(db, sqlite3_extended_errcode(db));
    return Statement(stmt);
}

void checkCharset(const QString &charset)
{
    const iconv_t cd = iconv_open("UTF-8", charset.toLatin1().constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("Jeu de caractères inconnu : « %1 » (exemples : CP1252, GBK).").arg(charset));
    iconv_close(cd);
}

// A temporary file is made readable by its owner alone: the converted file
// gets the mode any new file gets (0644 under the usual umask), so that a
// kiosk running under another account can open it.
void giveUsualMode(const QString &path)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(path).constData(), 0666 & ~mask);
}

template <typename T>
T readLittleEndian(const unsigned char *page, int start)
{
    return qFromLittleEndian<T>(page + start);
}

void bindText(sqlite3_stmt *stmt, int index, const char *text)
{
    sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT);
}

void bindText(sqlite3_stmt *stmt, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// One table being copied.
class TableCopy
{
public:
    TableCopy(MdbHandle *mdb, MdbTableDef *table, sqlite3 *db, const ImportOptions &options, QStringList &warnings)
        : m_mdb(mdb), m_table(table), m_db(db), m_options(options), m_warnings(warnings),
          m_name(QString::fromUtf8(table->name))
    {
    }

    QString name() const { return m_name; }
    QStringList columnNames() const
    {
        QStringList names;
        for (guint i = 0; i < m_table->num_cols; ++i)
            names << QString::fromUtf8(column(i)->name);
        return names;
    }

    void createTable()
    {
        QStringList columns;
        for (const QString &name : columnNames())
            columns << quotedName(name) + QStringLiteral(" TEXT");
        run(m_db, QStringLiteral("CREATE TABLE %1(%2)").arg(quotedName(m_name), columns.join(QStringLiteral(", "))));
    }

    qint64 copyRows()
    {
        QStringList parameters;
        for (guint i = 0; i < m_table->num_cols; ++i)
            parameters << QStringLiteral("?");
        const Statement insert = prepare(
            m_db, QStringLiteral("INSERT INTO %1 VALUES(%2)").arg(quotedName(m_name), parameters.join(QLatin1Char(','))));

        // An OLE object is read through a buffer bound to its column.
        std::vector<std::unique_ptr<char[]>> oleBuffers;
        for (guint i = 0; i < m_table->num_cols; ++i) {
            if (column(i)->col_type == MDB_OLE) {
                oleBuffers.push_back(std::make_unique<char[]>(kOleBufferSize));
                mdb_bind_column(m_table, int(i) + 1, oleBuffers.back().get(), nullptr);
            }
        }

        std::vector<MdbField> fields(m_table->num_cols);
        std::vector<char> unknownReported(m_table->num_cols, 0);
        qint64 count = 0;
        TableProgress progress{m_name, 0, qint64(m_table->num_rows), false};
        tell(progress);
        mdb_rewind_table(m_table);
        while (mdb_fetch_row(m_table)) {
            // mdbtools' bound values say "" for NULL and for an empty text
            // alike: read the row's own null flags from the page it left in
            // its buffer.
            int rowStart = 0;
            size_t rowSize = 0;
            if (mdb_find_row(m_mdb, int(m_table->cur_row) - 1, &rowStart, &rowSize) != 0
                || mdb_crack_row(m_table, rowStart & kRowOffsetMask, rowSize, fields.data()) < 0)
                throw AppError(ErrorNumber::DatabaseDamaged,
                               QStringLiteral("La ligne %1 de la table « %2 » est illisible : le fichier Access est "
                                              "endommagé.")
                                   .arg(count + 1)
                                   .arg(m_name));
            for (guint i = 0; i < m_table->num_cols; ++i) {
                const MdbField &field = fields[i];
                if (field.colnum < 0 || guint(field.colnum) >= m_table->num_cols)
                    continue;
                bindField(insert.get(), field.colnum + 1, column(guint(field.colnum)), field,
                          unknownReported[guint(field.colnum)]);
            }
            const int rc = sqlite3_step(insert.get());
            if (rc != SQLITE_DONE)
                throwSqliteError(m_db, sqlite3_extended_errcode(m_db));
            sqlite3_reset(insert.get());
            sqlite3_clear_bindings(insert.get());
            if (++count % kProgressRows == 0) {
                progress.rows = count;
                tell(progress);
            }
        }
        if (count < qint64(m_table->num_rows)) {
            const QString missing =
                QStringLiteral("La table « %1 » annonce %2 mais seules %3 ont pu être lues : le fichier Access est "
                               "endommagé.")
                    .arg(m_name, plural(m_table->num_rows, QStringLiteral("ligne"), QStringLiteral("lignes")))
                    .arg(count);
            if (m_options.refuseMissingRows)
                throw AppError(ErrorNumber::DatabaseDamaged, missing);
            m_warnings << missing;
        }
        progress.rows = count;
        progress.finished = true;
        tell(progress);
        return count;
    }

private:
    static constexpr size_t kOleBufferSize = 64 * 1024;
    static constexpr size_t kSmallBindSize = 4096;
    static constexpr qint64 kProgressRows = 256;

    void tell(const TableProgress &progress) const
    {
        if (m_options.progress)
            m_options.progress(progress);
    }

    MdbColumn *column(guint i) const { return static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, i)); }

    // mdbtools converts a text into a buffer of its bind size: make it large
    // enough for the longest UTF-8 the stored bytes can give.
    QByteArray convertedText(MdbColumn *col, const MdbField &field)
    {
        size_t stored = size_t(std::max(field.siz, 0));
        if (col->col_type == MDB_MEMO && field.siz >= MDB_MEMO_OVERHEAD)
            stored = std::max(stored, size_t(readLittleEndian<quint32>(m_mdb->pg_buf, field.start) & 0x3fffffffu));
        mdb_set_bind_size(m_mdb, std::max(kSmallBindSize, stored * 3 + 16));
        const std::unique_ptr<char, GFreer> text(
            mdb_col_to_string(m_mdb, m_mdb->pg_buf, field.start, col->col_type, field.siz));
        return QByteArray(text ? text.get() : "");
    }

    void bindField(sqlite3_stmt *stmt, int index, MdbColumn *col, const MdbField &field, char &unknownReported)
    {
        const unsigned char *page = m_mdb->pg_buf;
        // A Yes/No field keeps its value in the null flags: set is True,
        // which Access stores as -1.
        if (col->col_type == MDB_BOOL) {
            bindText(stmt, index, field.is_null ? "0" : "-1");
            return;
        }
        if (field.is_null) {
            sqlite3_bind_null(stmt, index);
            return;
        }
        switch (col->col_type) {
        case MDB_BYTE:
            bindText(stmt, index, QString::number(page[field.start]));
            break;
        case MDB_INT:
            bindText(stmt, index, QString::number(readLittleEndian<qint16>(page, field.start)));
            break;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            bindText(stmt, index, QString::number(readLittleEndian<qint32>(page, field.start)));
            break;
        case MDB_FLOAT:
            bindText(stmt, index, decimalText(std::bit_cast<float>(readLittleEndian<quint32>(page, field.start))));
            break;
        case MDB_DOUBLE:
            bindText(stmt, index, decimalText(std::bit_cast<double>(readLittleEndian<quint64>(page, field.start))));
            break;
        case MDB_DATETIME:
            bindText(stmt, index, dateFieldText(std::bit_cast<double>(readLittleEndian<quint64>(page, field.start))));
            break;
        case MDB_MONEY:
            bindText(stmt, index, currencyText(readLittleEndian<qint64>(page, field.start)));
            break;
        case MDB_NUMERIC: {
            const std::unique_ptr<char, GFreer> text(
                mdb_numeric_to_string(m_mdb, field.start, col->col_scale, col->col_prec));
            bindText(stmt, index, text ? text.get() : "");
            break;
        }
        case MDB_TEXT:
        case MDB_MEMO: {
            const QByteArray text = convertedText(col, field);
            sqlite3_bind_text(stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        case MDB_REPID: {
            const std::unique_ptr<char, GFreer> text(mdb_uuid_to_string(page, field.start));
            bindText(stmt, index, text.get());
            break;
        }
        case MDB_BINARY:
            sqlite3_bind_blob(stmt, index, page + field.start, std::max(field.siz, 0), SQLITE_TRANSIENT);
            break;
        case MDB_OLE: {
            size_t size = 0;
            const std::unique_ptr<void, CFreer> data(mdb_ole_read_full(m_mdb, col, &size));
            sqlite3_bind_blob64(stmt, index, data.get(), size, SQLITE_TRANSIENT);
            break;
        }
        default:
            sqlite3_bind_null(stmt, index);
            if (!unknownReported) {
                unknownReported = 1;
                m_warnings << QStringLiteral("Le champ « %1 » de la table « %2 » est d'un type inconnu (%3) : ses "
                                             "valeurs ne sont pas importées.")
                                  .arg(QString::fromUtf8(col->name), m_name, QString::number(col->col_type));
            }
            break;
        }
    }

    MdbHandle *m_mdb;
    MdbTableDef *m_table;
    sqlite3 *m_db;
    const ImportOptions &m_options;
    QStringList &m_warnings;
    QString m_name;
};

bool isUserTable(MdbCatalogEntry *entry)
{
    return entry->object_type == MDB_TABLE && !mdb_is_system_table(entry)
           && !QString::fromUtf8(entry->object_name).startsWith(QLatin1String("MSys"), Qt::CaseInsensitive);
}

} // namespace

QString dateFieldText(double value)
{
    if (!std::isfinite(value) || value < kFirstJetDay || value >= kLastJetDay + 1)
        return decimalText(value);
    return JetDate::fromSerial(value)->frenchText();
}

namespace {
template <typename Float>
QString shortestDecimal(Float value)
{
    if (!std::isfinite(value))
        return QString::number(double(value));
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}
} // namespace

QString decimalText(double value)
{
    return shortestDecimal(value);
}

QString decimalText(float value)
{
    return shortestDecimal(value);
}

QString currencyText(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(tenThousandths) : quint64(tenThousandths);
    QString text = (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10000);
    QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += QLatin1Char('.') + fraction;
    return text;
}

void indexInventory(sqlite3 *db, const QString &table, const QString &column, QStringList &warnings)
{
    const QString target = QStringLiteral(" %1 ON %2(%3)")
                               .arg(quotedName(table + QLatin1Char('_') + column), quotedName(table), quotedName(column));
    const int rc = sqlite3_exec(db, (QStringLiteral("CREATE UNIQUE INDEX") + target).toUtf8().constData(), nullptr,
                                nullptr, nullptr);
    if (rc == SQLITE_OK)
        return;
    if ((sqlite3_extended_errcode(db) & 0xff) != SQLITE_CONSTRAINT)
        throwSqliteError(db, sqlite3_extended_errcode(db));

    // Each duplicated number with its rows, in the order the Access file gave
    // them (the rowid), and their titles, so that each can be found and put
    // right; rows stay as they are.
    QString title = QStringLiteral("NULL");
    {
        const Statement columns = prepare(db, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quotedName(table)));
        for (int i = 0; i < sqlite3_column_count(columns.get()); ++i) {
            const QString name = QString::fromUtf8(sqlite3_column_name(columns.get(), i));
            if (sameName(name, QStringLiteral("titre")))
                title = quotedName(name);
        }
    }
    const Statement duplicates = prepare(
        db, QStringLiteral("SELECT %1, rowid, %3 FROM %2 WHERE %1 IN (SELECT %1 FROM %2 WHERE %1 IS NOT NULL GROUP BY "
                           "%1 HAVING COUNT(*) > 1) ORDER BY %1, rowid")
                .arg(quotedName(column), quotedName(table), title));
    constexpr int kNumbersShown = 100;
    constexpr int kRowsShown = 10;
    QStringList lines;
    QString current;
    QStringList rows;
    qint64 numbers = 0;
    qint64 rowsOfCurrent = 0;
    const auto flush = [&] {
        if (current.isNull() || numbers > kNumbersShown)
            return;
        if (rowsOfCurrent > kRowsShown)
            rows << QStringLiteral("et %1").arg(plural(rowsOfCurrent - kRowsShown, QStringLiteral("autre ligne"),
                                                       QStringLiteral("autres lignes")));
        lines << QStringLiteral("  n° %1 : %2").arg(current, rows.join(QStringLiteral(", ")));
    };
    const auto text = [&](int i) {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(duplicates.get(), i)));
    };
    int step;
    while ((step = sqlite3_step(duplicates.get())) == SQLITE_ROW) {
        const QString number = text(0);
        if (current.isNull() || number != current) {
            flush();
            current = number;
            rows.clear();
            rowsOfCurrent = 0;
            ++numbers;
        }
        if (++rowsOfCurrent <= kRowsShown) {
            QString row = QStringLiteral("ligne %1").arg(sqlite3_column_int64(duplicates.get(), 1));
            if (sqlite3_column_type(duplicates.get(), 2) != SQLITE_NULL)
                row += QStringLiteral(" « %1 »").arg(text(2));
            rows << row;
        }
    }
    if (step != SQLITE_DONE)
        throwSqliteError(db, sqlite3_extended_errcode(db));
    flush();
    if (numbers > kNumbersShown)
        lines << QStringLiteral("  … et %1.").arg(plural(numbers - kNumbersShown, QStringLiteral("autre numéro"),
                                                         QStringLiteral("autres numéros")));
    run(db, QStringLiteral("CREATE INDEX") + target);
    warnings << QStringLiteral("Attention : la table « %1 » contient %2 en double. Toutes les lignes sont gardées, "
                               "mais l'index sur « %3 » n'est donc pas unique et le programme ne pourra pas refuser "
                               "un doublon : corrigez ces numéros dans la base convertie.\n%4")
                    .arg(table,
                         plural(numbers, QStringLiteral("numéro d'inventaire"), QStringLiteral("numéros d'inventaire")),
                         column, lines.join(QLatin1Char('\n')));
}

ImportResult convertAccessFile(const QString &source, const QString &output, const ImportOptions &options)
{
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists() || sourceInfo.isDir())
        throw AppError(ErrorNumber::FileNotFound,
                       QStringLiteral("Le fichier Access « %1 » est introuvable.").arg(native(source)));
    if (!sourceInfo.isReadable())
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Le fichier Access « %1 » ne peut pas être lu.").arg(native(source)));
    if (!options.charset.isEmpty())
        checkCharset(options.charset);

    ImportResult result;

    std::unique_ptr<MdbHandle, MdbCloser> mdb;
    {
        const ScopedEnvironment charset("MDB_JET3_CHARSET", options.charset);
        mdb.reset(mdb_open(QFile::encodeName(source).constData(), MDB_NOFLAGS));
    }
    if (!mdb)
        throw AppError(ErrorNumber::DatabaseDamaged,
                       QStringLiteral("« %1 » n'est pas un fichier Access lisible (Access 97 à 2016).")
                           .arg(native(source)));
    if (!options.charset.isEmpty() && !IS_JET3(mdb.get()))
        result.warnings << QStringLiteral("Le fichier n'est pas au format Access 97 : son texte est en Unicode et "
                                          "l'option --charset est sans effet.");

    // The list of tables is the table MSysObjects, always on page 2. A page
    // that cannot be read ends the list early, without error: only the
    // count the table announces tells a whole list from a cut one (a
    // truncated file would otherwise convert to a file without tables).
    GPtrArray *catalog = mdb_read_catalog(mdb.get(), MDB_ANY);
    MdbCatalogEntry objects{};
    objects.mdb = mdb.get();
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2;
    std::snprintf(objects.object_name, sizeof objects.object_name, "MSysObjects");
    const std::unique_ptr<MdbTableDef, TableFreer> objectsTable(mdb_read_table(&objects));
    if (!catalog || !objectsTable || catalog->len < objectsTable->num_rows)
        throw AppError(ErrorNumber::DatabaseDamaged,
                       QStringLiteral("La liste des tables du fichier Access « %1 » est illisible : le fichier est "
                                      "endommagé ou tronqué.")
                           .arg(native(source)));

    Output out(output);
    sqlite3 *db = out.db();
    // Nothing to protect while writing: on any failure the file is removed.
    run(db, QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN"));

    // Each table's progress says where it stands among the file's tables.
    int tableCount = 0;
    for (guint i = 0; i < catalog->len; ++i)
        tableCount += isUserTable(static_cast<MdbCatalogEntry *>(g_ptr_array_index(catalog, i))) ? 1 : 0;
    ImportOptions tableOptions = options;
    if (options.progress)
        tableOptions.progress = [&](const TableProgress &progress) {
            TableProgress placed = progress;
            placed.tableNumber = result.tables;
            placed.tableCount = tableCount;
            options.progress(placed);
        };

    for (guint i = 0; i < catalog->len; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_LINKED_TABLE)
            result.warnings << QStringLiteral("La table « %1 » est liée : ses données sont dans un autre fichier "
                                              "Access, qu'il faut convertir lui-même.")
                                   .arg(QString::fromUtf8(entry->object_name));
        if (!isUserTable(entry))
            continue;
        const std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
        if (!table || !mdb_read_columns(table.get()))
            throw AppError(ErrorNumber::DatabaseDamaged,
                           QStringLiteral("La table « %1 » du fichier Access est illisible.")
                               .arg(QString::fromUtf8(entry->object_name)));
        TableCopy copy(mdb.get(), table.get(), db, tableOptions, result.warnings);
        copy.createTable();
        result.rows += copy.copyRows();
        ++result.tables;

        if (sameName(copy.name(), QStringLiteral("luma"))) {
            for (const QString &column : copy.columnNames()) {
                if (sameName(column, QStringLiteral("inventaire")))
                    indexInventory(db, copy.name(), column, result.warnings);
            }
        }
    }

    run(db, QStringLiteral("COMMIT"));
    out.close();
    return result;
}

ImportResult importAccessFile(const QString &source, const QString &destination, const ImportOptions &options)
{
    const QFileInfo destinationInfo(destination);
    if (destinationInfo.exists() || destinationInfo.isSymLink())
        throw AppError(ErrorNumber::FileAlreadyExists,
                       QStringLiteral("Le fichier « %1 » existe déjà : il n'est pas remplacé. Choisissez un autre "
                                      "nom ou déplacez d'abord l'ancien fichier.")
                           .arg(native(destination)));
    if (!destinationInfo.absoluteDir().exists())
        throw AppError(ErrorNumber::PathNotFound,
                       QStringLiteral("Le dossier « %1 » n'existe pas.").arg(native(destinationInfo.absolutePath())));

    // The rows go into a file beside the destination that takes its name
    // only when complete.
    QString partialPath;
    {
        QTemporaryFile temporary(destinationInfo.absoluteFilePath() + QStringLiteral(".importation-XXXXXX"));
        temporary.setAutoRemove(false);
        if (!temporary.open())
            throw AppError(ErrorNumber::PermissionDenied,
                           QStringLiteral("Impossible d'écrire dans le dossier « %1 » : %2")
                               .arg(native(destinationInfo.absolutePath()), temporary.errorString()));
        partialPath = temporary.fileName();
    }
    PartialFile partial(partialPath);
    const ImportResult result = convertAccessFile(source, partial.path(), options);
    giveUsualMode(partial.path());
    DurableFile::flushToDisk(partial.path());
    if (!QFile::rename(partial.path(), destinationInfo.absoluteFilePath())) {
        if (QFileInfo::exists(destinationInfo.absoluteFilePath()))
            throw AppError(ErrorNumber::FileAlreadyExists,
                           QStringLiteral("Le fichier « %1 » est apparu pendant la conversion : il n'est pas remplacé.")
                               .arg(native(destination)));
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Impossible de nommer le fichier converti « %1 ».").arg(native(destination)));
    }
    partial.done();
    // The rename itself reaches the disk.
    DurableFile::syncFolder(destinationInfo.absolutePath());
    return result;
}
