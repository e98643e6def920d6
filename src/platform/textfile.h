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

// Text written by a person: UTF-8 when the bytes are valid UTF-8 (a leading
// byte-order mark dropped), as a modern editor writes it; otherwise
// Windows-1252, as the files were always written. Plain ASCII reads the same
// either way.
QString decodeWritten(const QByteArray &bytes);
// Reads a whole file (native path) and decodes it as decodeWritten().
QString readWritten(const QString &nativePath);

// The first `count` values of a text, as the platform's sequential input read
// them: values are separated by a comma or a line end; a value between double
// quotes is taken without them and may hold commas and line ends; an unquoted
// value loses its leading and trailing blanks; what follows the last value
// wanted is not read. Fewer values than wanted throws AppError 62 (input past
// the end of the file).
QStringList readValues(const QString &text, int count);

// Appends the lines, each followed by CR LF, in a single write, then flushes
// the file to disk and closes it, whatever happens. Creates the file when it
// is missing. Either all the lines reach the file or the call throws.
void appendLines1252(const QString &nativePath, const QStringList &lines);

// Replaces the file's content with the given bytes (written to a temporary
// file beside it, then renamed over it).
void writeFileAtomically(const QString &nativePath, const QByteArray &bytes);

} // namespace TextFile
