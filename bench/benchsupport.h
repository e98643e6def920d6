#pragma once

// Header only: what the screen benchmarks share. Platform services that stay
// silent (a message is printed, since no benchmark should meet one) and the
// raw SQLite helpers that build their data folders.

#include "platform/services.h"

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

class Messages : public MessageBoxes
{
public:
    int show(const QString &text, const QString &, MsgIcon, MsgButtons) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        ++shown;
        return MsgAnswer::Ok;
    }
    int shown = 0;
};
class Silence : public SoundPlayer
{
public:
    void play(const QString &) override {}
};
class Clock1 : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
class Display1 : public DisplayScreen
{
public:
    QSize sizePixels() const override { return {1024, 768}; }
};
class End : public ProgramEnd
{
public:
    void endProgram() override
    {
        std::fprintf(stderr, "the program ended\n");
        std::exit(1);
    }
};

inline void exec(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, message ? message : "?");
        std::exit(1);
    }
}

// Inserts rows of text through one prepared statement.
class Inserter
{
public:
    Inserter(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
    }
    ~Inserter() { sqlite3_finalize(m_stmt); }
    Inserter(const Inserter &) = delete;
    Inserter &operator=(const Inserter &) = delete;
    void row(const QStringList &values)
    {
        for (int i = 0; i < values.size(); ++i) {
            const QByteArray utf8 = values[i].toUtf8();
            sqlite3_bind_text(m_stmt, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(m_stmt) != SQLITE_DONE) {
            std::fprintf(stderr, "%s\n", sqlite3_errmsg(m_db));
            std::exit(1);
        }
        sqlite3_reset(m_stmt);
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

inline sqlite3 *openNew(const QString &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        std::exit(1);
    return db;
}

inline QString number(int n, int width)
{
    return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0'));
}

} // namespace bench
