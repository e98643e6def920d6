#include "folderimport.h"

#include "data/database.h"
#include "platform/apperror.h"
#include "platform/durablefile.h"
#include "platform/lockwait.h"
#include "platform/ownership.h"
#include "platform/paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The converted files, and the copies made where links are not possible,
// are written under NAME.conversion-XXXXXX until they take their names.
const QString kTemporaryInfix = QStringLiteral(".conversion-");

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

std::optional<struct stat> statusOf(const QString &path)
{
    struct stat status {};
    if (::lstat(encoded(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

// How long a run waits for the lending lock: a kiosk holds it for the instant
// of a loan, so a lock held longer is another run's.
constexpr std::chrono::milliseconds kLendingLockWait{3000};

// The lock a kiosk takes for every loan and at start-up (EN-COURS/PRETS.LCK),
// held by the run while it lasts: a second run is refused, and a kiosk that
// wants to lend meanwhile waits, then says that another station is busy,
// having written nothing.
class LendingLock
{
public:
    explicit LendingLock(const QString &folder)
    {
        const QString lending = nativePath(folder + QStringLiteral("/EN-COURS"));
        const QString file = lending + QStringLiteral("/PRETS.LCK");
        if (!statusOf(lending))
            m_createdFolder = lending;
        if (!statusOf(file))
            m_createdFile = file;
        LockWait wait;
        wait.deadline = kLendingLockWait;
        try {
            DurableFile::makeFolder(lending);
            m_lock = DurableFile::FileLock::take(file, wait);
        } catch (const AppError &error) {
            if (error.number() == ErrorNumber::OtherKioskBusy)
                throw AppError(ErrorNumber::PermissionDenied,
                               QStringLiteral("Une autre conversion du dossier « %1 » est en cours : attendez "
                                              "qu'elle se termine.")
                                   .arg(native(folder)));
            takeBack();
            throw AppError(ErrorNumber::PermissionDenied, QStringLiteral("Impossible d'écrire dans le dossier « %1 » : %2")
                                                              .arg(native(folder), error.description()));
        }
    }

    // For a run that changes nothing: removes the lock file and its folder
    // when the run made them (still holding the lock).
    void takeBack()
    {
        if (!m_createdFile.isEmpty())
            ::unlink(encoded(m_createdFile).constData());
        if (!m_createdFolder.isEmpty())
            ::rmdir(encoded(m_createdFolder).constData());
    }

private:
    DurableFile::FileLock m_lock;
    QString m_createdFolder;
    QString m_createdFile;
};

enum class Kind { Access, Sqlite, Other };

// What the file is, by its header. A file that cannot be read stops the run:
// leaving it alone would hide an Access file that was never converted.
Kind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Le fichier « %1 » ne peut pas être lu : %2").arg(native(path), file.errorString()));
    const QByteArray head = file.read(16);
    file.close();
    if (isAccessFile(path))
        return Kind::Access;
    if (head == QByteArray("SQLite format 3\0", 16))
        return Kind::Sqlite;
    return Kind::Other;
}

bool sameContents(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 kChunk = 1 << 20;
    while (!first.atEnd()) {
        if (first.read(kChunk) != second.read(kChunk))
            return false;
    }
    return true;
}

// The original under another name: the same file (a hard link), or, where the
// file system has no links, the same bytes.
bool isSecondNameOf(const QString &original, const QString &candidate)
{
    const auto a = statusOf(original);
    const auto b = statusOf(candidate);
    if (!a || !b || !S_ISREG(b->st_mode))
        return false;
    if (a->st_dev == b->st_dev && a->st_ino == b->st_ino)
        return true;
    return sameContents(original, candidate);
}

// Renames without ever replacing what has the new name.
bool renameNoReplace(const QString &from, const QString &to)
{
    if (::renameat2(AT_FDCWD, encoded(from).constData(), AT_FDCWD, encoded(to).constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: the run holds the folder's lock.
    if (statusOf(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(encoded(from).constData(), encoded(to).constData()) == 0;
}

QString newTemporary(const QString &besides)
{
    QTemporaryFile temporary(besides + kTemporaryInfix + QStringLiteral("XXXXXX"));
    temporary.setAutoRemove(false);
    if (!temporary.open())
        throw AppError(ErrorNumber::PermissionDenied, QStringLiteral("Impossible d'écrire dans le dossier « %1 » : %2")
                                                          .arg(native(folderOf(besides)), temporary.errorString()));
    return temporary.fileName();
}

// A byte-for-byte copy of `source` named `target` (which must not exist),
// with the source's mode and dates, written to the disk before it takes its
// name.
void copyWithDates(const QString &source, const QString &target)
{
    const auto status = statusOf(source);
    const QString partial = newTemporary(target);
    bool ok = status.has_value();
    {
        QFile in(source);
        QFile out(partial);
        ok = ok && in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly);
        while (ok && !in.atEnd()) {
            const QByteArray chunk = in.read(1 << 20);
            ok = !chunk.isEmpty() && out.write(chunk) == chunk.size();
        }
        ok = ok && out.flush();
        if (ok) {
            ::fchmod(out.handle(), status->st_mode & 07777);
            const struct timespec times[2] = {status->st_atim, status->st_mtim};
            ok = ::futimens(out.handle(), times) == 0 && ::fsync(out.handle()) == 0;
        }
    }
    if (!ok || !renameNoReplace(partial, target)) {
        const int error = errno;
        QFile::remove(partial);
        throw AppError(ErrorNumber::PermissionDenied, QStringLiteral("Impossible de copier « %1 » en « %2 » : %3")
                                                          .arg(native(source), native(target), systemError(error)));
    }
}

// Gives the file a second name: a hard link, or a copy with its dates where
// the file system has no links (FAT, some network shares).
void giveSecondName(const QString &file, const QString &name)
{
    if (::link(encoded(file).constData(), encoded(name).constData()) == 0)
        return;
    const int error = errno;
    if (error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == EXDEV || error == ENOSYS) {
        copyWithDates(file, name);
        return;
    }
    throw AppError(error == EEXIST ? ErrorNumber::FileAlreadyExists : ErrorNumber::PermissionDenied,
                   QStringLiteral("Impossible de ranger « %1 » sous le nom « %2 » : %3")
                       .arg(native(file), native(name), systemError(error)));
}

// Where the original goes: ACCESS/NAME, or the next free NAME-2.MDB...; a
// name that is already the original's second name (left by an interrupted
// run) is taken up. Names are matched without regard to case.
struct ArchiveName
{
    QString path;
    bool exists = false;
};

ArchiveName archiveNameFor(const QString &original, const QString &accessFolder)
{
    const QString name = nameOf(original);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString candidate =
            n == 1 ? name : QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(extension);
        const QString path = nativePath(accessFolder + QLatin1Char('/') + candidate);
        if (!statusOf(path))
            return {path, false};
        if (isSecondNameOf(original, path))
            return {path, true};
    }
}

// One Access file on its way.
struct Conversion
{
    int index = 0; // in the result's files
    QString original;
    QString temporary;
    QString accessFolder;
    ArchiveName archive;
    bool archiveMade = false;
    bool placed = false;
};

// Removes the temporary files an interrupted run left in a folder.
void removeLeftovers(const QString &folder, QStringList &removed)
{
    static const QRegularExpression leftover(
        QStringLiteral("^(ALTEMARE|LUMA|COTATION|MEMBRES)(-[0-9]+)?\\.MDB\\.conversion-[A-Za-z0-9]{6}$"),
        QRegularExpression::CaseInsensitiveOption);
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (leftover.match(name).hasMatch() && QFile::remove(dir.filePath(name)))
            removed << native(dir.filePath(name));
    }
}

void checkFolder(const QString &folder)
{
    const auto status = statusOf(folder);
    if (status && !S_ISDIR(status->st_mode))
        throw AppError(ErrorNumber::PathNotFound,
                       QStringLiteral("« %1 » existe mais n'est pas un dossier : les fichiers Access d'origine ne "
                                      "peuvent pas y être rangés. Renommez-le, puis relancez la conversion.")
                           .arg(native(folder)));
}

class Run
{
public:
    Run(FolderImportResult &result, const FolderImportOptions &options) : m_result(result), m_options(options) {}

    void plan()
    {
        for (int i = 0; i < m_result.files.size(); ++i) {
            FolderFile &file = m_result.files[i];
            const auto status = statusOf(file.path);
            if (!status)
                continue;
            if (S_ISLNK(status->st_mode))
                throw AppError(ErrorNumber::BadFileName,
                               QStringLiteral("« %1 » est un lien symbolique : convertissez le fichier qu'il désigne, "
                                              "ou mettez ce fichier à sa place.")
                                   .arg(native(file.path)));
            if (!S_ISREG(status->st_mode))
                throw AppError(ErrorNumber::BadFileName,
                               QStringLiteral("« %1 » n'est pas un fichier.").arg(native(file.path)));
            switch (kindOf(file.path)) {
            case Kind::Sqlite: file.state = FolderFile::State::AlreadyConverted; continue;
            case Kind::Other: file.state = FolderFile::State::NotAccess; continue;
            case Kind::Access: break;
            }
            Conversion c;
            c.index = i;
            c.original = file.path;
            c.accessFolder = nativePath(folderOf(file.path) + QStringLiteral("/ACCESS"));
            checkFolder(c.accessFolder);
            c.archive = archiveNameFor(c.original, c.accessFolder);
            m_conversions.push_back(c);
        }
    }

    bool empty() const { return m_conversions.empty(); }

    void convert()
    {
        if (m_options.filesPlanned)
            m_options.filesPlanned(int(m_conversions.size()));
        for (Conversion &c : m_conversions) {
            FolderFile &file = m_result.files[c.index];
            if (m_options.fileStarted)
                m_options.fileStarted(c.original);
            QElapsedTimer timer;
            timer.start();
            try {
                c.temporary = newTemporary(c.original);
                ImportOptions import = m_options.import;
                import.refuseMissingRows = true;
                file.result = convertAccessFile(c.original, c.temporary, import);
                // Whoever could use the original (a kiosk under another
                // account) can use the converted file, and nobody else.
                struct stat original {};
                if (::stat(encoded(c.original).constData(), &original) != 0
                    || !takeOwnershipOf(c.temporary, original))
                    throw AppError(ErrorNumber::PermissionDenied,
                                   QStringLiteral("Impossible de donner au fichier converti les droits de l'original : "
                                                  "%1")
                                       .arg(systemError(errno)));
                DurableFile::flushToDisk(c.temporary);
            } catch (const AppError &error) {
                throw AppError(error.number(), QStringLiteral("La conversion de « %1 » a échoué : %2")
                                                   .arg(native(c.original), error.description()));
            }
            file.milliseconds = timer.elapsed();
        }
    }

    // Second names in ACCESS first, for every file, then the converted files
    // over the originals' names.
    void place()
    {
        for (Conversion &c : m_conversions) {
            if (!statusOf(c.accessFolder)) {
                step();
                if (!QDir().mkdir(c.accessFolder))
                    throw AppError(ErrorNumber::PermissionDenied,
                                   QStringLiteral("Impossible de créer le dossier « %1 ».").arg(native(c.accessFolder)));
                m_createdFolders.push_back(c.accessFolder);
            }
            if (!c.archive.exists) {
                step();
                giveSecondName(c.original, c.archive.path);
                c.archiveMade = true;
            }
            DurableFile::flushToDisk(c.archive.path);
        }
        for (Conversion &c : m_conversions) {
            step();
            if (::rename(encoded(c.temporary).constData(), encoded(c.original).constData()) != 0)
                throw AppError(ErrorNumber::PermissionDenied,
                               QStringLiteral("Impossible de mettre le fichier converti à la place de « %1 » : %2")
                                   .arg(native(c.original), systemError(errno)));
            c.placed = true;
            DurableFile::flushToDisk(c.original);
        }
        for (const Conversion &c : m_conversions) {
            FolderFile &file = m_result.files[c.index];
            file.state = FolderFile::State::Converted;
            file.archive = c.archive.path;
        }
        m_conversions.clear();
    }

    // Puts every file back as it was; what could not be is told.
    QStringList rollBack()
    {
        QStringList failures;
        for (auto c = m_conversions.rbegin(); c != m_conversions.rend(); ++c) {
            if (c->placed && !restore(*c))
                failures << QStringLiteral("L'original de « %1 » n'a pas pu être remis à sa place : il est dans "
                                           "« %2 ».")
                                .arg(native(c->original), native(c->archive.path));
            else if (!c->placed && c->archiveMade)
                ::unlink(encoded(c->archive.path).constData());
            if (!c->temporary.isEmpty() && !c->placed)
                QFile::remove(c->temporary);
        }
        for (auto folder = m_createdFolders.rbegin(); folder != m_createdFolders.rend(); ++folder)
            QDir().rmdir(*folder);
        m_conversions.clear();
        return failures;
    }

private:
    void step()
    {
        if (m_options.beforeStep)
            m_options.beforeStep(m_step);
        ++m_step;
    }

    static bool restore(const Conversion &c)
    {
        if (c.archiveMade)
            return ::rename(encoded(c.archive.path).constData(), encoded(c.original).constData()) == 0;
        // The second name was there before this run: it stays.
        try {
            const QString copy = newTemporary(c.original);
            QFile::remove(copy);
            giveSecondName(c.archive.path, copy);
            if (::rename(encoded(copy).constData(), encoded(c.original).constData()) == 0)
                return true;
            QFile::remove(copy);
        } catch (const AppError &) {
        }
        return false;
    }

    FolderImportResult &m_result;
    const FolderImportOptions &m_options;
    std::vector<Conversion> m_conversions;
    std::vector<QString> m_createdFolders;
    int m_step = 0;
};

} // namespace

int FolderImportResult::converted() const
{
    int count = 0;
    for (const FolderFile &file : files)
        count += file.state == FolderFile::State::Converted ? 1 : 0;
    return count;
}

FolderImportResult importDataFolder(const QString &dataFolder, const FolderImportOptions &options)
{
    const QFileInfo info(dataFolder);
    if (!info.isDir())
        throw AppError(ErrorNumber::PathNotFound,
                       QStringLiteral("Le dossier de données « %1 » n'existe pas.").arg(native(dataFolder)));
    FolderImportResult result;
    // As the program, started in the data folder, sees it.
    result.dataFolder = info.canonicalFilePath();
    result.schoolFolder = schoolFolder(result.dataFolder);
    const auto add = [&](const QString &path) {
        FolderFile file;
        file.path = nativePath(path);
        result.files.append(file);
    };
    add(result.schoolFolder + QStringLiteral("/ALTEMARE.MDB"));
    for (const char *name : {"LUMA.MDB", "COTATION.MDB", "MEMBRES.MDB"})
        add(result.dataFolder + QLatin1Char('/') + QLatin1String(name));
    // A folder without any of the databases is no kiosk's (the wrong folder
    // given): nothing to keep others off, and nothing is created there.
    std::optional<LendingLock> lock;
    if (std::any_of(result.files.cbegin(), result.files.cend(),
                    [](const FolderFile &file) { return statusOf(file.path).has_value(); }))
        lock.emplace(result.dataFolder);

    for (const QString &folder : {result.dataFolder, result.schoolFolder}) {
        removeLeftovers(folder, result.removedLeftovers);
        removeLeftovers(nativePath(folder + QStringLiteral("/ACCESS")), result.removedLeftovers);
    }

    Run run(result, options);
    try {
        run.plan();
        if (run.empty()) {
            if (lock)
                lock->takeBack();
            return result;
        }
        run.convert();
        run.place();
    } catch (const AppError &error) {
        const QStringList failures = run.rollBack();
        if (lock)
            lock->takeBack();
        throw AppError(error.number(), error.description() + QLatin1Char('\n')
                                           + (failures.isEmpty() ? QStringLiteral("Aucun fichier n'a été modifié : "
                                                                                  "tous sont comme avant la conversion.")
                                                                 : failures.join(QLatin1Char('\n'))));
    } catch (...) {
        run.rollBack();
        if (lock)
            lock->takeBack();
        throw;
    }
    return result;
}
