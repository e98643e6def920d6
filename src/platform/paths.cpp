#include "platform/paths.h"

#include "platform/apperror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool entryExists(const QString &path)
{
    struct stat status {};
    // lstat: a dangling symbolic link is still a name that exists in its folder.
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

// The form in which two names compare: case folded over all of Unicode, with
// accents composed, so that "ÉVEIL", "éveil" and a decomposed "e\u0301veil"
// (as some copying tools write it) are one name.
QString comparisonKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

bool isAscii(const char *bytes, std::size_t size)
{
    return std::all_of(bytes, bytes + size, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool equalAsciiIgnoringCase(const char *a, const char *b, std::size_t size)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < size; ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The entry of the folder that stands for the component: the name as written
// when it exists, otherwise the first name (in code point order) equal to it
// without regard to case; an empty string when nothing matches.
//
// The folder is read with readdir and plain ASCII names are compared as bytes:
// a folder of a hundred thousand covers is searched in milliseconds, which
// matters since a cover is looked up after each digit typed.
QString matchEntry(const QString &folder, const QString &component, FolderListings *listings)
{
    if (entryExists(joinPath(folder, component)))
        return component;
    if (listings)
        return listings->match(folder, component);

    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return {};

    const QString key = comparisonKey(component);
    const QByteArray asciiComponent = component.toLatin1();
    const bool componentIsAscii = isAscii(asciiComponent.constData(), std::size_t(asciiComponent.size()))
        && QString::fromLatin1(asciiComponent) == component;

    QString best;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        const std::size_t size = std::strlen(name);
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        bool matches;
        if (componentIsAscii && isAscii(name, size))
            matches = size == std::size_t(asciiComponent.size())
                && equalAsciiIgnoringCase(name, asciiComponent.constData(), size);
        else
            matches = comparisonKey(QFile::decodeName(name)) == key;
        if (!matches)
            continue;
        const QString candidate = QFile::decodeName(name);
        if (best.isEmpty() || candidate < best)
            best = candidate;
    }
    ::closedir(dir);
    return best;
}

// The comparison key of a name read from a folder; plain ASCII names, the
// common case, without the cost of normalising.
QString entryKey(const char *name)
{
    const std::size_t size = std::strlen(name);
    if (!isAscii(name, size))
        return comparisonKey(QFile::decodeName(name));
    QByteArray lower(name, qsizetype(size));
    for (char &c : lower)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return QString::fromLatin1(lower);
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

struct FolderListings::Data
{
    // Folder -> comparison key -> the entry chosen for it.
    QHash<QString, QHash<QString, QString>> folders;
};

FolderListings::FolderListings() : d(std::make_unique<Data>()) {}

FolderListings::~FolderListings() = default;

QString FolderListings::match(const QString &nativeFolder, const QString &name)
{
    auto folder = d->folders.find(nativeFolder);
    if (folder == d->folders.end()) {
        QHash<QString, QString> entries;
        if (DIR *dir = ::opendir(QFile::encodeName(nativeFolder).constData())) {
            while (const dirent *entry = ::readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                    continue;
                // As matchEntry: the first name in code point order.
                const QString candidate = QFile::decodeName(entry->d_name);
                QString &chosen = entries[entryKey(entry->d_name)];
                if (chosen.isEmpty() || candidate < chosen)
                    chosen = candidate;
            }
            ::closedir(dir);
        }
        folder = d->folders.insert(nativeFolder, entries);
    }
    return folder->value(comparisonKey(name));
}

QString nativePath(const QString &windowsPath, FolderListings *listings)
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
            const QString entry = matchEntry(resolved, component, listings);
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

QString normalFilePath(const QString &windowsPath, FolderListings *listings)
{
    if (windowsPath.isEmpty())
        return {};
    const QString native = nativePath(windowsPath, listings);
    const QFileInfo info(native);
    return info.isFile() && !info.fileName().startsWith(u'.') ? native : QString();
}

QString presentFilePath(const QString &windowsPath, FolderListings *listings)
{
    if (windowsPath.isEmpty())
        return {};
    const QString native = nativePath(windowsPath, listings);
    if (QFileInfo(native).fileName().startsWith(u'.'))
        return {};
    const QByteArray name = QFile::encodeName(native);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0)
        return {};
    if (::stat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode))
        return {};
    return native;
}

bool isNormalFile(const QString &windowsPath)
{
    return !normalFilePath(windowsPath).isEmpty();
}

bool isFolder(const QString &windowsPath)
{
    if (windowsPath.isEmpty())
        return false;
    return QFileInfo(nativePath(windowsPath)).isDir();
}

QString schoolFolder(const QString &dataFolder, bool databaseOnServer)
{
    QString école = QStringLiteral("C:\\ALTEMARE");
    const QString upper = dataFolder.toUpper();
    if (upper.endsWith(QStringLiteral("/LALUMA")) || upper.endsWith(QStringLiteral("\\LALUMA")))
        école = dataFolder.chopped(7) + QStringLiteral("\\ALTEMARE");
    école = nativePath(école);
    if (!isFolder(école) || (!databaseOnServer && !isNormalFile(école + QStringLiteral("\\ALTEMARE.MDB"))))
        return dataFolder;
    return école;
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

bool isSafeRelativePath(const QString &name)
{
    if (hasDrive(name) || name.contains(QChar(u'\0')))
        return false;
    QString path = name;
    path.replace(u'\\', u'/');
    // Every component a name: no leading separator (absolute), no trailing
    // one (a folder), no "." or "..".
    const QStringList components = path.split(u'/');
    return std::none_of(components.begin(), components.end(), [](const QString &component) {
        return component.isEmpty() || component == QLatin1String(".") || component == QLatin1String("..");
    });
}

QStringList filesWithExtension(const QString &windowsFolder, const QString &extension)
{
    const QString folder = nativePath(windowsFolder);
    if (!QFileInfo(folder).isDir())
        throw AppError(ErrorNumber::PathNotFound, QStringLiteral("Chemin d'accès introuvable : %1").arg(folder));
    QStringList names;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (name.size() > extension.size() && name.endsWith(extension, Qt::CaseInsensitive))
            names << name;
    }
    // Case-insensitive, then exact, so that the order never depends on the
    // folder's own order.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}
