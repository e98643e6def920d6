#pragma once

#include "data/serveurpostgresql.h"
#include "platform/lockwait.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <vector>

struct pg_conn;

// One connection to the PostgreSQL server of a data folder, over libpq,
// always in UTF-8 and named "luma" among the server's sessions. Statements
// take their parameters as text (a null QString is SQL NULL; a NUL character
// is refused rather than cut short) and give their rows as text, NULL read
// as an empty text as the SQLite side reads it. Server errors become
// AppError: a duplicate key 3022, a serialization failure or a deadlock 3197
// (the transaction is to be run again: enTransaction), a lock given up 3218,
// a lost server 3043 saying so in French; any other the server's own message
// under 3000. After a lost connection, reset() connects again.
class PgConnexion
{
public:
    using Lignes = QList<QStringList>;

    static constexpr std::chrono::seconds kDelaiConnexion{10};

    explicit PgConnexion(const ServeurPostgresql &serveur,
                         std::chrono::seconds delaiConnexion = kDelaiConnexion);
    ~PgConnexion();
    PgConnexion(const PgConnexion &) = delete;
    PgConnexion &operator=(const PgConnexion &) = delete;

    // Connects again (after the server or the network went away); statements
    // prepared before are prepared again when next run.
    void reset();

    // Statements without parameters, several allowed (set-up scripts).
    void executeScript(const QString &sql);
    // One statement, its parameters $1, $2... as text.
    // The columns' names in *colonnes when given, and in *deTable whether
    // each is a column of a table rather than computed.
    Lignes execute(const QString &sql, const QStringList &parametres = {}, QStringList *colonnes = nullptr,
                   QList<bool> *deTable = nullptr);
    // The first column of a statement's rows, a bigint (row keys).
    std::vector<qint64> entiers(const QString &sql, const QStringList &parametres = {});
    // False once the connection is lost, until reset().
    bool connectee() const;

    // A statement prepared once under a name (ASCII) and run many times.
    void prepare(const QByteArray &nom, const QString &sql);
    Lignes executePrepare(const QByteArray &nom, const QStringList &parametres = {});

    // COPY ... FROM STDIN: `suivante` fills each row in turn (a null QString
    // is NULL) and returns false after the last; sent in large blocks. A NUL
    // character is refused as execute() refuses it; an exception thrown by
    // `suivante` ends the copy, the transaction to be rolled back, and goes on.
    // Returns the rows sent.
    qint64 copieVersServeur(const QString &sql, const std::function<bool(QStringList &ligne)> &suivante);
    // COPY ... TO STDOUT: each row in turn, NULL as a null QString (unlike
    // execute()). An exception thrown by `recoit` goes on once the server
    // has sent the rest.
    qint64 copieDepuisServeur(const QString &sql, const std::function<void(const QStringList &ligne)> &recoit);

    void begin();
    void commit();
    void rollback();
    bool enTransaction() const;

    // Advisory locks (keys the program chooses), waited for as `attente`
    // says and given up past its deadline with AppError 3218 naming `quoi`.
    // The transaction's lock goes at its end; the session's at
    // deverrouilleSession or at the end of the connection.
    void verrouilleTransaction(qint64 cle, const LockWait &attente, const QString &quoi);
    void verrouilleSession(qint64 cle, const LockWait &attente, const QString &quoi);
    void deverrouilleSession(qint64 cle);

    // The server process of this connection (pg_backend_pid), 0 when not
    // connected.
    int pidServeur() const;

private:
    struct Resultat;
    Lignes lignes(Resultat &resultat);
    [[noreturn]] void echec(const Resultat &resultat) const;
    [[noreturn]] void injoignable(const QString &detail) const;
    void connecte();

    ServeurPostgresql m_serveur;
    std::chrono::seconds m_delai;
    pg_conn *m_conn = nullptr;
    QHash<QByteArray, QString> m_prepares;
    QSet<QByteArray> m_preparesIci;
};

// A transaction for the length of a scope: begun at construction, rolled
// back at destruction unless committed.
class PgTransaction
{
public:
    explicit PgTransaction(PgConnexion &connexion);
    ~PgTransaction();
    PgTransaction(const PgTransaction &) = delete;
    PgTransaction &operator=(const PgTransaction &) = delete;

    void commit();

private:
    PgConnexion &m_connexion;
    bool m_fini = false;
};

// Runs `travail` in a transaction, committed at its end; a transaction the
// server gave up for another's sake (3197) is run again, up to `essais`
// times in all, the last error thrown.
void enTransaction(PgConnexion &connexion, const std::function<void()> &travail, int essais = 3);
