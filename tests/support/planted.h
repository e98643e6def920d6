#pragma once

// Odd and hostile files that anyone who can write a data folder may leave
// under a name the program reads.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaType>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

enum class Planted {
    Fifo,         // a named pipe: opened for reading, it waits for a writer for ever
    DeviceLink,   // a link to /dev/zero: endless bytes
    Folder,       // a folder under a file's name
    TooBigText,   // a regular file one byte over the limit of text files
    TooBigMedia,  // a (sparse) regular file one byte over the limit of pictures and sounds
    LinkToRegular, // a link to a small regular file: the one kind that is read
};
Q_DECLARE_METATYPE(Planted)

constexpr qint64 kPlantedTextLimit = 64 * 1024;
constexpr qint64 kPlantedMediaLimit = 32 * 1024 * 1024;

// Puts the odd file at the path; false when it could not be made.
inline bool plant(Planted kind, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    switch (kind) {
    case Planted::Fifo:
        return ::mkfifo(name.constData(), 0666) == 0;
    case Planted::DeviceLink:
        return ::symlink("/dev/zero", name.constData()) == 0;
    case Planted::Folder:
        return QDir().mkpath(path);
    case Planted::TooBigText:
    case Planted::TooBigMedia: {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0)
            return false;
        const off_t size = (kind == Planted::TooBigText ? kPlantedTextLimit : kPlantedMediaLimit) + 1;
        // Something readable at the start, as a real file would have.
        const bool ok = ::write(fd, "BM", 2) == 2 && ::ftruncate(fd, size) == 0;
        ::close(fd);
        return ok;
    }
    case Planted::LinkToRegular: {
        const QString target = path + QStringLiteral(".target");
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly) || file.write("a,b,c,d\r\n") != 9)
            return false;
        file.close();
        return ::symlink(QFile::encodeName(target).constData(), name.constData()) == 0;
    }
    }
    return false;
}
