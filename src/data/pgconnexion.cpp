#include "data/pgconnexion.h"

#include "platform/apperror.h"

#include <libpq-fe.h>

#include <vector>

struct PgConnexion::Resultat
{
    explicit Resultat(PGresult *r) : res(r) {}
    ~Resultat() { PQclear(res); }
    Resultat(const Resultat &) = delete;
    Resultat &operator=(const Resultat &) = delete;
    PGresult *res;
};

namespace {

// Notices ("already exists, skipping") are of no use to anyone here.
void silence(void *, const char *) {}

// The parameters as libpq takes them, kept alive for the call.
struct Parametres
{
    explicit Parametres(const QStringList &parametres)
    {
        for (const QString &p : parametres) {
            if (p.contains(QChar(0)))
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("Un texte contenant le caractère nul ne peut pas être enregistré."));
            texte.push_back(p.isNull() ? QByteArray() : p.toUtf8());
        }
        for (std::size_t i = 0; i < texte.size(); ++i)
            valeurs.push_back(parametres[qsizetype(i)].isNull() ? nullptr : texte[i].constData());
    }
    int nombre() const { return int(valeurs.size()); }

    std::vector<QByteArray> texte;
    std::vector<const char *> valeurs;
};

QString depuisUtf8(const char *texte)
{
    return QString::fromUtf8(texte).trimmed();
}

} // namespace

PgConnexion::PgConnexion(const ServeurPostgresql &serveur, std::chrono::seconds delaiConnexion)
    : m_serveur(serveur), m_delai(delaiConnexion)
{
    connecte();
}

PgConnexion::~PgConnexion()
{
    PQfinish(m_conn);
}

void PgConnexion::connecte()
{
    // The folder's own string first, so that what follows prevails over it.
    const QByteArray delai = QByteArray::number(qint64(m_delai.count()));
    const QByteArray service = m_serveur.service.toUtf8();
    const QByteArray conninfo = m_serveur.conninfo.toUtf8();
    std::vector<const char *> cles, valeurs;
    if (!m_serveur.service.isEmpty()) {
        cles.push_back("service");
        valeurs.push_back(service.constData());
    } else {
        cles.push_back("dbname");
        valeurs.push_back(conninfo.constData());
    }
    // The collation jet and the Jet functions live in the schema luma,
    // which the translated statements name unqualified.
    for (const auto &[cle, valeur] : {std::pair{"application_name", "luma"}, std::pair{"client_encoding", "UTF8"},
                                      std::pair{"options", "-c search_path=luma,public"}}) {
        cles.push_back(cle);
        valeurs.push_back(valeur);
    }
    cles.push_back("connect_timeout");
    valeurs.push_back(delai.constData());
    cles.push_back(nullptr);
    valeurs.push_back(nullptr);

    PQfinish(m_conn);
    m_preparesIci.clear();
    m_conn = PQconnectdbParams(cles.data(), valeurs.data(), 1);
    if (!m_conn)
        throw AppError(ErrorNumber::OutOfMemory, ErrorNumber::description(ErrorNumber::OutOfMemory));
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString raison = depuisUtf8(PQerrorMessage(m_conn));
        PQfinish(m_conn);
        m_conn = nullptr;
        injoignable(raison);
    }
    PQsetNoticeProcessor(m_conn, silence, nullptr);
}

void PgConnexion::reset()
{
    connecte();
}

void PgConnexion::injoignable(const QString &detail) const
{
    const QString serveur = m_serveur.service.isEmpty() ? m_serveur.conninfo
                                                        : QStringLiteral("service=%1").arg(m_serveur.service);
    throw AppError(ErrorNumber::DiskIoError,
                   QStringLiteral("Le serveur de base de données PostgreSQL (%1) ne peut pas être joint : rien n'a "
                                  "été enregistré. Vérifiez le réseau et le serveur, puis réessayez.\n%2")
                       .arg(serveur, detail));
}

void PgConnexion::echec(const Resultat &resultat) const
{
    const char *etat = resultat.res ? PQresultErrorField(resultat.res, PG_DIAG_SQLSTATE) : nullptr;
    const QByteArray code = etat ? QByteArray(etat) : QByteArray();
    const QString message = resultat.res ? depuisUtf8(PQresultErrorMessage(resultat.res))
                                         : depuisUtf8(PQerrorMessage(m_conn));
    // The connection went (the server stopped, the session was ended, the
    // network is down): whatever the statement, the same message.
    if (PQstatus(m_conn) != CONNECTION_OK || code.startsWith("08") || code == "57P01" || code == "57P02"
        || code == "57P03")
        injoignable(message);
    if (code == "23505")
        throw AppError(ErrorNumber::DuplicateKey, QStringLiteral("Doublon refusé par le serveur : %1").arg(message));
    if (code == "40001" || code == "40P01")
        throw AppError(ErrorNumber::ChangedByAnother,
                       QStringLiteral("Un autre poste a modifié les mêmes données en même temps : %1").arg(message));
    if (code == "55P03")
        throwOtherKioskBusy(QStringLiteral("PostgreSQL"));
    if (code == "57014")
        throw AppError(ErrorNumber::QueryTooLong,
                       QStringLiteral("La recherche a été arrêtée : elle durait trop longtemps sur le serveur."));
    if (code == "42P01")
        throw AppError(ErrorNumber::TableNotFound, message);
    throw AppError(ErrorNumber::EngineError, QStringLiteral("Erreur du serveur PostgreSQL : %1").arg(message));
}

PgConnexion::Lignes PgConnexion::lignes(Resultat &resultat)
{
    const ExecStatusType etat = resultat.res ? PQresultStatus(resultat.res) : PGRES_FATAL_ERROR;
    if (etat != PGRES_TUPLES_OK && etat != PGRES_COMMAND_OK)
        echec(resultat);
    Lignes lignes;
    const int n = PQntuples(resultat.res), colonnes = PQnfields(resultat.res);
    lignes.reserve(n);
    for (int i = 0; i < n; ++i) {
        QStringList ligne;
        ligne.reserve(colonnes);
        for (int c = 0; c < colonnes; ++c) {
            // NULL reads as an empty text, as the SQLite side reads it.
            ligne << QString::fromUtf8(PQgetvalue(resultat.res, i, c), PQgetlength(resultat.res, i, c));
        }
        lignes << ligne;
    }
    return lignes;
}

void PgConnexion::executeScript(const QString &sql)
{
    Resultat resultat(PQexec(m_conn, sql.toUtf8().constData()));
    lignes(resultat);
}

PgConnexion::Lignes PgConnexion::execute(const QString &sql, const QStringList &parametres, QStringList *colonnes,
                                         QList<bool> *deTable)
{
    const Parametres p(parametres);
    Resultat resultat(PQexecParams(m_conn, sql.toUtf8().constData(), p.nombre(), nullptr, p.valeurs.data(), nullptr,
                                   nullptr, 0));
    Lignes lu = lignes(resultat);
    if (colonnes) {
        colonnes->clear();
        for (int c = 0; c < PQnfields(resultat.res); ++c)
            *colonnes << QString::fromUtf8(PQfname(resultat.res, c));
    }
    if (deTable) {
        deTable->clear();
        for (int c = 0; c < PQnfields(resultat.res); ++c)
            *deTable << (PQftablecol(resultat.res, c) > 0);
    }
    return lu;
}

std::vector<qint64> PgConnexion::entiers(const QString &sql, const QStringList &parametres)
{
    const Parametres p(parametres);
    // In binary: eight bytes a row, no text to read back.
    Resultat resultat(PQexecParams(m_conn, sql.toUtf8().constData(), p.nombre(), nullptr, p.valeurs.data(), nullptr,
                                   nullptr, 1));
    const ExecStatusType etat = resultat.res ? PQresultStatus(resultat.res) : PGRES_FATAL_ERROR;
    if (etat != PGRES_TUPLES_OK)
        echec(resultat);
    if (PQnfields(resultat.res) < 1 || PQfsize(resultat.res, 0) != 8)
        throw AppError(ErrorNumber::InternalError, QStringLiteral("Le serveur n'a pas donné des nombres entiers."));
    const int n = PQntuples(resultat.res);
    std::vector<qint64> valeurs;
    valeurs.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const auto *octets = reinterpret_cast<const unsigned char *>(PQgetvalue(resultat.res, i, 0));
        quint64 v = 0;
        for (int b = 0; b < 8; ++b)
            v = (v << 8) | octets[b]; // network order
        valeurs.push_back(qint64(v));
    }
    return valeurs;
}

bool PgConnexion::connectee() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

void PgConnexion::prepare(const QByteArray &nom, const QString &sql)
{
    m_prepares.insert(nom, sql);
    if (m_preparesIci.remove(nom)) {
        Resultat ancien(PQexec(m_conn, QByteArray("DEALLOCATE \"" + nom + '"').constData()));
        lignes(ancien);
    }
    Resultat resultat(PQprepare(m_conn, nom.constData(), sql.toUtf8().constData(), 0, nullptr));
    lignes(resultat);
    m_preparesIci.insert(nom);
}

PgConnexion::Lignes PgConnexion::executePrepare(const QByteArray &nom, const QStringList &parametres)
{
    const auto sql = m_prepares.constFind(nom);
    if (sql == m_prepares.cend())
        throw AppError(ErrorNumber::InternalError, QStringLiteral("Requête préparée inconnue : %1")
                                                       .arg(QString::fromLatin1(nom)));
    // Prepared statements live with the session: after reset(), again.
    if (!m_preparesIci.contains(nom))
        prepare(nom, *sql);
    const Parametres p(parametres);
    Resultat resultat(PQexecPrepared(m_conn, nom.constData(), p.nombre(), p.valeurs.data(), nullptr, nullptr, 0));
    return lignes(resultat);
}

void PgConnexion::begin()
{
    executeScript(QStringLiteral("BEGIN"));
}

void PgConnexion::commit()
{
    // The server would answer COMMIT with a rollback, silently.
    if (PQtransactionStatus(m_conn) == PQTRANS_INERROR) {
        rollback();
        throw AppError(ErrorNumber::EngineError,
                       QStringLiteral("La transaction a échoué et a été annulée : rien n'a été enregistré."));
    }
    try {
        executeScript(QStringLiteral("COMMIT"));
    } catch (const AppError &erreur) {
        if (erreur.number() != ErrorNumber::DiskIoError)
            throw;
        // The server may have committed before the connection went.
        throw AppError(ErrorNumber::DiskIoError,
                       QStringLiteral("La connexion au serveur PostgreSQL a été perdue pendant l'enregistrement : il "
                                      "a pu aboutir ou non. Vérifiez le réseau et le serveur, puis regardez la fiche "
                                      "à nouveau."));
    }
}

void PgConnexion::rollback()
{
    executeScript(QStringLiteral("ROLLBACK"));
}

bool PgConnexion::enTransaction() const
{
    const PGTransactionStatusType etat = PQtransactionStatus(m_conn);
    return etat == PQTRANS_INTRANS || etat == PQTRANS_INERROR || etat == PQTRANS_ACTIVE;
}

void PgConnexion::verrouilleTransaction(qint64 cle, const LockWait &attente, const QString &quoi)
{
    // Outside a transaction the lock would go as soon as taken.
    if (!enTransaction())
        throw AppError(ErrorNumber::InternalError,
                       QStringLiteral("Verrou de transaction demandé hors d'une transaction."));
    const QStringList parametre{QString::number(cle)};
    waitForLock([&] { return execute(QStringLiteral("SELECT pg_try_advisory_xact_lock($1)"), parametre)[0][0] == u't'; },
                attente, quoi);
}

void PgConnexion::verrouilleSession(qint64 cle, const LockWait &attente, const QString &quoi)
{
    const QStringList parametre{QString::number(cle)};
    waitForLock([&] { return execute(QStringLiteral("SELECT pg_try_advisory_lock($1)"), parametre)[0][0] == u't'; },
                attente, quoi);
}

void PgConnexion::deverrouilleSession(qint64 cle)
{
    execute(QStringLiteral("SELECT pg_advisory_unlock($1)"), {QString::number(cle)});
}

int PgConnexion::pidServeur() const
{
    return PQbackendPID(m_conn);
}

PgTransaction::PgTransaction(PgConnexion &connexion) : m_connexion(connexion)
{
    m_connexion.begin();
}

PgTransaction::~PgTransaction()
{
    if (m_fini || !m_connexion.enTransaction())
        return;
    try {
        m_connexion.rollback();
    } catch (const AppError &) {
        // The connection is gone, and the transaction with it.
    }
}

void PgTransaction::commit()
{
    m_fini = true;
    m_connexion.commit();
}

void enTransaction(PgConnexion &connexion, const std::function<void()> &travail, int essais)
{
    for (int essai = 1;; ++essai) {
        try {
            PgTransaction transaction(connexion);
            travail();
            transaction.commit();
            return;
        } catch (const AppError &erreur) {
            if (erreur.number() != ErrorNumber::ChangedByAnother || essai >= essais)
                throw;
        }
    }
}
