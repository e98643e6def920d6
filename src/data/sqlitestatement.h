#pragma once

#include "data/database.h"
#include "platform/apperror.h"

#include <QByteArray>
#include <QLatin1Char>
#include <QString>

#include <sqlite3.h>

// Reading tables and calling functions: all a statement that reads needs.
// Anything else is denied, and the denial noted in *denied.
inline int authorizeReadOnly(void *denied, int action, const char *, const char *, const char *, const char *)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    default:
        *static_cast<bool *>(denied) = true;
        return SQLITE_DENY;
    }
}

// Prepares one statement that can only read the database, or fails with
// SQLITE_AUTH: while it is prepared an authorizer refuses anything but
// reading (writing, ATTACH, PRAGMA, transactions...), nothing may follow it,
// and SQLite must find it read-only. A record source is data anyone can drop
// in a folder; the translator only ever builds a SELECT from it, and this
// checks it again on what SQLite actually prepared.
inline int prepareReadOnly(sqlite3 *db, const QByteArray &sql, unsigned int flags, sqlite3_stmt **stmt)
{
    const char *tail = nullptr;
    bool denied = false;
    sqlite3_set_authorizer(db, authorizeReadOnly, &denied);
    int rc = sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), flags, stmt, &tail);
    sqlite3_set_authorizer(db, nullptr, nullptr);
    // A denial may surface as another code (SQLITE_SCHEMA when the schema
    // was still to be read).
    if (rc != SQLITE_OK)
        return denied ? SQLITE_AUTH : rc;
    const bool nothingAfter = !tail || QByteArray(tail).trimmed().isEmpty();
    if (!*stmt || !nothingAfter || !sqlite3_stmt_readonly(*stmt)) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
        rc = SQLITE_AUTH;
    }
    return rc;
}

// The error for a statement prepareReadOnly refused.
[[noreturn]] inline void throwNotReadOnly()
{
    throw AppError(ErrorNumber::InvalidOperation, QStringLiteral("Opération non valide : une source d'enregistrements ne peut que lire la "
                                        "base de données."));
}

// Owns a prepared statement for the length of one call. A statement that
// cannot be prepared is kept as such: the caller decides whether that is an
// error (throwIfNotPrepared) or a case it can go on without (prepared).
class SqliteStatement
{
public:
    enum class Access { ReadWrite, ReadOnly };

    SqliteStatement(sqlite3 *db, const QString &sql, Access access = Access::ReadWrite) : m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (access == Access::ReadOnly) {
            m_rc = prepareReadOnly(db, utf8, 0, &m_stmt);
            m_refused = m_rc == SQLITE_AUTH;
        } else {
            m_rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
        }
    }
    ~SqliteStatement() { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool prepared() const { return m_rc == SQLITE_OK; }
    // SQLITE_OK, or the extended code of the failure to prepare.
    int prepareResult() const { return prepared() ? SQLITE_OK : sqlite3_extended_errcode(m_db); }
    void throwIfNotPrepared(const QString &context = {}) const
    {
        if (m_refused)
            throwNotReadOnly();
        if (!prepared())
            throwSqliteError(m_db, sqlite3_extended_errcode(m_db), context);
    }
    sqlite3_stmt *get() const { return m_stmt; }
    int step() { return sqlite3_step(m_stmt); }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
    bool m_refused = false;
};

// A table or column name as SQL text, whatever characters it holds.
inline QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
