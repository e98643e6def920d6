#pragma once

#include "data/jetsql.h"
#include "data/pgconnexion.h"
#include "data/schema.h"
#include "platform/apperror.h"

#include <QHash>
#include <QString>

#include <memory>


// The databases of a data folder kept on its PostgreSQL server: one
// connection shared by the program's cursors, and what the translator needs
// to write for it. Each database file stands for a schema of the server
// (schemaDuFichier); its tables carry a key column, kColonneCle, which
// identifies a row as SQLite's rowid does and is no field.
//
// A connection lost (the server restarted, the network went away) is
// reported once by the statement that met it (3043); the next use connects
// again.
class BaseServeur
{
public:
    static constexpr const char *kColonneCle = "luma_cle";

    // Connects at the first use.
    explicit BaseServeur(const ServeurPostgresql &serveur);
    // A folder whose BASE.INI cannot be read: every use throws its error,
    // rather than falling back on files the folder no longer uses.
    explicit BaseServeur(const AppError &erreur);
    ~BaseServeur();

    // The connection, connected (again) first when it was lost.
    PgConnexion &connexion();
    const ServeurPostgresql &serveur() const { return m_serveur; }

    // Runs a read: one that meets a connection lost since the last use (the
    // server restarted, an idle session was ended) is run once more on a new
    // one, rather than troubling whoever uses the program. Never within a
    // transaction, whose work went with the connection.
    template <typename Lecture>
    auto lecture(Lecture &&lis) -> decltype(lis(std::declval<PgConnexion &>()))
    {
        PgConnexion &c = connexion();
        if (c.enTransaction())
            return lis(c);
        try {
            return lis(c);
        } catch (const AppError &erreur) {
            if (erreur.number() != ErrorNumber::DiskIoError || c.connectee())
                throw;
        }
        return lis(connexion());
    }

    // The schema of a database file by its name, whatever its folder and the
    // case: LUMA.MDB luma, COTATION.MDB cotation, MEMBRES.MDB membres,
    // ALTEMARE.MDB ecole; empty for any other name.
    static QString schemaDuFichier(const QString &cheminFichier);
    // The advisory lock standing for a database file's write lock: writes
    // to one database go one at a time, as on the files, so that a
    // duplicate looked for under it cannot be written meanwhile. The same
    // key in every program.
    static qint64 cleEcriture(const QString &nomSchema);

    // The tables and columns of a schema (without the key column), read
    // once. 3024 when the schema holds no table: the database was never
    // moved to the server.
    const Schema &schema(const QString &nomSchema);
    SqlDialect dialecte(const QString &nomSchema);

    // A number that changes whenever a table of the server is written
    // (a sequence the set-up's triggers and signaleChangement advance): the
    // same number twice, and rows read in between still hold.
    qint64 versionDonnees();
    // Called after a commit that wrote: a reader that took the number while
    // the transaction was still open sees it change once more.
    void signaleChangement();

private:
    ServeurPostgresql m_serveur;
    std::unique_ptr<PgConnexion> m_connexion;
    std::unique_ptr<AppError> m_erreur;
    QHash<QString, Schema> m_schemas;
};
