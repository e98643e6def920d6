#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A throwaway PostgreSQL 15 server for one test run: a cluster made in a
// temporary folder (initdb), reached through a Unix socket there only, with
// trust authentication for the user "luma". Run as root, the server runs as
// "nobody" (PostgreSQL refuses root). Stopped and removed at destruction;
// should the tests crash, the server goes with them (parent-death signal).
// The server programs are PostgreSQL 15's (Debian's postgresql-15), or those
// of the folder LUMA_PG_BINDIR names.
class PgServeur
{
public:
    PgServeur();
    ~PgServeur();
    PgServeur(const PgServeur &) = delete;
    PgServeur &operator=(const PgServeur &) = delete;

    bool demarre() const { return m_erreur.isEmpty(); }
    // Why the server did not start.
    const QString &erreur() const { return m_erreur; }
    // libpq's connection string for the database "postgres".
    QString conninfo() const;
    qint64 dureeDemarrageMs() const { return m_duree; }
    // Stops the server (its sessions ended) and starts it again.
    bool redemarre();

    // True when the build wants the tests failed, not skipped, without a
    // server (LUMA_REQUIRE_POSTGRESQL).
    static bool requis();

private:
    bool lance(QProcess &processus, const QString &programme, const QStringList &arguments);
    bool demarrePostgres();

    QTemporaryDir m_dossier;
    QString m_bin;
    QProcess m_postgres;
    QString m_erreur;
    qint64 m_duree = 0;
    int m_uid = -1, m_gid = -1;
};

// At the top of a test that needs the server: skips it (or fails it, when
// the build requires PostgreSQL) when the server did not start.
#define LUMA_SERVEUR_PG_REQUIS(serveur)                                                                               \
    do {                                                                                                              \
        if (!(serveur) || !(serveur)->demarre()) {                                                                    \
            const QString pourquoi = (serveur) ? (serveur)->erreur() : QStringLiteral("aucun serveur");               \
            if (PgServeur::requis())                                                                                  \
                QFAIL(qPrintable(pourquoi));                                                                          \
            QSKIP(qPrintable(pourquoi));                                                                              \
        }                                                                                                             \
    } while (false)
