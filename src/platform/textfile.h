#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text files of the data folder (request files, day journals) are written in
// Windows-1252 with CR LF line ends. Errors are thrown as AppError with the
// platform's numbers: 53 file not found, 76 path not found, 70 permission
// denied, 61 disk full, 52 bad file name.
namespace TextFile {

QString decode1252(const QByteArray &bytes);
// Characters that Windows-1252 cannot hold become '?'.
QByteArray encode1252(const QString &text);

// Reads a whole file (native path) and decodes it from Windows-1252.
QString read1252(const QString &nativePath);

// Appends the lines, each followed by CR LF, in a single write, then flushes
// the file to disk and closes it, whatever happens. Creates the file when it
// is missing. Either all the lines reach the file or the call throws.
void appendLines1252(const QString &nativePath, const QStringList &lines);

// Replaces the file's content with the given bytes (written to a temporary
// file beside it, then renamed over it).
void writeFileAtomically(const QString &nativePath, const QByteArray &bytes);

} // namespace TextFile
