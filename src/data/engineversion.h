#pragma once

#include <QString>

// The oldest SQLite the engine works with: it relies on the per-connection
// double-quote setting, 64-bit change counters and the table list pragma.
constexpr int kOldestSqlite = 3037000; // 3.37.0

// Empty when the SQLite library in use is recent enough; otherwise a French
// message for whoever installs the program. The version number is SQLite's
// own (3.40.1 is 3040001).
QString sqliteTooOld(int versionNumber);
QString sqliteTooOld();
