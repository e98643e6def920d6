#include "data/database.h"

#include "data/jetfunctions.h"
#include "data/sqlitestatement.h"
#include "platform/apperror.h"
#include "platform/lockwait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <ctime>
#include <sqlite3.h>
#include <sys/vfs.h>
#include <utility>

namespace {

// SQLite's busy handler: a file another program writes is waited for as
// the connection's LockWait says, never in one blocking sleep.
int onBusy(void *data, int count)
{
    auto *busy = static_cast<BusyWait *>(data);
    if (count == 0)
        busy->waiter.emplace(busy->wait); // a new wait: a fresh deadline
    if (busy->waiter && busy->waiter->pause())
        return 1;
    busy->waiter.reset();
    return 0;
}

// Leaving the write-ahead log needs the file to oneself: a kiosk that has it
// open keeps it as long as it runs, so only a brief reader is worth waiting for.
constexpr int kLeaveWalTimeoutMs = 1000;
// Engine instructions between two looks at a request's limits: rare enough to
// cost nothing measurable, often enough to stop within a few milliseconds.
constexpr int kProgressInstructions = 10000;

// The processor time of this thread: a request's time is the work it does,
// not the time it waits for another kiosk's lock (that wait has its own
// deadline and its own message).
long long workMs()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

QString journalMode(sqlite3 *db)
{
    SqliteStatement mode(db, QStringLiteral("PRAGMA journal_mode"));
    if (!mode.prepared() || mode.step() != SQLITE_ROW)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(mode.get(), 0))).toLower();
}

// The write-ahead log keeps its index in memory shared through the file
// "-shm", which the computers sharing a network disk do not share: two of
// them would each believe their own view of the file. Back to the rollback
// journal, which relies on the file's locks alone; SQLite takes the file
// exclusively for the change and refuses it while another program has the
// file open.
void leaveWriteAheadLog(sqlite3 *db, const QString &nativePath, Database::Mode mode)
{
    if (journalMode(db) != QLatin1String("wal"))
        return;
    if (mode == Database::Mode::ReadWrite) {
        sqlite3_busy_timeout(db, kLeaveWalTimeoutMs);
        sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
        if (journalMode(db) == QLatin1String("delete"))
            return;
    }
    const QString shown = QDir::toNativeSeparators(nativePath);
    throw AppError(ErrorNumber::CannotOpenFile,
                   QStringLiteral("La base de données « %1 » est en mode « WAL », qui ne fonctionne pas sur un disque "
                                  "réseau, et elle n'a pas pu être remise en mode normal ici (un autre programme "
                                  "l'utilise, ou elle n'est ouverte qu'en lecture). Fermez La LUMA et les autres programmes qui l'utilisent sur tous les "
                                  "postes, puis relancez La LUMA sur un seul poste : elle remettra la base en mode "
                                  "normal. Ou, sur le serveur, dans le dossier des données, tapez : sqlite3 '%2' "
                                  "'PRAGMA journal_mode=DELETE'")
                       .arg(shown, QFileInfo(nativePath).fileName()));
}

QString displayName(sqlite3 *db)
{
    if (!db)
        return {};
    const char *file = sqlite3_db_filename(db, "main");
    if (!file || !*file)
        return {};
    return QDir::toNativeSeparators(QString::fromUtf8(file));
}

QString withContext(QString text, const QString &context)
{
    if (!context.isEmpty())
        text += QStringLiteral(" (%1)").arg(context);
    return text;
}

// Reads the tables and their columns. Reading sqlite_master is also what
// tells a real database from any other file: SQLite only looks at the file
// when the first statement needs it.
Schema readSchema(sqlite3 *db)
{
    Schema schema;
    QStringList names;
    {
        SqliteStatement tables(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid"));
        tables.throwIfNotPrepared();
        int rc;
        while ((rc = tables.step()) == SQLITE_ROW) {
            const QString name = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(tables.get(), 0)));
            if (!name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
                names << name;
        }
        if (rc != SQLITE_DONE)
            throwSqliteError(db, rc);
    }

    for (const QString &name : names) {
        SchemaTable table;
        table.name = name;
        SqliteStatement columns(db, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(name)));
        columns.throwIfNotPrepared();
        int rc;
        while ((rc = columns.step()) == SQLITE_ROW)
            table.columns << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(columns.get(), 1)));
        if (rc != SQLITE_DONE)
            throwSqliteError(db, rc);
        schema.tables << table;
    }
    return schema;
}

} // namespace

bool onLocalDisk(const QString &nativePath)
{
    struct statfs info {};
    if (::statfs(QFile::encodeName(nativePath).constData(), &info) != 0)
        return false;
    // The file systems of a computer's own disks; anything else (NFS, SMB,
    // FUSE, FAT or exFAT sticks, CDs) is read without the map.
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0x01021994UL: // tmpfs
    case 0x2FC12FC1UL: // zfs
    case 0xF2F52010UL: // f2fs
    case 0x794C7630UL: // overlayfs
    case 0x3153464AUL: // jfs
    case 0x52654973UL: // reiserfs
        return true;
    default:
        return false;
    }
}

bool isAccessFile(const QString &nativePath)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    if (head.size() < 19)
        return false;
    const QByteArray signature = head.mid(4, 15);
    return signature == "Standard Jet DB" || signature == "Standard ACE DB";
}

QString accessImportCommand(const QString &dataFolder)
{
    const QString command = QStringLiteral("luma-import ");
    if (dataFolder.isEmpty())
        return command + QStringLiteral("DOSSIER");
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._,:+=@%-]+$"));
    if (plain.match(dataFolder).hasMatch())
        return command + dataFolder;
    QString quoted = dataFolder;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return command + QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void throwSqliteError(sqlite3 *db, int resultCode, const QString &context)
{
    const QString file = displayName(db);
    const QString engineText = db ? QString::fromUtf8(sqlite3_errmsg(db))
                                  : QString::fromUtf8(sqlite3_errstr(resultCode));
    const int primary = resultCode & 0xff;

    switch (resultCode) {
    case SQLITE_IOERR_LOCK:
    case SQLITE_IOERR_RDLOCK:
    case SQLITE_IOERR_UNLOCK:
    case SQLITE_IOERR_CHECKRESERVEDLOCK:
    case SQLITE_IOERR_SHMLOCK:
    case SQLITE_IOERR_SHMOPEN:
    case SQLITE_IOERR_SHMSIZE:
    case SQLITE_IOERR_SHMMAP:
        throw AppError(ErrorNumber::CannotLockFile,
                       withContext(QStringLiteral("Impossible de verrouiller le fichier « %1 ».").arg(file), context));
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        throw AppError(ErrorNumber::DuplicateKey,
                       withContext(QStringLiteral("Les modifications n'ont pas été enregistrées : elles auraient créé "
                                                  "des doublons dans un index ou une clé primaire."),
                                   context));
    case SQLITE_READONLY_ROLLBACK:
    case SQLITE_READONLY_RECOVERY:
        // Only a reader that may not write meets these.
        throw AppError(ErrorNumber::DatabaseDamaged,
                       withContext(QStringLiteral("La base de données « %1 » a été laissée inachevée par un programme "
                                                  "arrêté pendant une écriture : démarrez La LUMA une fois pour la "
                                                  "remettre en ordre, puis recommencez.")
                                       .arg(file),
                                   context));
    case SQLITE_CONSTRAINT_NOTNULL:
        throw AppError(ErrorNumber::FieldRequired, withContext(QStringLiteral("Un champ obligatoire ne peut pas rester vide (%1).")
                                             .arg(engineText),
                                         context));
    default:
        break;
    }

    // SQLite's own limits on how deep a statement nests and how tall its
    // expressions grow: met by a record source nested or chained beyond
    // reason, which is the text's fault, said as the translator says it.
    if (primary == SQLITE_ERROR
        && (engineText.contains(QLatin1String("parser stack overflow"))
            || engineText.contains(QLatin1String("Expression tree is too large"))
            || engineText.contains(QLatin1String("too many arguments on function"))))
        throw AppError(ErrorNumber::SyntaxError,
                       withContext(QStringLiteral("Erreur de syntaxe : expression trop complexe pour le moteur de "
                                                  "base de données (%1).")
                                       .arg(engineText),
                                   context));

    // A Jet function's own error (an invalid argument, a type mismatch).
    if (primary == SQLITE_ERROR) {
        QString description;
        if (const int number = jetFunctionError(engineText, &description))
            throw AppError(number, withContext(description, context));
    }

    switch (primary) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        throw AppError(ErrorNumber::DatabaseDamaged,
                       withContext(QStringLiteral("La base de données « %1 » est endommagée ou n'est pas une base "
                                                  "de données reconnue.")
                                       .arg(file),
                                   context));
    case SQLITE_PROTOCOL:
        throw AppError(ErrorNumber::CannotLockFile,
                       withContext(QStringLiteral("Impossible de verrouiller le fichier « %1 ».").arg(file), context));
    case SQLITE_BUSY:
        throwOtherKioskBusy(file);
    case SQLITE_LOCKED:
        throw AppError(ErrorNumber::RecordLocked,
                       withContext(QStringLiteral("Le fichier « %1 » est verrouillé par un autre utilisateur ; "
                                                  "réessayez plus tard.")
                                       .arg(file),
                                   context));
    case SQLITE_READONLY:
        throw AppError(ErrorNumber::ReadOnlyDatabase,
                       withContext(QStringLiteral("Mise à jour impossible : la base de données « %1 » est en lecture "
                                                  "seule.")
                                       .arg(file),
                                   context));
    case SQLITE_CANTOPEN:
        if (!file.isEmpty() && !QFileInfo::exists(file))
            throw AppError(ErrorNumber::DatabaseNotFound,
                           withContext(QStringLiteral("Le fichier de base de données « %1 » est introuvable.").arg(file),
                                       context));
        throw AppError(ErrorNumber::CannotOpenFile, withContext(QStringLiteral("Impossible d'ouvrir le fichier « %1 » : il est peut-être "
                                                        "ouvert en exclusif par un autre programme, ou l'accès en est "
                                                        "refusé.")
                                             .arg(file),
                                         context));
    case SQLITE_FULL:
        throw AppError(ErrorNumber::DiskFull,
                       withContext(QStringLiteral("Le disque est saturé : la base de données « %1 » ne peut plus "
                                                  "grandir.")
                                       .arg(file),
                                   context));
    case SQLITE_IOERR:
        throw AppError(ErrorNumber::DiskIoError, withContext(QStringLiteral("Erreur de lecture ou d'écriture sur le disque (%1).")
                                             .arg(engineText),
                                         context));
    case SQLITE_PERM:
    case SQLITE_AUTH:
        throw AppError(ErrorNumber::NoPermission, withContext(QStringLiteral("Vous n'avez pas les autorisations nécessaires sur « %1 ».")
                                             .arg(file),
                                         context));
    case SQLITE_NOMEM:
        throw AppError(ErrorNumber::OutOfMemory, withContext(QStringLiteral("Mémoire insuffisante."), context));
    case SQLITE_TOOBIG:
        throw AppError(ErrorNumber::FieldTooSmall, withContext(QStringLiteral("La donnée est trop grande pour le champ."), context));
    case SQLITE_MISMATCH:
        throw AppError(ErrorNumber::CriteriaTypeMismatch, withContext(QStringLiteral("Type de données incompatible dans l'expression du "
                                                        "critère."),
                                         context));
    case SQLITE_CONSTRAINT:
        throw AppError(ErrorNumber::ValidationRule, withContext(QStringLiteral("Une règle de validité de la table interdit cette valeur "
                                                        "(%1).")
                                             .arg(engineText),
                                         context));
    case SQLITE_INTERRUPT:
        // Only the limits of a request interrupt the engine (QueryGuard).
        throw AppError(ErrorNumber::QueryTooLong,
                       withContext(QStringLiteral("Cette recherche demandait trop de travail (plus de %1 secondes ou "
                                                  "plus de %2 millions de lignes à lire) : elle a été arrêtée. "
                                                  "Choisissez une recherche plus simple.")
                                       .arg(QueryLimits::kMilliseconds / 1000)
                                       .arg(QueryLimits::kRows / 1'000'000),
                                   context));
    default:
        throw AppError(ErrorNumber::EngineError, withContext(QStringLiteral("Erreur du moteur de base de données (code %1 : %2).")
                                                 .arg(resultCode)
                                                 .arg(engineText),
                                             context));
    }
}

std::shared_ptr<Database> Database::open(const QString &nativePath, Mode mode, const LockWait &wait,
                                         LocalDiskTest localDisk)
{
    if (!localDisk)
        localDisk = onLocalDisk;
    const QFileInfo info(nativePath);
    if (nativePath.isEmpty() || !info.exists() || info.isDir())
        throw AppError(ErrorNumber::DatabaseNotFound,
                       QStringLiteral("Le fichier de base de données « %1 » est introuvable.")
                           .arg(QDir::toNativeSeparators(nativePath)));
    if (isAccessFile(nativePath))
        throw AppError(ErrorNumber::AccessFormat,
                       QStringLiteral("Le fichier « %1 » est une base de données Microsoft Access : il doit d'abord "
                                      "être converti au format de La LUMA, programme fermé, par la commande :\n%2")
                           .arg(QDir::toNativeSeparators(nativePath), accessImportCommand()));
    // An empty file would be taken for a new, empty database: a data file cut
    // to nothing has lost its tables, which is damage.
    if (info.size() == 0)
        throw AppError(ErrorNumber::DatabaseDamaged,
                       QStringLiteral("La base de données « %1 » est vide : elle est endommagée.")
                           .arg(QDir::toNativeSeparators(nativePath)));

    sqlite3 *db = nullptr;
    const int access = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(QFile::encodeName(nativePath).constData(), &db, access | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) {
        // Keep the handle for the message, then release it whatever happens.
        struct Closer
        {
            sqlite3 *db;
            ~Closer() { sqlite3_close_v2(db); }
        } closer{db};
        if (db)
            sqlite3_extended_result_codes(db, 1);
        throwSqliteError(db, db ? sqlite3_extended_errcode(db) : rc, QDir::toNativeSeparators(nativePath));
    }
    sqlite3_extended_result_codes(db, 1);
    // Before the connection's own wait is set: the switch has a shorter one.
    const bool local = localDisk(nativePath);
    if (!local) {
        try {
            leaveWriteAheadLog(db, nativePath, mode);
        } catch (...) {
            sqlite3_close_v2(db);
            throw;
        }
    }
    auto busy = std::make_unique<BusyWait>();
    busy->wait = wait;
    sqlite3_busy_handler(db, onBusy, busy.get());
    // A name in double quotes that names no column must be an error, not the
    // text of the name: when another program renames a field, a search on it
    // would otherwise quietly compare every row with a constant.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    // Reads through a memory map rather than one system call per page: a
    // scan of the whole catalogue (a find on unindexed fields) is then
    // several times faster. A setting of this connection only, not of the
    // file. Only on a local disk: on a network share or a removable disk, an
    // error while reading mapped memory would end the program at once instead
    // of being reported.
    if (local)
        sqlite3_exec(db, "PRAGMA mmap_size = 268435456", nullptr, nullptr, nullptr);
    try {
        installJetFunctions(db);
        Schema schema = readSchema(db);
        return std::shared_ptr<Database>(new Database(db, nativePath, std::move(schema), std::move(busy)));
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
}

Database::Database(sqlite3 *db, QString path, Schema schema, std::unique_ptr<BusyWait> busy)
    : m_db(db), m_path(std::move(path)), m_schema(std::move(schema)), m_busy(std::move(busy))
{
}

Database::~Database()
{
    sqlite3_close_v2(m_db);
}

QueryGuard::QueryGuard(Database &db, const QueryLimits &limits)
    : m_db(db), m_outer(db.m_guard), m_limits(limits), m_start(workMs())
{
    scanned(); // the counters start from here
    db.m_guard = this;
    sqlite3_progress_handler(db.handle(), kProgressInstructions, &QueryGuard::progress, this);
}

QueryGuard::~QueryGuard()
{
    m_db.m_guard = m_outer;
    if (m_outer)
        sqlite3_progress_handler(m_db.handle(), kProgressInstructions, &QueryGuard::progress, m_outer);
    else
        sqlite3_progress_handler(m_db.handle(), 0, nullptr, nullptr);
}

// Rows stepped through by the connection's statements since the last look:
// the counters are read and set back to zero.
long long QueryGuard::scanned()
{
    long long rows = 0;
    for (sqlite3_stmt *stmt = sqlite3_next_stmt(m_db.handle(), nullptr); stmt;
         stmt = sqlite3_next_stmt(m_db.handle(), stmt)) {
        rows += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
        rows += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_AUTOINDEX, 1);
    }
    return rows;
}

int QueryGuard::progress(void *context)
{
    auto *guard = static_cast<QueryGuard *>(context);
    guard->m_rows += guard->scanned();
    return guard->m_rows > guard->m_limits.rows || guard->m_bytes > guard->m_limits.resultBytes
        || workMs() - guard->m_start > guard->m_limits.milliseconds;
}
