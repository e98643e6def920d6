#pragma once

#include "data/schema.h"
#include "platform/lockwait.h"

#include <QString>
#include <memory>
#include <optional>

struct sqlite3;

// The wait of one connection for a file another program writes.
struct BusyWait
{
    LockWait wait;
    std::optional<LockWaiter> waiter;
};

// One open database file: an SQLite 3 file holding the tables of the school,
// catalogue or descriptor database, with the Jet behaviour installed
// (jetfunctions.h). Opening never creates a file.
//
// Errors (AppError): 3024 the file does not exist; 3049 damaged or not a
// database; 3050 the file cannot be locked; 3343 the file is in Access format
// (Jet or ACE signature): it is never opened for writing, repaired or
// overwritten, and the message says it must first be converted. A file busy
// in another program is waited for as the LockWait says before 3218 is raised.
class Database
{
public:
    // ReadOnly: for a program that only looks (a report): nothing is ever
    // written to the file, and a file left half-written by a program that
    // died is reported rather than put right (the next kiosk to start does).
    enum class Mode { ReadWrite, ReadOnly };

    static std::shared_ptr<Database> open(const QString &nativePath, Mode mode = Mode::ReadWrite,
                                          const LockWait &wait = {});
    ~Database();

    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    sqlite3 *handle() const { return m_db; }
    const QString &path() const { return m_path; }

    // How a file another program writes is waited for.
    void setLockWait(const LockWait &wait) { m_busy->wait = wait; }

    // Tables and columns, read when the file is opened.
    const Schema &schema() const { return m_schema; }

private:
    Database(sqlite3 *db, QString path, Schema schema, std::unique_ptr<BusyWait> busy);

    sqlite3 *m_db;
    QString m_path;
    Schema m_schema;
    std::unique_ptr<BusyWait> m_busy; // the busy handler's, as long as the connection
};

// True when the file lies on a disk of this computer (not a network share, a
// stick or a CD): only there are its pages read through a memory map.
bool onLocalDisk(const QString &nativePath);

// True when the file starts with the signature of an Access (Jet or ACE) file.
bool isAccessFile(const QString &nativePath);

// The command that converts the Access files of a data folder, as a teacher
// types it in a terminal: "luma-import '/home/école/LALUMA'", or with the
// placeholder DOSSIER when the folder is not known. The message of an Access
// file names the placeholder form; whoever knows the data folder replaces it.
QString accessImportCommand(const QString &dataFolder = {});

// Turns an SQLite result code into the program's error (throws AppError).
[[noreturn]] void throwSqliteError(sqlite3 *db, int resultCode, const QString &context = {});
