#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class FolderListings;

// Paths as the program writes them: the data folder followed by a suffix in
// the Windows manner, CheminBase + "\\SONS\\FERME.WAV". All such paths go
// through nativePath() before they touch the file system:
//  - backslashes become '/';
//  - a leading drive "C:" (any letter, any case) stands for the root "/";
//  - each component that does not exist under the exact name is matched
//    without regard to case (over all of Unicode) against the folder's
//    entries, so a data folder copied from Windows keeps working; a component
//    that matches nothing is kept as written (a file about to be created).
//
// With listings, a folder is read at most once for all the names not found as
// written in it (see FolderListings).
QString nativePath(const QString &windowsPath, FolderListings *listings = nullptr);

// True when the path names an existing regular file that is not hidden
// (a name starting with a dot), as the original "normal file" test.
bool isNormalFile(const QString &windowsPath);
// The same test, giving the file's native path, or an empty text.
QString normalFilePath(const QString &windowsPath, FolderListings *listings = nullptr);

// The native path of whatever is under the name, a folder or a hidden name
// aside: a file to be read through DataFile, which refuses (and so can tell
// of) a pipe, a device or a dangling link in its place. Empty when there is
// nothing.
QString presentFilePath(const QString &windowsPath, FolderListings *listings = nullptr);

// True when the path names an existing folder.
bool isFolder(const QString &windowsPath);

// The school folder, where ALTEMARE.MDB is, for a data folder (a native path
// without trailing separator): the sibling ALTEMARE of a data folder named
// LALUMA, else the fixed C:\ALTEMARE, each only when it holds ALTEMARE.MDB,
// else the data folder itself. A native path. When the school database is
// not a file (it is on the data folder's server), the candidate folder needs
// only to be there: it holds the pictures.
QString schoolFolder(const QString &dataFolder, bool databaseOnServer = false);

// A name taken from data (a child's matricule, a request's picture) that is to
// be joined to a folder: true only when it cannot lead outside that folder
// (no separator, not "." or "..", no NUL, not empty).
bool isSafeFileName(const QString &name);

// A name taken from data that may go down into subfolders of the folder it is
// joined to ("ANIMAUX\\CHAT.BMP", either separator): true only when it cannot
// lead outside that folder and names something inside it: every component
// a name (not empty, not "." or ".."), no drive, no NUL.
bool isSafeRelativePath(const QString &name);

// The entries of a folder whose names end with the extension (".RQT"),
// both matched without regard to case, sorted by name without regard to case
// as the original file list showed them. Hidden names are left out; a pipe,
// a device or a folder under such a name is listed, so that the reader that
// refuses it can say so. Throws AppError 76 when the folder
// does not exist.
QStringList filesWithExtension(const QString &windowsFolder, const QString &extension);

// The entries of the folders met while resolving paths, kept for the next
// lookups: a program looking up hundreds of covers or photographs in a folder
// of a hundred thousand, whose names may all differ in case from the ones
// looked for, reads that folder once rather than once per name. For one pass
// over files that are not renamed meanwhile.
class FolderListings
{
public:
    FolderListings();
    ~FolderListings();
    FolderListings(const FolderListings &) = delete;
    FolderListings &operator=(const FolderListings &) = delete;

    // The entry of the folder equal to the name without regard to case, as
    // nativePath() would choose it; empty when there is none.
    QString match(const QString &nativeFolder, const QString &name);

private:
    struct Data;
    std::unique_ptr<Data> d;
};
