#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;

// Files of the data folder opened for reading. Anyone who can write the
// folder may leave there a pipe, a device, a link to /dev/zero or a file of
// gigabytes under the name of a request or a picture: such a file must
// neither block the kiosk nor fill its memory. Every read of the data folder
// therefore goes through here: the file is opened without blocking, then the
// open descriptor itself must be a regular file (a link to one is fine) of at
// most `limit` bytes. Anything else throws AppError 75 with a French
// description naming the file.
namespace DataFile {

// Request files, intents, the colour file.
inline constexpr qint64 kTextLimit = 64 * 1024;
// Pictures and sounds.
inline constexpr qint64 kMediaLimit = 32 * 1024 * 1024;

// Throws unless the open descriptor is a regular file of at most `limit` bytes.
void checkDescriptor(int fd, const QString &nativePath, qint64 limit);

// The descriptor of the checked file, open for reading (blocking reads, as a
// regular file has them); the caller closes it. Errors of the open itself
// keep the platform's numbers (53 file not found, 70 permission denied...).
int openForReading(const QString &nativePath, qint64 limit);

// The whole checked file.
QByteArray readAll(const QString &nativePath, qint64 limit);

// The checked file as a QFile open for reading, for readers that want a
// device (pictures).
std::unique_ptr<QFile> open(const QString &nativePath, qint64 limit);

// Checks the file and lets it go again, for a reader that opens the path
// itself (the sound player): what it opens an instant later is what was
// checked, short of a file swapped in between by someone who can write the
// folder anyway.
void check(const QString &nativePath, qint64 limit);

// One line on the standard error for a file skipped where no message box may
// be shown (a picture or a sound a child meets), once per file and reason
// for the whole run.
void reportSkipped(const QString &nativePath, const QString &reason);

} // namespace DataFile
