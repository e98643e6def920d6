#include "platform/folderclock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <sys/stat.h>

std::optional<QDateTime> folderClock(const QString &nativeFolder)
{
    // Created new (never through a link), written so that the server stamps
    // it, closed so that the time read is the server's, not one the client
    // keeps for a file still open.
    QTemporaryFile probe(QDir(nativeFolder).filePath(QStringLiteral(".horloge-XXXXXX")));
    if (!probe.open())
        return std::nullopt;
    const QString name = probe.fileName();
    const bool written = probe.write("x", 1) == 1 && probe.flush();
    probe.close();
    struct stat status {};
    const bool seen = written && ::stat(QFile::encodeName(name).constData(), &status) == 0;
    probe.remove();
    if (!seen)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000);
}
