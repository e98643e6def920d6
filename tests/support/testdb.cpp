#include "testdb.h"

#include <sqlite3.h>
#include <stdexcept>

namespace {

struct Db
{
    explicit Db(const QString &path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            != SQLITE_OK)
            throw std::runtime_error("cannot open test database");
    }
    ~Db() { sqlite3_close(db); }
    void exec(const QString &sql)
    {
        char *message = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            std::string text = message ? message : "error";
            sqlite3_free(message);
            throw std::runtime_error(text + " in: " + sql.toStdString());
        }
    }
    sqlite3 *db = nullptr;
};

} // namespace

namespace TestDb {

void exec(const QString &path, const QString &sql)
{
    Db(path).exec(sql);
}

void createSchool(const QString &path)
{
    exec(path, QStringLiteral("CREATE TABLE enfants(matricule TEXT, nomenfant TEXT, prénomenfant TEXT, "
                              "classe TEXT, niveau TEXT);"
                              "CREATE TABLE équipe(équipenuméro TEXT, équipeinstituteur TEXT);"));
}

void createCatalogue(const QString &path)
{
    exec(path, QStringLiteral("CREATE TABLE luma(inventaire TEXT UNIQUE, titre TEXT, éditeur TEXT, dewey TEXT, "
                              "motsclés TEXT, emprunt TEXT, emprunté TEXT, emprunteur TEXT, "
                              "catégorieemprunteur TEXT, dateemprunt TEXT, cumul TEXT);"));
}

void createDescriptors(const QString &path)
{
    exec(path, QStringLiteral("CREATE TABLE [luma+](descripteur TEXT);"));
}

void insert(const QString &path, const QString &table, const QStringList &columns, const QVariantList &values)
{
    Db db(path);
    QStringList quoted, marks;
    for (const QString &c : columns) {
        quoted << QStringLiteral("\"%1\"").arg(c);
        marks << QStringLiteral("?");
    }
    const QString sql = QStringLiteral("INSERT INTO \"%1\"(%2) VALUES(%3)")
                            .arg(table, quoted.join(','), marks.join(','));
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].isNull())
            sqlite3_bind_null(stmt, i + 1);
        else
            sqlite3_bind_text(stmt, i + 1, values[i].toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
    }
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(db.db));
}

QString scalar(const QString &path, const QString &sql)
{
    Db db(path);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    QString result = QStringLiteral("<none>");
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        if (sqlite3_column_type(stmt, 0) == SQLITE_NULL)
            result = QStringLiteral("<null>");
        else
            result = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return result;
}

void addDocument(const QString &path, const QString &inventaire, const QString &titre, const QString &emprunt,
                 const QString &emprunte, const QString &emprunteur, const QString &categorie,
                 const QString &dateemprunt, const QString &cumul, const QString &dewey, const QString &editeur,
                 const QString &motscles)
{
    insert(path, QStringLiteral("luma"),
           {"inventaire", "titre", "éditeur", "dewey", "motsclés", "emprunt", "emprunté", "emprunteur",
            "catégorieemprunteur", "dateemprunt", "cumul"},
           {inventaire, titre, editeur, dewey, motscles, emprunt, emprunte, emprunteur, categorie, dateemprunt,
            cumul});
}

void addNumbered(const QString &path, int rows, const QString &title)
{
    exec(path, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                              "INSERT INTO luma(inventaire, titre, emprunt, emprunté) "
                              "SELECT printf('%05d', i), %2, 'O', 'N' FROM n")
                   .arg(rows)
                   .arg(title));
}

void addChild(const QString &path, const QString &matricule, const QString &nom, const QString &prenom,
              const QString &classe, const QString &niveau)
{
    insert(path, QStringLiteral("enfants"), {"matricule", "nomenfant", "prénomenfant", "classe", "niveau"},
           {matricule, nom, prenom, classe, niveau});
}

void addClass(const QString &path, const QString &numero, const QString &instituteur)
{
    insert(path, QStringLiteral("équipe"), {"équipenuméro", "équipeinstituteur"}, {numero, instituteur});
}

} // namespace TestDb
