#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text files of the data folder (request files, day journals) are written in
// Windows-1252 with CR LF line ends; a person may write a request file in
// UTF-8. How they reach the disk is DurableFile's part.
namespace TextFile {

QString decode1252(const QByteArray &bytes);
// Characters that Windows-1252 cannot hold become '?'.
QByteArray encode1252(const QString &text);

// Text written by a person: UTF-8 when the bytes are valid UTF-8 (a leading
// byte-order mark dropped), as a modern editor writes it; otherwise
// Windows-1252, as the files were always written. Plain ASCII reads the same
// either way.
QString decodeWritten(const QByteArray &bytes);
// Reads a whole file (native path) of at most 64 KB, a regular file, as
// DataFile reads it, and decodes it as decodeWritten().
QString readWritten(const QString &nativePath);

// The first `count` values of a text, as the platform's sequential input read
// them: values are separated by a comma or a line end; a value between double
// quotes is taken without them and may hold commas and line ends; an unquoted
// value loses its leading and trailing blanks; what follows the last value
// wanted is not read. Fewer values than wanted throws AppError 62 (input past
// the end of the file).
QStringList readValues(const QString &text, int count);

} // namespace TextFile
