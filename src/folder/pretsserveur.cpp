#include "folder/pretsserveur.h"

#include "data/pgbase.h"
#include "platform/apperror.h"
#include "platform/durablefile.h"
#include "platform/paths.h"

#include <QFileInfo>

namespace {

// The lending lock's key among the server's advisory locks.
constexpr qint64 kVerrouPrets = 0x4c554d41'00000002;

// Appends the entries of this folder's dead kiosks; returns how many it wrote.
int regle(ContextePrets &module, BaseServeur &serveur, ErreursDifferees *erreurs)
{
    const PgConnexion::Lignes lignes = serveur.connexion().execute(
        QStringLiteral("SELECT luma_cle, journal, taille_avant, encode(entree, 'base64') FROM luma_suivi.prets_en_cours "
                       "WHERE dossier = $1 ORDER BY luma_cle"),
        {identiteDossier(module.CheminBase())});
    int ecrites = 0;
    for (const QStringList &ligne : lignes) {
        const auto etape = [&] {
            const QString journal = ligne[1];
            // Only a day's journal of the folder itself, whatever the row says.
            if (journal.isEmpty() || journal.contains(QLatin1Char('/')) || journal.contains(QLatin1Char('\\'))
                || !journal.endsWith(QLatin1String(".JNL"), Qt::CaseInsensitive))
                throw AppError(ErrorNumber::BadFileName,
                               QStringLiteral("Une écriture en attente sur le serveur désigne un journal invalide "
                                              "(« %1 ») : elle est laissée telle quelle.")
                                   .arg(journal));
            const EntreeJournal entree{nativePath(module.CheminBase() + QLatin1Char('\\') + journal),
                                       QByteArray::fromBase64(ligne[3].toLatin1().replace('\n', QByteArray()))};
            if (repriseAuJournal(entree, ligne[2].toLongLong(), module.attenteVerrou()))
                ++ecrites;
            effacePretEnCours(serveur, ligne[0].toLongLong());
        };
        if (erreurs)
            erreurs->essaie(etape);
        else
            etape();
    }
    return ecrites;
}

} // namespace

QString identiteDossier(const QString &cheminBase)
{
    const QFileInfo info(nativePath(cheminBase));
    const QString canonique = info.canonicalFilePath();
    return canonique.isEmpty() ? info.absoluteFilePath() : canonique;
}

VerrouPretsServeur::VerrouPretsServeur(VerrouPretsServeur &&other) noexcept
    : m_serveur(std::exchange(other.m_serveur, nullptr))
{
}

VerrouPretsServeur &VerrouPretsServeur::operator=(VerrouPretsServeur &&other) noexcept
{
    if (this != &other) {
        this->~VerrouPretsServeur();
        m_serveur = std::exchange(other.m_serveur, nullptr);
    }
    return *this;
}

VerrouPretsServeur::~VerrouPretsServeur()
{
    if (!m_serveur)
        return;
    try {
        m_serveur->connexion().deverrouilleSession(kVerrouPrets);
    } catch (const AppError &) {
        // The connection went, and its locks with it.
    }
}

VerrouPretsServeur verrouPretsServeur(ContextePrets &module, BaseServeur &serveur, ErreursDifferees *erreurs)
{
    serveur.connexion().verrouilleSession(kVerrouPrets, module.attenteVerrou(), QStringLiteral("LUMA.MDB"));
    VerrouPretsServeur verrou(&serveur);
    regle(module, serveur, erreurs);
    return verrou;
}

qint64 inscritPretEnCours(PgConnexion &connexion, ContextePrets &module, const EntreeJournal &entree,
                          const QString &inventaire)
{
    const PgConnexion::Lignes cle = connexion.execute(
        QStringLiteral("INSERT INTO luma_suivi.prets_en_cours (dossier, journal, taille_avant, entree, inventaire) "
                       "VALUES ($1, $2, $3, decode($4, 'base64'), $5) RETURNING luma_cle"),
        {identiteDossier(module.CheminBase()), QFileInfo(entree.fichier).fileName(),
         QString::number(DurableFile::sizeBeforeAppend(entree.fichier)), QString::fromLatin1(entree.octets.toBase64()),
         inventaire});
    return cle.front().front().toLongLong();
}

void effacePretEnCours(BaseServeur &serveur, qint64 cle)
{
    serveur.connexion().execute(QStringLiteral("DELETE FROM luma_suivi.prets_en_cours WHERE luma_cle = $1"),
                                {QString::number(cle)});
}

int reprendPretsServeur(ContextePrets &module, BaseServeur &serveur)
{
    serveur.connexion().verrouilleSession(kVerrouPrets, module.attenteVerrou(), QStringLiteral("LUMA.MDB"));
    VerrouPretsServeur verrou(&serveur);
    ErreursDifferees erreurs(module);
    const int ecrites = regle(module, serveur, &erreurs);
    verrou = VerrouPretsServeur();
    erreurs.signale();
    return ecrites;
}
