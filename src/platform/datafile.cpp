#include "platform/datafile.h"

#include "platform/apperror.h"
#include "platform/durablefile.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

[[noreturn]] void throwNotRegular(const QString &path)
{
    throw AppError(ErrorNumber::PathFileAccessError,
                   QStringLiteral("%1 n'est pas un fichier ordinaire : il n'est pas lu").arg(nameOf(path)));
}

QString sizeText(qint64 bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 Mo").arg(bytes / (1024 * 1024))
                                : QStringLiteral("%1 Ko").arg(bytes / 1024);
}

[[noreturn]] void throwTooLarge(const QString &path, qint64 limit)
{
    throw AppError(ErrorNumber::PathFileAccessError, QStringLiteral("%1 est trop gros (plus de %2) : il n'est pas lu")
                                             .arg(nameOf(path), sizeText(limit)));
}

// A failed open as every file of the data folder reports it, but for what is
// no ordinary file (a socket, a link loop, a folder).
[[noreturn]] void throwForOpen(int error, const QString &path)
{
    if (error == ENXIO || error == ELOOP || error == EISDIR)
        throwNotRegular(path);
    DurableFile::throwFileError(error, path);
}

} // namespace

namespace DataFile {

void checkDescriptor(int fd, const QString &nativePath, qint64 limit)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        throwNotRegular(nativePath);
    if (status.st_size > limit)
        throwTooLarge(nativePath, limit);
}

int openForReading(const QString &nativePath, qint64 limit)
{
    if (nativePath.isEmpty() || nativePath.contains(QChar(u'\0')))
        throw AppError(ErrorNumber::BadFileName, QStringLiteral("Nom ou numéro de fichier incorrect : %1").arg(nativePath));
    const QByteArray name = QFile::encodeName(nativePath);
    // A pipe or a device is not even opened when it is one already; the
    // check that counts is the one on the descriptor below.
    struct stat status {};
    if (::stat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
        throwNotRegular(nativePath);
    int fd;
    do {
        // Without O_NONBLOCK, opening a pipe waits for a writer, for ever.
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throwForOpen(errno, nativePath);
    try {
        checkDescriptor(fd, nativePath, limit);
    } catch (...) {
        ::close(fd);
        throw;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

QByteArray readAll(const QString &nativePath, qint64 limit)
{
    const int fd = openForReading(nativePath, limit);
    QByteArray bytes;
    char buffer[65536];
    int error = 0;
    // One byte past the limit tells a file that grew since it was checked.
    while (bytes.size() <= limit) {
        const ssize_t got = ::read(fd, buffer, size_t(std::min<qint64>(qint64(sizeof buffer), limit + 1 - bytes.size())));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            break;
        bytes.append(buffer, got);
    }
    ::close(fd);
    if (error != 0)
        throwForOpen(error, nativePath);
    if (bytes.size() > limit)
        throwTooLarge(nativePath, limit);
    return bytes;
}

std::unique_ptr<QFile> open(const QString &nativePath, qint64 limit)
{
    const int fd = openForReading(nativePath, limit);
    auto file = std::make_unique<QFile>(nativePath);
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(ErrorNumber::PathFileAccessError,
                       QStringLiteral("Erreur d'accès au chemin ou au fichier : %1").arg(nativePath));
    }
    return file;
}

void check(const QString &nativePath, qint64 limit)
{
    ::close(openForReading(nativePath, limit));
}

void reportSkipped(const QString &nativePath, const QString &reason)
{
    static QMutex mutex;
    static QSet<QString> reported;
    const QMutexLocker locker(&mutex);
    const QString line = nativePath + QStringLiteral(" : ") + reason;
    if (reported.contains(line))
        return;
    reported.insert(line);
    std::fprintf(stderr, "luma: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace DataFile
