#pragma once

// Header only: files read, written and compared whole by the tests.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

#include <map>

// A file's bytes; empty when it cannot be read.
inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray fileHash(const QString &path)
{
    return QCryptographicHash::hash(fileContents(path), QCryptographicHash::Sha256);
}

// Writes the file whole; false when it could not be.
inline bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every entry under a folder, by its path from there: a file by a digest of
// its bytes (and, when asked, its modification time to the nanosecond), a
// folder by its name alone; a link is not followed.
using FileTree = std::map<QString, QByteArray>;
inline FileTree fileTree(const QString &root, bool withTimes = false)
{
    FileTree entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat status {};
        ::lstat(QFile::encodeName(path).constData(), &status);
        QByteArray state = S_ISDIR(status.st_mode) ? QByteArray("folder") : fileHash(path);
        if (withTimes && !S_ISDIR(status.st_mode))
            state += ' ' + QByteArray::number(qint64(status.st_mtim.tv_sec)) + '.' +
                     QByteArray::number(qint64(status.st_mtim.tv_nsec));
        entries[QDir(root).relativeFilePath(path)] = state;
    }
    return entries;
}

// What changed between two trees, a line per entry; empty when nothing did.
inline QString treeDifferences(const FileTree &before, const FileTree &after)
{
    QStringList lines;
    for (const auto &[path, state] : before) {
        const auto found = after.find(path);
        if (found == after.end())
            lines << QStringLiteral("gone: ") + path;
        else if (found->second != state)
            lines << QStringLiteral("changed: ") + path;
    }
    for (const auto &[path, state] : after)
        if (!before.count(path))
            lines << QStringLiteral("new: ") + path;
    return lines.join(u'\n');
}

// In a test function: fails it when two trees differ, saying how.
#define COMPARE_TREES(after, before)                                                                             \
    do {                                                                                                          \
        const QString changes_ = treeDifferences(before, after);                                                  \
        QVERIFY2(changes_.isEmpty(), qPrintable(changes_));                                                       \
    } while (false)
