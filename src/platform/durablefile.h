#pragma once

#include "platform/lockwait.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Files of the data folder that must survive a crash or a power cut, and that
// several kiosks share: locks, files held while a loan is under way, files
// replaced whole, journals appended to. What a call writes reaches the disk
// (the file, and the folder entry of a new or renamed file) before it
// returns; a lock file's content does not matter, and a removal may be lost.
// Errors are thrown as AppError with the platform's numbers: 53 file not
// found, 76 path not found, 70 permission denied, 61 disk full, 52 bad file
// name, 75 a link or no regular file where a file is written.
namespace DurableFile {

// Throws the AppError of a failed system call on a file (errno), with the
// platform's number and a French description naming the file.
[[noreturn]] void throwFileError(int error, const QString &nativePath);

// Writes a folder's entries to the disk, so that a file created, renamed or
// removed in it stays so after a power cut. Best effort: a folder that cannot
// be opened, or a file system without the call, is left as it is.
void syncFolder(const QString &nativeFolder);

// Writes a file's blocks, then its folder's entries, to the disk, for a file
// written by other means (a database built by SQLite) before it takes its
// name. Best effort, as syncFolder().
void flushToDisk(const QString &nativePath);

// Appends bytes to a file that other programs append to as well, under an
// exclusive lock of the whole file (waiting for it as `wait` says: 3218
// past its deadline), then flushes it to disk.
// Under the lock, `keep` sees the file's content and returns how many of its
// bytes to keep before the new ones (to cut the torn tail this program left
// when it died in the middle of a write), or -1 to write nothing (the bytes
// are there already). When what is kept does not end with CR LF, a CR LF goes
// first. A failed write removes only the bytes of this call. Returns whether
// the bytes were written.
//
// Files written by this namespace are never reached through a link (the
// error is 75), and a file or folder it creates is shared as the data folder
// is (SharedAccess).
bool appendLocked(const QString &nativePath, const QByteArray &bytes,
                  const std::function<qint64(const QByteArray &content)> &keep, const LockWait &wait = {});

// A small file that says "this is under way": created new and locked by this
// program until done() or destruction; a program that dies leaves it behind,
// unlocked. claim() takes such a file of another program for recovery, only
// when no living program holds it.
class HeldFile
{
public:
    HeldFile() = default;
    ~HeldFile();
    HeldFile(HeldFile &&other) noexcept;
    HeldFile &operator=(HeldFile &&other) noexcept;

    // Creates the file (it must not exist), locks it, writes the bytes and
    // flushes the file and its folder.
    static HeldFile create(const QString &nativePath, const QByteArray &bytes);
    // Locks an existing file; an empty HeldFile when it is gone or another
    // program holds it.
    static HeldFile claim(const QString &nativePath);
    // The same, waiting for another program's lock as `wait` says (3218 past
    // its deadline).
    static HeldFile claim(const QString &nativePath, const LockWait &wait);

    bool isHeld() const { return m_fd >= 0; }
    // What the file holds; throws AppError 75 when it is no regular file or
    // holds more than 64 KB.
    QByteArray content() const;
    // Removes the file, then lets it go.
    void done();

private:
    HeldFile(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
    void release();

    int m_fd = -1;
    QString m_path;
};

// The exclusive lock of a lock file (created when missing), held from take()
// until destruction, waiting for any other program that holds it as `wait`
// says (3218 past its deadline). The lock goes with the program: one that
// dies lets it go.
class FileLock
{
public:
    FileLock() = default;
    ~FileLock();
    FileLock(FileLock &&other) noexcept;
    FileLock &operator=(FileLock &&other) noexcept;

    static FileLock take(const QString &nativePath, const LockWait &wait = {});

private:
    explicit FileLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// The size of a file about to be appended to (0 when it does not exist yet),
// taken before anything else is written: a link, a folder, a pipe or a
// socket in its place is refused.
qint64 sizeBeforeAppend(const QString &nativePath);

// Creates a folder for this program's files (an existing one is fine); a
// link or a file in its place is refused.
void makeFolder(const QString &nativePath);

// Replaces the file's content with the given bytes (written to a temporary
// file beside it, then renamed over it). The new file keeps the group and
// mode of the one it replaces; a link in its place is refused.
void writeFileAtomically(const QString &nativePath, const QByteArray &bytes);

} // namespace DurableFile
