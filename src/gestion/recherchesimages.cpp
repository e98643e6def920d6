#include "gestion/recherchesimages.h"

#include "data/jetliteral.h"
#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/durablefile.h"
#include "platform/paths.h"
#include "platform/sonsboutons.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString kRequetes = QStringLiteral("REQUETES");

// "07-" before a name: the place the teacher gave it.
const QRegularExpression &numero()
{
    static const QRegularExpression re(QStringLiteral("^(\\d+)-"));
    return re;
}

QString sansNumero(const QString &nom)
{
    QString reste = nom;
    return reste.remove(numero());
}

// Holds the requests' lock while a change is made: two teachers' programs
// never interleave their changes. The kiosks only read.
DurableFile::FileLock verrou(const QString &base)
{
    const QString enCours = base + QStringLiteral("/EN-COURS");
    DurableFile::makeFolder(enCours);
    return DurableFile::FileLock::take(enCours + QStringLiteral("/REQUETES.LCK"));
}

[[noreturn]] void changeeAilleurs(const QString &fichier)
{
    throw AppError(ErrorNumber::ChangedByAnother,
                   QStringLiteral("La recherche « %1 » a été modifiée sur un autre poste pendant que vous la "
                                  "regardiez. Actualisez la liste, puis recommencez.")
                       .arg(fichier));
}

// The file as it stands now; empty when it is gone.
QByteArray octetsActuels(const QString &chemin, bool *existe)
{
    *existe = QFileInfo::exists(chemin) || QFileInfo(chemin).isSymLink();
    return *existe ? DataFile::readAll(chemin, DataFile::kTextLimit) : QByteArray();
}

// Every file name of a folder, in capitals: the names a new file must not
// take on a disk that ignores case.
QStringList nomsPris(const QString &dossier)
{
    QStringList noms;
    for (const QString &nom : QDir(dossier).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        noms << nom.toUpper();
    return noms;
}

bool utilise(const QList<FicheRequete> &requetes, const QString &fichierExclu, bool image, const QString &nom)
{
    return std::any_of(requetes.begin(), requetes.end(), [&](const FicheRequete &r) {
        return r.fichier != fichierExclu &&
               (image ? r.contenu.image : r.contenu.son).compare(nom, Qt::CaseInsensitive) == 0;
    });
}

QString motif(const QString &mot)
{
    return QStringLiteral("'*") + jetSearchWord(mot) + QStringLiteral("*'");
}

} // namespace

RecherchesImages::RecherchesImages(QString base) : m_base(std::move(base)) {}

QString RecherchesImages::dossier(const QString &nom) const
{
    return m_base + u'/' + nom;
}

QList<FicheRequete> RecherchesImages::liste() const
{
    QList<FicheRequete> requetes;
    const QString dossierRequetes = dossier(kRequetes);
    if (!QFileInfo(dossierRequetes).isDir())
        return requetes;
    for (const QString &nom : filesWithExtension(dossierRequetes, QStringLiteral(".RQT"))) {
        FicheRequete fiche;
        fiche.fichier = nom;
        try {
            fiche.octets = DataFile::readAll(dossierRequetes + u'/' + nom, DataFile::kTextLimit);
            fiche.contenu = decodeRequete(fiche.octets);
        } catch (const AppError &erreur) {
            fiche.erreur = erreur.description();
        }
        requetes << fiche;
    }
    return requetes;
}

QString RecherchesImages::radical(const QString &titre)
{
    QString lettres;
    for (const QChar c : titre.normalized(QString::NormalizationForm_KD))
        if (c.unicode() < 128)
            lettres += c.toUpper();
    static const QRegularExpression article(QStringLiteral("^\\s*(LES|LE|LA|L'|DES|UN|UNE|DU|AUX|AU)\\b\\s*'?"));
    lettres.remove(article);
    QString radical;
    for (const QChar c : std::as_const(lettres))
        if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
            radical += c;
    radical.truncate(8);
    return radical.isEmpty() ? QStringLiteral("RECHERCH") : radical;
}

QString RecherchesImages::nomLibre(const QString &sousDossier, const QString &titre, const QString &extension,
                                   const QStringList &interdits) const
{
    QStringList pris = nomsPris(dossier(sousDossier));
    for (const QString &nom : interdits)
        pris << nom.toUpper();
    const QString base = radical(titre);
    for (int n = 1;; ++n) {
        const QString suffixe = n == 1 ? QString() : QString::number(n);
        const QString nom = base.left(8 - suffixe.size()) + suffixe + extension;
        if (!pris.contains(nom))
            return nom;
    }
}

QString RecherchesImages::nomMedia(const FicheRequete *fiche, const QString &titre, bool image) const
{
    const QString sousDossier = image ? QStringLiteral("IMAGES") : QStringLiteral("SONS");
    if (fiche) {
        const QString actuel = image ? fiche->contenu.image : fiche->contenu.son;
        const QFileInfo info(dossier(sousDossier) + u'/' + actuel);
        const bool aLui = !actuel.isEmpty() && actuel.compare(QStringLiteral(".BMP"), Qt::CaseInsensitive) != 0 &&
                          isSafeFileName(actuel) && !utilise(liste(), fiche->fichier, image, actuel) &&
                          (!info.exists() || (info.isFile() && !info.isSymLink()));
        const bool bouton = !image && std::any_of(sonsBoutons().begin(), sonsBoutons().end(), [&](const SonBouton &s) {
                                return s.fichier.compare(actuel, Qt::CaseInsensitive) == 0;
                            });
        if (aLui && !bouton)
            return actuel;
    }
    QStringList interdits;
    for (const FicheRequete &r : liste())
        interdits << (image ? r.contenu.image : r.contenu.son);
    if (!image)
        for (const SonBouton &s : sonsBoutons())
            interdits << s.fichier;
    return nomLibre(sousDossier, titre, image ? QStringLiteral(".BMP") : QStringLiteral(".WAV"), interdits);
}

QString RecherchesImages::nomImage(const FicheRequete *fiche, const QString &titre) const
{
    return nomMedia(fiche, titre, true);
}

QString RecherchesImages::nomSon(const FicheRequete *fiche, const QString &titre) const
{
    return nomMedia(fiche, titre, false);
}

void RecherchesImages::ecrisNouveau(const QString &fichier, const QByteArray &octets)
{
    DurableFile::makeFolder(dossier(kRequetes));
    if (nomsPris(dossier(kRequetes)).contains(fichier.toUpper()))
        throw AppError(ErrorNumber::FileAlreadyExists,
                       QStringLiteral("Une recherche « %1 » existe déjà.").arg(fichier));
    DurableFile::writeFileAtomically(dossier(kRequetes) + u'/' + fichier, octets);
}

FicheRequete RecherchesImages::ajoute(const ContenuRequete &contenu)
{
    const QByteArray octets = encodeRequete(contenu);
    const auto tenu = verrou(m_base);
    const QList<FicheRequete> requetes = liste();
    QString fichier = nomLibre(kRequetes, contenu.titre, QStringLiteral(".RQT"));
    // Numbered requests: the new one goes last.
    const bool numerotees = !requetes.isEmpty() && std::all_of(requetes.begin(), requetes.end(), [](const FicheRequete &r) {
        return numero().match(r.fichier).hasMatch();
    });
    if (numerotees) {
        const int dernier = numero().match(requetes.last().fichier).captured(1).toInt();
        const int largeur = int(numero().match(requetes.last().fichier).captured(1).size());
        fichier = QStringLiteral("%1-").arg(dernier + 1, largeur, 10, QLatin1Char('0')) + fichier;
    }
    ecrisNouveau(fichier, octets);
    return {fichier, contenu, octets, {}};
}

FicheRequete RecherchesImages::modifie(const FicheRequete &avant, const ContenuRequete &apres)
{
    const QByteArray octets = encodeRequete(apres);
    const auto tenu = verrou(m_base);
    const QString chemin = dossier(kRequetes) + u'/' + avant.fichier;
    bool existe = false;
    const QByteArray actuels = octetsActuels(chemin, &existe);
    if (!existe)
        throw AppError(ErrorNumber::RecordDeleted,
                       QStringLiteral("La recherche « %1 » a été supprimée sur un autre poste.").arg(avant.fichier));
    if (actuels != avant.octets)
        changeeAilleurs(avant.fichier);
    if (octets != actuels)
        DurableFile::writeFileAtomically(chemin, octets);
    return {avant.fichier, apres, octets, {}};
}

FicheRequete RecherchesImages::duplique(const FicheRequete &source)
{
    const auto tenu = verrou(m_base);
    // "CHATS.RQT" gives "CHATS2.RQT", "03-CHATS.RQT" "03-CHATS2.RQT": just after it.
    const QString prefixe = numero().match(source.fichier).captured(0);
    const QString reste = sansNumero(source.fichier);
    const QString radicalSource = reste.left(reste.lastIndexOf(u'.'));
    const QStringList pris = nomsPris(dossier(kRequetes));
    QString fichier;
    for (int n = 2; fichier.isEmpty() || pris.contains(fichier.toUpper()); ++n) {
        const QString suffixe = QString::number(n);
        fichier = prefixe + radicalSource.left(std::max<qsizetype>(8 - suffixe.size(), 1)) + suffixe + QStringLiteral(".RQT");
    }
    ecrisNouveau(fichier, source.octets);
    return {fichier, source.contenu, source.octets, {}};
}

void RecherchesImages::supprime(const FicheRequete &avant)
{
    const auto tenu = verrou(m_base);
    const QString chemin = dossier(kRequetes) + u'/' + avant.fichier;
    bool existe = false;
    if (octetsActuels(chemin, &existe) != avant.octets && existe)
        changeeAilleurs(avant.fichier);
    if (existe && !QFile::remove(chemin))
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("La recherche « %1 » n'a pas pu être supprimée.").arg(avant.fichier));
    // Its picture and sound go with it, unless another request uses them.
    retire(avant.contenu);
    DurableFile::syncFolder(dossier(kRequetes));
}

void RecherchesImages::retireInutilises(const ContenuRequete &ancien)
{
    const auto tenu = verrou(m_base);
    retire(ancien);
}

void RecherchesImages::retire(const ContenuRequete &ancien) const
{
    const QList<FicheRequete> requetes = liste();
    // A regular file only, that no request names any more, never a button's sound.
    const auto enleve = [&](const QString &sousDossier, const QString &nom, bool image) {
        if (nom.isEmpty() || !isSafeFileName(nom) || utilise(requetes, QString(), image, nom))
            return;
        if (!image && std::any_of(sonsBoutons().begin(), sonsBoutons().end(), [&](const SonBouton &s) {
                return s.fichier.compare(nom, Qt::CaseInsensitive) == 0;
            }))
            return;
        const QString present = presentFilePath(QDir::toNativeSeparators(dossier(sousDossier) + u'/' + nom));
        const QFileInfo info(present);
        if (!present.isEmpty() && info.isFile() && !info.isSymLink())
            QFile::remove(present);
    };
    enleve(QStringLiteral("IMAGES"), ancien.image, true);
    enleve(QStringLiteral("SONS"), ancien.son, false);
}

void RecherchesImages::deplace(const QList<FicheRequete> &vus, int de, int vers)
{
    if (de < 0 || de >= vus.size() || vers < 0 || vers >= vus.size() || de == vers)
        return;
    const auto tenu = verrou(m_base);
    const QString dossierRequetes = dossier(kRequetes);
    QStringList noms = filesWithExtension(dossierRequetes, QStringLiteral(".RQT"));
    QStringList nomsVus;
    for (const FicheRequete &r : vus)
        nomsVus << r.fichier;
    if (noms != nomsVus)
        throw AppError(ErrorNumber::ChangedByAnother,
                       QStringLiteral("La liste des recherches a changé sur un autre poste. Actualisez-la, puis "
                                      "recommencez."));
    noms.move(de, vers);
    const int largeur = std::max(2, int(QString::number(noms.size()).size()));
    // Each name its place: the kiosk lists the files by name.
    QList<std::pair<QString, QString>> renommages;
    for (int i = 0; i < noms.size(); ++i) {
        const QString cible = QStringLiteral("%1-").arg(i + 1, largeur, 10, QLatin1Char('0')) + sansNumero(noms[i]);
        if (cible != noms[i])
            renommages.append({noms[i], cible});
    }
    // A name may be one another file is about to leave: rename first the
    // files whose new name is free; a cycle goes through a name no reader lists.
    int provisoires = 0;
    while (!renommages.isEmpty()) {
        const QStringList pris = nomsPris(dossierRequetes);
        auto libre = std::find_if(renommages.begin(), renommages.end(),
                                  [&](const auto &r) { return !pris.contains(r.second.toUpper()); });
        if (libre == renommages.end()) {
            libre = renommages.begin();
            const QString provisoire = QStringLiteral("~deplacement%1.tmp").arg(++provisoires);
            if (!QDir(dossierRequetes).rename(libre->first, provisoire))
                throw AppError(ErrorNumber::PermissionDenied,
                               QStringLiteral("La recherche « %1 » n'a pas pu être renommée.").arg(libre->first));
            libre->first = provisoire;
            continue;
        }
        if (!QDir(dossierRequetes).rename(libre->first, libre->second))
            throw AppError(ErrorNumber::PermissionDenied,
                           QStringLiteral("La recherche « %1 » n'a pas pu être renommée.").arg(libre->first));
        renommages.erase(libre);
    }
    DurableFile::syncFolder(dossierRequetes);
}

int RecherchesImages::utilisant(const QString &mot) const
{
    const QList<FicheRequete> requetes = liste();
    return int(std::count_if(requetes.begin(), requetes.end(), [&](const FicheRequete &r) {
        return r.contenu.tete.contains(motif(mot), Qt::CaseInsensitive);
    }));
}

int RecherchesImages::renommeMot(const QString &ancien, const QString &nouveau)
{
    int changees = 0;
    for (const FicheRequete &r : liste()) {
        if (!r.erreur.isEmpty() || !r.contenu.tete.contains(motif(ancien), Qt::CaseInsensitive))
            continue;
        ContenuRequete apres = r.contenu;
        apres.tete.replace(motif(ancien), motif(nouveau), Qt::CaseInsensitive);
        modifie(r, apres);
        ++changees;
    }
    return changees;
}
