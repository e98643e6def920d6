#include "sqlitefile.h"

#include <QDir>

#include <sqlite3.h>
#include <stdexcept>

SqliteFile::SqliteFile(const QString &path) : m_path(path)
{
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        fail(QStringLiteral("impossible de créer la base"));
    // A file made in one go: nothing to protect until it is complete.
    exec(QStringLiteral("PRAGMA synchronous = OFF"));
}

SqliteFile::~SqliteFile()
{
    sqlite3_close(m_db);
}

void SqliteFile::exec(const QString &sql)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "erreur");
        sqlite3_free(message);
        fail(text);
    }
}

void SqliteFile::fail(const QString &what) const
{
    const QString engine = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
    throw std::runtime_error(QStringLiteral("Base « %1 » : %2 (%3)")
                                 .arg(QDir::toNativeSeparators(m_path), what, engine)
                                 .toStdString());
}

SqliteFile::Insert::Insert(SqliteFile &file, const QString &sql) : m_file(file)
{
    if (sqlite3_prepare_v2(file.m_db, sql.toUtf8().constData(), -1, &m_statement, nullptr) != SQLITE_OK)
        file.fail(QStringLiteral("requête refusée : %1").arg(sql));
}

SqliteFile::Insert::~Insert()
{
    sqlite3_finalize(m_statement);
}

void SqliteFile::Insert::row(const QStringList &values)
{
    sqlite3_reset(m_statement);
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].isNull()) {
            sqlite3_bind_null(m_statement, i + 1);
        } else {
            const QByteArray utf8 = values[i].toUtf8();
            sqlite3_bind_text(m_statement, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
    }
    if (sqlite3_step(m_statement) != SQLITE_DONE)
        m_file.fail(QStringLiteral("écriture d'une ligne impossible"));
}
