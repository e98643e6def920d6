#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

// Two names are the same name when they differ only in case (over all of
// Unicode) or in the way their accents are composed: a folder copied from
// Windows may carry "Éveil" where the program writes "ÉVEIL" or "éveil".
bool sameNameIgnoringCase(const QString &a, const QString &b)
{
    if (a.compare(b, Qt::CaseInsensitive) == 0)
        return true;
    return a.normalized(QString::NormalizationForm_C)
               .compare(b.normalized(QString::NormalizationForm_C), Qt::CaseInsensitive)
        == 0;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool entryExists(const QString &path)
{
    // A dangling symbolic link is still a name that exists in its folder.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The entry of the folder that stands for the component: the name as written
// when it exists, otherwise the first name (in code point order) equal to it
// without regard to case; an empty string when nothing matches.
QString matchEntry(const QString &folder, const QString &component)
{
    if (entryExists(joinPath(folder, component)))
        return component;

    const QDir dir(folder);
    QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                        QDir::NoSort);
    std::sort(entries.begin(), entries.end());
    for (const QString &entry : std::as_const(entries)) {
        if (sameNameIgnoringCase(entry, component))
            return entry;
    }
    return {};
}

QString parentOf(const QString &path)
{
    if (path == QLatin1String("/"))
        return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

bool hasDrive(const QString &path)
{
    return path.size() >= 2 && path[1] == u':' && path[0].isLetter() && path[0].unicode() < 128;
}

} // namespace

QString nativePath(const QString &windowsPath)
{
    if (windowsPath.isEmpty())
        return {};

    QString path = windowsPath;
    path.replace(u'\\', u'/');
    if (hasDrive(path))
        path = u'/' + path.mid(2);

    const bool trailingSeparator = path.endsWith(u'/') && path.size() > 1;
    QString resolved = path.startsWith(u'/') ? QStringLiteral("/") : QDir::currentPath();

    const QStringList components = path.split(u'/', Qt::SkipEmptyParts);
    bool matching = true; // false once a component names nothing: the rest is kept as written
    for (const QString &component : components) {
        if (component == QLatin1String("."))
            continue;
        if (component == QLatin1String("..")) {
            resolved = parentOf(resolved);
            continue;
        }
        if (matching) {
            const QString entry = matchEntry(resolved, component);
            if (!entry.isEmpty()) {
                resolved = joinPath(resolved, entry);
                continue;
            }
            matching = false;
        }
        resolved = joinPath(resolved, component);
    }

    if (trailingSeparator && !resolved.endsWith(u'/'))
        resolved += u'/';
    return resolved;
}

bool isNormalFile(const QString &windowsPath)
{
    if (windowsPath.isEmpty())
        return false;
    const QFileInfo info(nativePath(windowsPath));
    return info.isFile() && !info.fileName().startsWith(u'.');
}

bool isFolder(const QString &windowsPath)
{
    if (windowsPath.isEmpty())
        return false;
    return QFileInfo(nativePath(windowsPath)).isDir();
}

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (hasDrive(name))
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == QChar(u'\0'))
            return false;
    }
    return true;
}
