#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;
struct sqlite3_stmt;

// A new SQLite file written through the plain C API, as any other tool would
// write it. Errors throw std::runtime_error with a French message.
class SqliteFile
{
public:
    explicit SqliteFile(const QString &path);
    ~SqliteFile();
    SqliteFile(const SqliteFile &) = delete;
    SqliteFile &operator=(const SqliteFile &) = delete;

    void exec(const QString &sql);

    // One prepared INSERT reused for every row; a null QString is stored as NULL.
    class Insert
    {
    public:
        Insert(SqliteFile &file, const QString &sql);
        ~Insert();
        Insert(const Insert &) = delete;
        Insert &operator=(const Insert &) = delete;
        void row(const QStringList &values);

    private:
        SqliteFile &m_file;
        sqlite3_stmt *m_statement = nullptr;
    };

private:
    [[noreturn]] void fail(const QString &what) const;
    QString m_path;
    sqlite3 *m_db = nullptr;
};
