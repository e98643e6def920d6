#pragma once

#include "data/schema.h"
#include "platform/lockwait.h"

#include <QString>
#include <memory>
#include <optional>

struct sqlite3;
class QueryGuard;

// How far one request may go before it is stopped with 3035: a saved request
// that joins the catalogue to itself ten times would otherwise hold the kiosk
// until memory runs out. Tests shorten them.
struct QueryLimits
{
    static constexpr int kMilliseconds = 5000;
    static constexpr long long kRows = 5'000'000;
    // What the rows a request keeps in memory may take (its rows are read
    // whole when they have no identity of their own: joins, DISTINCT...).
    static constexpr long long kResultBytes = 256LL * 1024 * 1024;

    int milliseconds = kMilliseconds;
    long long rows = kRows;
    long long resultBytes = kResultBytes;
};

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

    // Whether a file lies on a disk of this computer; tests stand in for
    // the file system's answer.
    using LocalDiskTest = bool (*)(const QString &nativePath);

    // A file in write-ahead-log mode on a network disk is put back to the
    // rollback journal (the log's shared memory does not reach the other
    // computers), or refused (3051, saying how to do it) when another
    // program keeps it open or the file is opened read-only.
    static std::shared_ptr<Database> open(const QString &nativePath, Mode mode = Mode::ReadWrite,
                                          const LockWait &wait = {}, LocalDiskTest localDisk = nullptr);
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
    friend class QueryGuard;
    Database(sqlite3 *db, QString path, Schema schema, std::unique_ptr<BusyWait> busy);

    sqlite3 *m_db;
    QueryGuard *m_guard = nullptr;
    QString m_path;
    Schema m_schema;
    std::unique_ptr<BusyWait> m_busy; // the busy handler's, as long as the connection
};

// Runs the statements stepped during its life under the limits: SQLite's
// progress handler, called every few thousand instructions of the engine,
// interrupts them (SQLITE_INTERRUPT, thrown as 3035 by throwSqliteError) once
// the time is up, too many rows were visited or too much is kept. The time is
// the processor time spent: a wait for another program's lock does not count.
// Rows visited are the rows the engine stepped through in full scans and put
// into automatic indexes (the counters SQLite keeps per statement), plus those
// the caller keeps and tells with keep(). Guards nest: the inner one is in
// force while it lives.
class QueryGuard
{
public:
    QueryGuard(Database &db, const QueryLimits &limits);
    ~QueryGuard();
    QueryGuard(const QueryGuard &) = delete;
    QueryGuard &operator=(const QueryGuard &) = delete;

    // Rows (and their size in memory) the caller took from a statement and
    // keeps: the next call of the handler counts them.
    void keep(long long rows, long long bytes = 0)
    {
        m_rows += rows;
        m_bytes += bytes;
    }

private:
    static int progress(void *guard);
    long long scanned();

    Database &m_db;
    QueryGuard *m_outer;
    QueryLimits m_limits;
    long long m_start;
    long long m_rows = 0;
    long long m_bytes = 0;
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
