#include "platform/durablefile.h"

#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/lockwait.h"
#include "platform/sharedaccess.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

[[noreturn]] void throwForErrno(int error, const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    switch (error) {
    case ENOENT:
        if (!QFileInfo(folderOf(path)).isDir())
            throw AppError(ErrorNumber::PathNotFound, QStringLiteral("Chemin d'accès introuvable : %1").arg(path));
        throw AppError(ErrorNumber::FileNotFound, QStringLiteral("Fichier introuvable : %1").arg(name));
    case EEXIST:
        throw AppError(ErrorNumber::FileAlreadyExists, QStringLiteral("Ce fichier existe déjà : %1").arg(name));
    case ENOTDIR:
        throw AppError(ErrorNumber::PathNotFound, QStringLiteral("Chemin d'accès introuvable : %1").arg(path));
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        throw AppError(ErrorNumber::PermissionDenied, QStringLiteral("Permission refusée : %1").arg(path));
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        throw AppError(ErrorNumber::DiskFull, QStringLiteral("Disque plein : %1").arg(path));
    case ENAMETOOLONG:
    case EINVAL:
        throw AppError(ErrorNumber::BadFileName, QStringLiteral("Nom ou numéro de fichier incorrect : %1").arg(path));
    case EISDIR:
        throw AppError(ErrorNumber::PathFileAccessError, QStringLiteral("Erreur d'accès au chemin ou au fichier : %1").arg(path));
    case ELOOP:
        throw AppError(ErrorNumber::PathFileAccessError,
                       QStringLiteral("Erreur d'accès au chemin ou au fichier : %1 est un lien "
                                      "(aucun fichier n'est écrit à travers un lien)").arg(path));
    case EMFILE:
    case ENFILE:
        throw AppError(ErrorNumber::TooManyFiles, QStringLiteral("Trop de fichiers ouverts"));
    default:
        throw AppError(ErrorNumber::DeviceIoError,
                       QStringLiteral("Erreur d'entrée/sortie (%1) : %2").arg(QString::fromLocal8Bit(strerror(error)), path));
    }
}

QByteArray encodedPath(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        throw AppError(ErrorNumber::BadFileName, QStringLiteral("Nom ou numéro de fichier incorrect : %1").arg(path));
    return QFile::encodeName(path);
}

// A file descriptor closed whatever happens.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    // Gives the descriptor up to another owner.
    int release() { return std::exchange(m_fd, -1); }
    // Closes now; returns the errno of a failed close, 0 otherwise.
    int close()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

int openRetrying(const QByteArray &name, int flags)
{
    int fd;
    do {
        fd = ::open(name.constData(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int openOrThrow(const QString &path, int flags)
{
    const QByteArray name = encodedPath(path);
    const bool writing = (flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT) != 0;
    if (!writing) {
        const int fd = openRetrying(name, flags);
        if (fd < 0)
            throwForErrno(errno, path);
        return fd;
    }
    // A file is never written through a link: a link named like one of ours
    // must not make us truncate or overwrite what it points to.
    flags |= O_NOFOLLOW;
    // A file this call creates is shared like the data folder; one that
    // exists keeps what it has. Opening first without O_CREAT tells them apart.
    for (int attempt = 0;; ++attempt) {
        const bool creating = (flags & O_CREAT) != 0 && ((flags & O_EXCL) != 0 || attempt % 2 == 1);
        const int fd = openRetrying(name, creating ? flags | O_EXCL : flags & ~O_CREAT);
        if (fd >= 0) {
            if (creating)
                SharedAccess::apply(fd, false, SharedAccess::forNewIn(folderOf(path)));
            return fd;
        }
        // Gone or made by another program in between: try the other way.
        const bool raced = (flags & O_CREAT) != 0 && (flags & O_EXCL) == 0 &&
                           (creating ? errno == EEXIST : errno == ENOENT);
        if (!raced || attempt > 100)
            throwForErrno(errno, path);
    }
}

// Writes everything or returns the errno of the failure.
int writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return ENOSPC;
        data += written;
        left -= written;
    }
    return 0;
}

int syncFile(int fd)
{
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    // A file system without fsync (some network or virtual ones) is not a failure.
    return result == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
}

// Tries once to take the exclusive lock of a whole file: 0, or the errno
// (EAGAIN or EACCES: another program holds it). POSIX record locks are what
// network file systems carry to the server.
int tryLockFile(int fd)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int result;
    do {
        result = ::fcntl(fd, F_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

bool heldElsewhere(int error)
{
    return error == EAGAIN || error == EACCES;
}

// Takes the lock, polling rather than blocking in the system: a lock another
// program keeps must not freeze this one (LockWait).
// True when the open file `fd` is the one the path names now.
bool isFileAt(int fd, const QString &path)
{
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::stat(encodedPath(path).constData(), &named) == 0
        && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

void lockWaiting(int fd, const LockWait &wait, const QString &path)
{
    int error = 0;
    waitForLock([&] { return !heldElsewhere(error = tryLockFile(fd)); }, wait, path);
    if (error != 0)
        throwForErrno(error, path);
}

// Reads up to `limit` + 1 bytes: a byte past the limit tells the caller that
// the file holds more.
QByteArray readFrom(int fd, qint64 limit = std::numeric_limits<qint64>::max() - 1)
{
    QByteArray bytes;
    char buffer[65536];
    off_t offset = 0;
    while (bytes.size() <= limit) {
        const size_t wanted = size_t(std::min<qint64>(qint64(sizeof buffer), limit + 1 - bytes.size()));
        const ssize_t got = ::pread(fd, buffer, wanted, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bytes.append(buffer, got);
        offset += got;
    }
    return bytes;
}

} // namespace

namespace DurableFile {

void throwFileError(int error, const QString &nativePath)
{
    throwForErrno(error, nativePath);
}

void syncFolder(const QString &nativeFolder)
{
    int fd;
    do {
        fd = ::open(QFile::encodeName(nativeFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return;
    syncFile(fd);
    ::close(fd);
}

void flushToDisk(const QString &nativePath)
{
    int fd;
    do {
        fd = ::open(QFile::encodeName(nativePath).constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        syncFile(fd);
        ::close(fd);
    }
    syncFolder(folderOf(nativePath));
}

bool appendLocked(const QString &nativePath, const QByteArray &bytes,
                  const std::function<qint64(const QByteArray &content)> &keep, const LockWait &wait)
{
    Descriptor fd(openOrThrow(nativePath, O_RDWR | O_CREAT));
    lockWaiting(fd.get(), wait, nativePath);
    int error = 0;
    // The lock goes with the descriptor, whatever happens below. (Only a
    // regular file has a content to look at: a device is written to as it is.)
    struct stat status {};
    const bool regular = ::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode);
    const QByteArray content = regular ? readFrom(fd.get()) : QByteArray();
    const qint64 kept = keep(content);
    if (kept < 0)
        return false;
    const off_t sizeBefore = off_t(std::min<qint64>(kept, content.size()));
    if (sizeBefore < content.size() && ::ftruncate(fd.get(), sizeBefore) != 0)
        throwForErrno(errno, nativePath);
    // New lines never join a line another program left without its end.
    const bool lineEnd = sizeBefore > 0 && !content.left(sizeBefore).endsWith("\r\n");
    error = regular && ::lseek(fd.get(), sizeBefore, SEEK_SET) < 0
                ? errno
                : writeAll(fd.get(), lineEnd ? QByteArrayLiteral("\r\n") + bytes : bytes);
    if (error == 0)
        error = syncFile(fd.get());
    if (error != 0) {
        // Only this call's bytes go: the lock kept everyone else out.
        if (regular && ::ftruncate(fd.get(), sizeBefore) == 0)
            syncFile(fd.get());
        fd.close();
        throwForErrno(error, nativePath);
    }
    error = fd.close();
    if (error != 0)
        throwForErrno(error, nativePath);
    return true;
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileLock::FileLock(FileLock &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileLock &FileLock::operator=(FileLock &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FileLock FileLock::take(const QString &nativePath, const LockWait &wait)
{
    auto fd = std::make_unique<Descriptor>(openOrThrow(nativePath, O_RDWR | O_CREAT));
    int error = 0;
    waitForLock(
        [&] {
            error = tryLockFile(fd->get());
            if (heldElsewhere(error))
                return false;
            if (error != 0 || isFileAt(fd->get(), nativePath))
                return true;
            // The lock counts only on the file still at that name: one
            // removed or replaced while this waited (by whoever made it) would
            // let another program lock the new file at the same time.
            fd = std::make_unique<Descriptor>(openOrThrow(nativePath, O_RDWR | O_CREAT));
            return false;
        },
        wait, nativePath);
    if (error != 0)
        throwForErrno(error, nativePath);
    return FileLock(fd->release());
}

HeldFile::~HeldFile()
{
    release();
}

HeldFile::HeldFile(HeldFile &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

HeldFile &HeldFile::operator=(HeldFile &&other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

void HeldFile::release()
{
    if (m_fd >= 0)
        ::close(m_fd); // lets the lock go
    m_fd = -1;
}

HeldFile HeldFile::create(const QString &nativePath, const QByteArray &bytes)
{
    Descriptor fd(openOrThrow(nativePath, O_RDWR | O_CREAT | O_EXCL));
    int error = tryLockFile(fd.get());
    if (error == 0)
        error = writeAll(fd.get(), bytes);
    if (error == 0)
        error = syncFile(fd.get());
    if (error != 0) {
        ::unlink(encodedPath(nativePath).constData());
        fd.close();
        throwForErrno(error, nativePath);
    }
    syncFolder(folderOf(nativePath));
    return HeldFile(fd.release(), nativePath);
}

HeldFile HeldFile::claim(const QString &nativePath)
{
    Descriptor fd(::open(encodedPath(nativePath).constData(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0 || tryLockFile(fd.get()) != 0)
        return {};
    return HeldFile(fd.release(), nativePath);
}

HeldFile HeldFile::claim(const QString &nativePath, const LockWait &wait)
{
    Descriptor fd(::open(encodedPath(nativePath).constData(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0)
        return {};
    lockWaiting(fd.get(), wait, nativePath);
    return HeldFile(fd.release(), nativePath);
}

QByteArray HeldFile::content() const
{
    if (m_fd < 0)
        return {};
    // Stored by a program, so small: a pipe or /dev/zero in its place is
    // refused, not read for ever.
    DataFile::checkDescriptor(m_fd, m_path, DataFile::kTextLimit);
    const QByteArray bytes = readFrom(m_fd, DataFile::kTextLimit);
    if (bytes.size() > DataFile::kTextLimit)
        DataFile::checkDescriptor(m_fd, m_path, DataFile::kTextLimit); // grew meanwhile: says so
    return bytes.left(DataFile::kTextLimit);
}

void HeldFile::done()
{
    if (m_fd < 0)
        return;
    // Not synced: a removal lost with the power leaves a done file, which
    // the next settlement finds done (its record or its entry already there)
    // and removes again.
    ::unlink(encodedPath(m_path).constData());
    release();
}

qint64 sizeBeforeAppend(const QString &nativePath)
{
    struct stat status {};
    if (::lstat(encodedPath(nativePath).constData(), &status) != 0) {
        if (errno == ENOENT && QFileInfo(folderOf(nativePath)).isDir())
            return 0;
        throwForErrno(errno, nativePath);
    }
    if (S_ISLNK(status.st_mode))
        throwForErrno(ELOOP, nativePath);
    if (S_ISDIR(status.st_mode))
        throwForErrno(EISDIR, nativePath);
    // A pipe or a socket would swallow the lines.
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))
        throw AppError(ErrorNumber::PathFileAccessError, QStringLiteral("Erreur d'accès au chemin ou au fichier : "
                                                            "%1 n'est pas un fichier")
                                                 .arg(nativePath));
    return S_ISREG(status.st_mode) ? qint64(status.st_size) : 0;
}

void makeFolder(const QString &nativePath)
{
    const QByteArray name = encodedPath(nativePath);
    struct stat status {};
    for (int attempt = 0;; ++attempt) {
        if (::lstat(name.constData(), &status) == 0) {
            if (S_ISDIR(status.st_mode))
                return;
            // A link would take our files elsewhere.
            throwForErrno(S_ISLNK(status.st_mode) ? ELOOP : ENOTDIR, nativePath);
        }
        if (errno != ENOENT)
            throwForErrno(errno, nativePath);
        const auto model = SharedAccess::forNewIn(folderOf(nativePath));
        if (::mkdir(name.constData(), model ? model->folderMode() & 0777 : 0777) == 0)
            break;
        // Made by another kiosk in between: look again.
        if (errno != EEXIST || attempt > 100)
            throwForErrno(errno, nativePath);
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        SharedAccess::apply(fd, true, SharedAccess::forNewIn(folderOf(nativePath)));
        ::close(fd);
    }
    syncFolder(folderOf(nativePath));
}

void writeFileAtomically(const QString &nativePath, const QByteArray &bytes)
{
    const QString folder = folderOf(nativePath);
    if (!QFileInfo(folder).isDir())
        throwForErrno(ENOENT, nativePath);

    // A fresh temporary name beside the file, so the rename stays on one file system.
    QString temporary;
    int descriptor = -1;
    for (int attempt = 0; descriptor < 0; ++attempt) {
        // The path is joined, never used as a format: a "%1" in it stays as it is.
        temporary = nativePath + QStringLiteral(".%1-%2.tmp").arg(::getpid()).arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        const QByteArray name = encodedPath(temporary);
        descriptor = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor < 0 && (errno != EEXIST || attempt > 100))
            throwForErrno(errno, nativePath);
    }

    Descriptor fd(descriptor);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    // The new content is shared as the file it replaces was, or as the data
    // folder is when there was none.
    struct stat replaced {};
    if (::lstat(encodedPath(nativePath).constData(), &replaced) == 0 && S_ISREG(replaced.st_mode))
        SharedAccess::apply(fd.get(), false, SharedAccess::Model{replaced.st_gid, mode_t(replaced.st_mode & 0777)});
    else
        SharedAccess::apply(fd.get(), false, SharedAccess::forNewIn(folder));
    int error = writeAll(fd.get(), bytes);
    if (error == 0)
        error = syncFile(fd.get());
    const int closeError = fd.close();
    if (error == 0)
        error = closeError;
    // A link in the file's place is someone's: it is not replaced (rename
    // would not follow it, but would drop it).
    struct stat target {};
    if (error == 0 && ::lstat(encodedPath(nativePath).constData(), &target) == 0 && S_ISLNK(target.st_mode))
        error = ELOOP;
    if (error == 0 && ::rename(temporaryName.constData(), encodedPath(nativePath).constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporaryName.constData());
        throwForErrno(error, nativePath);
    }

    // Make the rename itself durable.
    syncFolder(folder);
}

} // namespace DurableFile
