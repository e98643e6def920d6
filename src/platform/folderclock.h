#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The time the file system of a folder gives a file written there now: on a
// network share, the server's clock. A small file of a name of its own is
// written, looked at and removed. Nothing when no file can be written there.
std::optional<QDateTime> folderClock(const QString &nativeFolder);
