#pragma once

#include <QString>
#include <exception>
#include <string>

// The one exception type of the data and file layers. It carries the error
// number the way the original platform numbered file and database errors
// (53 file not found, 3022 duplicate key, 3049 damaged database...) and a
// French description, so the error report can choose its message by number.
class AppError : public std::exception
{
public:
    AppError(int number, QString description);

    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    int m_number;
    QString m_description;
    std::string m_utf8;
};

// Error numbers the program raises or reacts to.
namespace ErrorNumber {
constexpr int TypeMismatch = 13;
constexpr int BadFileName = 52;
constexpr int FileNotFound = 53;
constexpr int FileAlreadyExists = 58;
constexpr int DiskFull = 61;
constexpr int InputPastEnd = 62;
constexpr int DeviceUnavailable = 68;
constexpr int PermissionDenied = 70;
constexpr int DiskNotReady = 71;
constexpr int PathNotFound = 76;
constexpr int NoCurrentRecord = 3021;
constexpr int DuplicateKey = 3022;
constexpr int DatabaseNotFound = 3024;
constexpr int ReadOnlyDatabase = 3027;
constexpr int DatabaseDamaged = 3049;
constexpr int CannotLockFile = 3050;
// Jet's "system resource exceeded": a request stopped after running too
// long or reading too many rows.
constexpr int QueryTooLong = 3035;
constexpr int TooFewParameters = 3061;
constexpr int SyntaxError = 3075;
constexpr int TableNotFound = 3078;
constexpr int RecordDeleted = 3167;
// Jet's "could not update; currently locked": a lock another kiosk (or
// another program) held past the deadline of a wait; nothing was written.
constexpr int OtherKioskBusy = 3218;
constexpr int RecordLocked = 3260;
constexpr int FieldNotFound = 3265;
constexpr int AccessFormat = 3343;
} // namespace ErrorNumber
