#include "data/pgconnexion.h"

#include "platform/apperror.h"

#include <libpq-fe.h>

#include <cstring>
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

[[noreturn]] void refuseNul()
{
    throw AppError(ErrorNumber::InvalidArgument,
                   QStringLiteral("Un texte contenant le caractère nul ne peut pas être enregistré."));
}

// The parameters as libpq takes them, kept alive for the call.
struct Parametres
{
    explicit Parametres(const QStringList &parametres)
    {
        for (const QString &p : parametres) {
            if (p.contains(QChar(0)))
                refuseNul();
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

// A value in COPY's text format: \N for NULL, the separators escaped.
void ajouteChamp(QByteArray &tampon, const QString &valeur)
{
    if (valeur.isNull()) {
        tampon += "\\N";
        return;
    }
    if (valeur.contains(QChar(0)))
        refuseNul();
    for (const char c : valeur.toUtf8()) {
        switch (c) {
        case '\\': tampon += "\\\\"; break;
        case '\t': tampon += "\\t"; break;
        case '\n': tampon += "\\n"; break;
        case '\r': tampon += "\\r"; break;
        default: tampon += c;
        }
    }
}

int chiffre(char c, int base)
{
    const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
    return v < base ? v : -1;
}

// One row of COPY's text format (without its line end) back into values: a
// tab in a value always comes escaped, so a bare one separates two.
QStringList champs(const char *donnees, int taille)
{
    QStringList ligne;
    for (const QByteArray &brut : QByteArray::fromRawData(donnees, taille).split('\t')) {
        if (brut == "\\N") {
            ligne << QString();
            continue;
        }
        QByteArray champ;
        champ.reserve(brut.size());
        for (qsizetype i = 0; i < brut.size(); ++i) {
            if (brut[i] != '\\' || i + 1 >= brut.size()) {
                champ += brut[i];
                continue;
            }
            const char e = brut[++i];
            int v = chiffre(e, 8);
            if (v >= 0) {
                for (int n = 0; n < 2 && i + 1 < brut.size() && chiffre(brut[i + 1], 8) >= 0; ++n)
                    v = v * 8 + chiffre(brut[++i], 8);
                champ += char(v);
            } else if (e == 'x' && i + 1 < brut.size() && chiffre(brut[i + 1], 16) >= 0) {
                v = 0;
                for (int n = 0; n < 2 && i + 1 < brut.size() && chiffre(brut[i + 1], 16) >= 0; ++n)
                    v = v * 16 + chiffre(brut[++i], 16);
                champ += char(v);
            } else {
                static const char lettres[] = "btnfrv", valeurs[] = "\b\t\n\f\r\v";
                const char *trouve = e ? std::strchr(lettres, e) : nullptr;
                champ += trouve ? valeurs[trouve - lettres] : e;
            }
        }
        ligne << (champ.isEmpty() ? QStringLiteral("") : QString::fromUtf8(champ));
    }
    return ligne;
}

// The copy's own result, then none: every one read, so that the connection
// takes the next statement.
PGresult *finDeCopie(PGconn *conn)
{
    PGresult *fin = PQgetResult(conn);
    for (PGresult *reste = PQgetResult(conn); reste; reste = PQgetResult(conn))
        PQclear(reste);
    return fin;
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

qint64 PgConnexion::copieVersServeur(const QString &sql, const std::function<bool(QStringList &)> &suivante)
{
    {
        Resultat debut(PQexec(m_conn, sql.toUtf8().constData()));
        if (!debut.res || PQresultStatus(debut.res) != PGRES_COPY_IN) {
            lignes(debut);
            throw AppError(ErrorNumber::InternalError, QStringLiteral("Ce n'est pas une copie vers le serveur : %1").arg(sql));
        }
    }
    constexpr qsizetype kBloc = 1 << 20;
    QByteArray tampon;
    tampon.reserve(kBloc + 4096);
    const auto envoie = [&] {
        if (!tampon.isEmpty() && PQputCopyData(m_conn, tampon.constData(), int(tampon.size())) != 1)
            injoignable(depuisUtf8(PQerrorMessage(m_conn)));
        tampon.clear();
    };
    qint64 n = 0;
    try {
        QStringList ligne;
        for (;;) {
            ligne.clear();
            if (!suivante(ligne))
                break;
            for (qsizetype i = 0; i < ligne.size(); ++i) {
                if (i > 0)
                    tampon += '\t';
                ajouteChamp(tampon, ligne[i]);
            }
            tampon += '\n';
            ++n;
            if (tampon.size() >= kBloc)
                envoie();
        }
        envoie();
    } catch (...) {
        // The server gives the copy up; its error is not the one to tell.
        if (PQputCopyEnd(m_conn, "abandon") == 1)
            PQclear(finDeCopie(m_conn));
        throw;
    }
    if (PQputCopyEnd(m_conn, nullptr) != 1)
        injoignable(depuisUtf8(PQerrorMessage(m_conn)));
    Resultat fin(finDeCopie(m_conn));
    lignes(fin);
    return n;
}

qint64 PgConnexion::copieDepuisServeur(const QString &sql, const std::function<void(const QStringList &)> &recoit)
{
    {
        Resultat debut(PQexec(m_conn, sql.toUtf8().constData()));
        if (!debut.res || PQresultStatus(debut.res) != PGRES_COPY_OUT) {
            lignes(debut);
            throw AppError(ErrorNumber::InternalError, QStringLiteral("Ce n'est pas une copie depuis le serveur : %1").arg(sql));
        }
    }
    qint64 n = 0;
    std::exception_ptr erreur;
    char *donnees = nullptr;
    int taille;
    // One row at a time, its line end last.
    while ((taille = PQgetCopyData(m_conn, &donnees, 0)) > 0) {
        if (!erreur) {
            try {
                recoit(champs(donnees, donnees[taille - 1] == '\n' ? taille - 1 : taille));
                ++n;
            } catch (...) {
                erreur = std::current_exception();
            }
        }
        PQfreemem(donnees);
    }
    Resultat fin(finDeCopie(m_conn));
    if (erreur)
        std::rethrow_exception(erreur);
    lignes(fin);
    return n;
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
