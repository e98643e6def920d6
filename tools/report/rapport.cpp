#include "rapport.h"

#include "data/cursor.h"
#include "data/database.h"
#include "data/pgbase.h"
#include "folder/baseini.h"
#include "folder/champs.h"
#include "platform/picture.h"
#include "platform/paths.h"

#include <QHash>
#include <QLocale>
#include <QMap>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The kiosk's own queries, with the fields the report shows.
const QString kClasses =
    QStringLiteral("SELECT équipenuméro, équipeinstituteur FROM équipe ORDER BY équipenuméro ASC");
const QString kEnfants = QStringLiteral(
    "SELECT matricule, nomenfant, prénomenfant, classe, niveau FROM enfants ORDER BY nomenfant, prénomenfant");
// A loan made at a kiosk, as the child choice screen looks for it.
const QString kPrets = QStringLiteral(
    "SELECT inventaire, titre, éditeur, emprunteur, dateemprunt FROM luma "
    "WHERE emprunté LIKE 'O' AND catégorieemprunteur LIKE 'école' ORDER BY inventaire ASC");
const QString kPlusEmpruntes = QStringLiteral(
    "SELECT TOP 10 inventaire, titre, cumul, emprunté FROM luma WHERE Val(cumul) > 0 "
    "ORDER BY Val(cumul) DESC, inventaire ASC");

// A class number as the children's class field writes it: two digits.
QString numeroClasse(long long n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// A matricule as the kiosk compares it: case ignored, trailing blanks too.
QString cleMatricule(const QString &matricule)
{
    QString key = matricule;
    while (!key.isEmpty() && key.back().isSpace())
        key.chop(1);
    return key.toCaseFolded();
}

// The pictures, last: each file found as the kiosk finds it (the folders
// read once for all the names that differ in case), then read in small on
// every processor, since a school's photographs may be large.
void lisImages(RapportPrets &rapport)
{
    struct Image
    {
        QString fichier;
        int cote;
        QImage *vignette;
    };
    std::vector<Image> images;
    FolderListings dossiers;
    const QString &base = rapport.dossiers.base;
    const QString &ecole = rapport.dossiers.ecole;
    const auto couverture = [&](PretRapport &pret) {
        images.push_back({fichierCouverture(base, pret.inventaire.trimmed(), &dossiers), kVignette, &pret.couverture});
    };
    for (ClasseRapport &classe : rapport.classes) {
        if (classe.connue)
            images.push_back({fichierImageClasse(ecole, classe.numero.toInt(), &dossiers), 240, &classe.image});
        for (EnfantRapport &enfant : classe.enfants) {
            images.push_back({fichierPhotoEnfant(ecole, enfant.matricule.trimmed(), &dossiers), kVignette, &enfant.photo});
            for (PretRapport &pret : enfant.prets)
                couverture(pret);
        }
    }
    for (PretRapport &pret : rapport.inconnus)
        couverture(pret);
    for (LivreEmprunte &livre : rapport.plusEmpruntes)
        images.push_back({fichierCouverture(base, livre.inventaire.trimmed(), &dossiers), kVignette, &livre.couverture});

    QThreadPool lecteurs;
    for (const Image &image : images) {
        if (!image.fichier.isEmpty())
            lecteurs.start([image] { *image.vignette = Picture::readThumbnail(image.fichier, {image.cote, image.cote}); });
    }
    lecteurs.waitForDone();
}

PretRapport pretDe(const QStringList &row, const QDate &aujourdhui, int retard)
{
    PretRapport pret;
    pret.inventaire = row.value(0);
    pret.titre = row.value(1);
    pret.editeur = row.value(2);
    pret.emprunteur = row.value(3);
    pret.dateTexte = row.value(4);
    pret.date = parseLoanDate(pret.dateTexte);
    if (pret.date.isValid()) {
        pret.jours = pret.date.daysTo(aujourdhui);
        pret.enRetard = *pret.jours > retard;
    }
    return pret;
}

} // namespace

DossiersLuma dossiersDuRapport(const QString &dossier)
{
    const QString donnees = nativePath(dossier + QStringLiteral("\\LALUMA"));
    const auto donneesIci = [](const QString &d) {
        return isNormalFile(d + QStringLiteral("\\LUMA.MDB")) || isNormalFile(d + QStringLiteral("\\BASE.INI"));
    };
    if (!donneesIci(dossier) && donneesIci(donnees))
        return trouveDossiers(donnees);
    return trouveDossiers(dossier);
}

RapportPrets lisRapport(const DossiersLuma &dossiers, const QDateTime &maintenant, int retard)
{
    RapportPrets rapport;
    rapport.dossiers = dossiers;
    rapport.maintenant = maintenant;
    rapport.retard = retard;

    // Everything is read first, each table in one statement, so that the
    // files are held no longer than the reading; pictures come after.
    struct Enfant
    {
        QStringList champs;
        QList<PretRapport> prets;
    };
    QList<QStringList> classes;
    QList<Enfant> enfants;
    QList<PretRapport> prets;
    QList<QStringList> plusEmpruntes;
    const auto lis = [&](const std::shared_ptr<BaseServeur> &serveur, const QString &fichier,
                         const QList<std::pair<QString, std::function<void(const QStringList &)>>> &requetes) {
        if (serveur) {
            for (const auto &[requete, visite] : requetes)
                forEachRow(*serveur, fichier, requete, visite);
            return;
        }
        const auto db = Database::open(nativePath(fichier), Database::Mode::ReadOnly);
        for (const auto &[requete, visite] : requetes)
            forEachRow(*db, requete, visite);
    };
    // A folder whose databases are on its server (BASE.INI) is read there.
    const std::shared_ptr<BaseServeur> serveur = serveurDuDossier(dossiers.base);
    const QDate aujourdhui = maintenant.date();
    lis(serveur, dossiers.ecole + QStringLiteral("\\ALTEMARE.MDB"),
        {{kClasses, [&](const QStringList &row) { classes << row; }},
         {kEnfants, [&](const QStringList &row) { enfants.append({row, {}}); }}});
    lis(serveur, dossiers.base + QStringLiteral("\\LUMA.MDB"),
        {{kPrets, [&](const QStringList &row) { prets << pretDe(row, aujourdhui, retard); }},
         {kPlusEmpruntes, [&](const QStringList &row) { plusEmpruntes << row; }}});
    rapport.enfants = int(enfants.size());

    // Each loan to its child; a matricule no child has is an unknown borrower.
    QHash<QString, qsizetype> parMatricule;
    for (qsizetype i = 0; i < enfants.size(); ++i)
        parMatricule.insert(cleMatricule(enfants[i].champs.value(0)), i);
    for (PretRapport &pret : prets) {
        ++rapport.prets;
        rapport.retards += pret.enRetard ? 1 : 0;
        const auto found = parMatricule.constFind(cleMatricule(pret.emprunteur));
        if (found == parMatricule.constEnd() || pret.emprunteur.trimmed().isEmpty())
            rapport.inconnus << pret;
        else
            enfants[*found].prets << pret;
    }

    // The classes in the order of their numbers; a later class of the same
    // number gives its teacher, as on the class choice screen.
    QMap<long long, ClasseRapport> parNumero;
    for (const QStringList &row : std::as_const(classes)) {
        const long long n = std::llround(valeurNumerique(row.value(0)));
        ClasseRapport &classe = parNumero[n];
        classe.numero = numeroClasse(n);
        classe.instituteur = row.value(1);
    }
    // Children whose class is not in the class list, after the others.
    QMap<long long, ClasseRapport> sansClasse;
    for (const Enfant &e : std::as_const(enfants)) {
        const long long n = std::llround(valeurNumerique(e.champs.value(3)));
        ClasseRapport *classe = nullptr;
        if (parNumero.contains(n)) {
            classe = &parNumero[n];
        } else {
            classe = &sansClasse[n];
            classe->numero = numeroClasse(n);
            classe->connue = false;
        }
        ++classe->effectif;
        if (e.prets.isEmpty())
            continue;
        EnfantRapport enfant;
        enfant.matricule = e.champs.value(0);
        enfant.nom = e.champs.value(1);
        enfant.prenom = e.champs.value(2);
        enfant.niveau = e.champs.value(4);
        enfant.prets = e.prets;
        for (const PretRapport &pret : std::as_const(enfant.prets))
            classe->retards += pret.enRetard ? 1 : 0;
        classe->enfants << enfant;
        ++rapport.enfantsAvecPret;
    }
    rapport.classes = parNumero.values();
    for (const ClasseRapport &classe : std::as_const(sansClasse))
        if (!classe.enfants.isEmpty())
            rapport.classes << classe;

    for (const QStringList &row : std::as_const(plusEmpruntes)) {
        LivreEmprunte livre;
        livre.inventaire = row.value(0);
        livre.titre = row.value(1);
        livre.cumul = valeurNumerique(row.value(2));
        livre.enPret = row.value(3).trimmed().compare(QStringLiteral("O"), Qt::CaseInsensitive) == 0;
        rapport.plusEmpruntes << livre;
    }
    lisImages(rapport);
    return rapport;
}

namespace TexteRapport {

QString titre()
{
    return QStringLiteral("Qui a quel livre ?");
}

QString dateLongue(const QDateTime &moment)
{
    const QLocale francais(QLocale::French, QLocale::France);
    return francais.toString(moment.date(), QStringLiteral("dddd d MMMM yyyy")) +
           QStringLiteral(" à %1 h %2").arg(moment.time().hour()).arg(moment.time().minute(), 2, 10, QLatin1Char('0'));
}

QString duree(const PretRapport &pret)
{
    if (pret.dateTexte.trimmed().isEmpty())
        return QStringLiteral("date inconnue");
    if (!pret.jours)
        return QStringLiteral("date illisible");
    const qint64 jours = *pret.jours;
    if (jours < 0)
        return QStringLiteral("date à venir");
    if (jours == 0)
        return QStringLiteral("aujourd'hui");
    return jours == 1 ? QStringLiteral("1 jour") : QStringLiteral("%1 jours").arg(jours);
}

QString datePret(const PretRapport &pret)
{
    if (pret.date.isValid())
        return pret.date.toString(QStringLiteral("dd/MM/yyyy"));
    return pret.dateTexte.trimmed();
}

QString nomEnfant(const EnfantRapport &enfant)
{
    const QString nom = (enfant.prenom.trimmed() + QLatin1Char(' ') + enfant.nom.trimmed()).trimmed();
    return nom.isEmpty() ? QStringLiteral("(sans nom, matricule %1)").arg(enfant.matricule) : nom;
}

QString titreClasse(const ClasseRapport &classe)
{
    return QStringLiteral("Classe ") + classe.numero;
}

QString resumeClasse(const ClasseRapport &classe)
{
    const int avecPret = int(classe.enfants.size());
    if (avecPret == 0)
        return QStringLiteral("Aucun prêt en cours (%1 enfant%2).")
            .arg(classe.effectif)
            .arg(classe.effectif > 1 ? QStringLiteral("s") : QString());
    QString texte = QStringLiteral("%1 enfant%2 sur %3 %4 un livre")
                        .arg(avecPret)
                        .arg(avecPret > 1 ? QStringLiteral("s") : QString())
                        .arg(classe.effectif)
                        .arg(avecPret > 1 ? QStringLiteral("ont") : QStringLiteral("a"));
    if (classe.retards > 0)
        texte += QStringLiteral(", dont %1 en retard").arg(classe.retards);
    return texte + QLatin1Char('.');
}

QString resumeGeneral(const RapportPrets &rapport)
{
    if (rapport.prets == 0)
        return QStringLiteral("Aucun livre n'est prêté en ce moment.");
    QString texte = QStringLiteral("%1 livre%2 prêté%2").arg(rapport.prets).arg(rapport.prets > 1 ? "s" : "");
    if (rapport.retards > 0)
        texte += QStringLiteral(", dont %1 en retard (plus de %2 jours)").arg(rapport.retards).arg(rapport.retard);
    return texte + QLatin1Char('.');
}

QString motRetard()
{
    return QStringLiteral("EN RETARD");
}

} // namespace TexteRapport
