#pragma once

#include "data/database.h"

#include <QByteArray>
#include <QLatin1Char>
#include <QString>

#include <sqlite3.h>

// Owns a prepared statement for the length of one call. A statement that
// cannot be prepared is kept as such: the caller decides whether that is an
// error (throwIfNotPrepared) or a case it can go on without (prepared).
class SqliteStatement
{
public:
    SqliteStatement(sqlite3 *db, const QString &sql) : m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        m_rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
    }
    ~SqliteStatement() { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool prepared() const { return m_rc == SQLITE_OK; }
    // SQLITE_OK, or the extended code of the failure to prepare.
    int prepareResult() const { return prepared() ? SQLITE_OK : sqlite3_extended_errcode(m_db); }
    void throwIfNotPrepared(const QString &context = {}) const
    {
        if (!prepared())
            throwSqliteError(m_db, sqlite3_extended_errcode(m_db), context);
    }
    sqlite3_stmt *get() const { return m_stmt; }
    int step() { return sqlite3_step(m_stmt); }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

// A table or column name as SQL text, whatever characters it holds.
inline QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
