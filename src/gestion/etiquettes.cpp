#include "gestion/etiquettes.h"

#include "folder/dossiers.h"
#include "gestion/documentpdf.h"
#include "platform/apperror.h"
#include "platform/paths.h"
#include "platform/picture.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

using DocumentPdf::mm;

namespace {

QString millimetres(double valeur)
{
    return QString::number(valeur, 'g', 4).replace(u'.', u',');
}

// The number's digits as large as the box allows, the font's whole height
// (accents and descenders included) in the box, so nothing crosses the cut.
QFont policeNumero(const QString &numero, const QRectF &boite, const QPaintDevice *device)
{
    QFont font = DocumentPdf::police(10, true);
    const QFontMetricsF metriques(font, device);
    const double largeur = std::max(metriques.horizontalAdvance(numero), 1.0);
    const double echelle = std::min(boite.height() / metriques.height(), boite.width() / largeur);
    font.setPointSizeF(font.pointSizeF() * echelle * 0.98);
    return font;
}

// The title on at most `lignes` lines, cut at a word where it can be, the
// last line ending with an ellipsis when the rest does not fit.
QStringList lignesTitre(const QString &titre, const QFontMetricsF &metriques, double largeur, int lignes)
{
    QStringList sortie;
    QString reste = titre.simplified();
    while (!reste.isEmpty() && sortie.size() < lignes) {
        if (sortie.size() == lignes - 1 || metriques.horizontalAdvance(reste) <= largeur) {
            sortie << metriques.elidedText(reste, Qt::ElideRight, largeur);
            break;
        }
        int coupe = -1;
        for (int i = reste.indexOf(u' '); i > 0; i = reste.indexOf(u' ', i + 1)) {
            if (metriques.horizontalAdvance(reste.left(i)) > largeur)
                break;
            coupe = i;
        }
        if (coupe <= 0) {
            sortie << metriques.elidedText(reste, Qt::ElideRight, largeur);
            break;
        }
        sortie << reste.left(coupe);
        reste = reste.mid(coupe + 1);
    }
    return sortie;
}

void dessineEtiquette(QPainter &p, const QRectF &etiquetteMm, const LivreEtiquette &livre, const QString &couverture)
{
    // Inside the label, away from its rounded corners and from the cut.
    const double bord = std::min(2.5, etiquetteMm.height() * 0.09);
    const QRectF interieur = DocumentPdf::mmRect(etiquetteMm.adjusted(bord, bord, -bord, -bord));
    const double ecart = mm(1.5);
    const QSizeF boiteCouverture(std::min(interieur.height() * 0.78, interieur.width() * 0.3), interieur.height());

    // The title's lines at the bottom: two on the larger labels.
    const int lignes = etiquetteMm.height() >= 30 && etiquetteMm.width() >= 60 ? 2 : 1;
    const QFont policeTitre = DocumentPdf::police(std::clamp(interieur.height() * 0.13, mm(1.8), mm(2.8)) / mm(1));
    const QFontMetricsF metriquesTitre(policeTitre, p.device());
    const double hauteurTitre = metriquesTitre.lineSpacing() * lignes;

    // Every label of the sheet has its number the same size, as if it had a
    // cover beside it; without one, number and title take the whole width.
    const QString numero = livre.inventaire.trimmed();
    const QSizeF boiteNumero(interieur.width() - boiteCouverture.width() - ecart,
                             interieur.height() - hauteurTitre - mm(0.5));
    const QFont policeChiffres = policeNumero(numero, QRectF(QPointF(), boiteNumero), p.device());

    double gauche = interieur.left();
    const QImage image = couverture.isEmpty() ? QImage() : Picture::readThumbnail(couverture, boiteCouverture.toSize());
    if (!image.isNull()) {
        const QSizeF taille = QSizeF(image.size()).scaled(boiteCouverture, Qt::KeepAspectRatio);
        const QRectF cible(QPointF(interieur.left(), interieur.center().y() - taille.height() / 2), taille);
        p.drawImage(cible, image);
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), mm(0.15)));
        p.setBrush(Qt::NoBrush);
        p.drawRect(cible);
        gauche = cible.right() + ecart;
    }
    const QRectF zone(QPointF(gauche, interieur.top()), interieur.bottomRight());

    p.setPen(Qt::black);
    p.setFont(policeChiffres);
    p.drawText(QRectF(zone.topLeft(), QSizeF(zone.width(), boiteNumero.height())), Qt::AlignCenter, numero);

    p.setFont(policeTitre);
    p.setPen(QColor(0x33, 0x33, 0x33));
    const QStringList titre = lignesTitre(livre.titre, metriquesTitre, zone.width(), lignes);
    double y = zone.bottom() - metriquesTitre.lineSpacing() * titre.size();
    for (const QString &ligne : titre) {
        p.drawText(QRectF(zone.left(), y, zone.width(), metriquesTitre.lineSpacing()), Qt::AlignHCenter | Qt::AlignVCenter,
                   ligne);
        y += metriquesTitre.lineSpacing();
    }
}

} // namespace

QRectF PlancheEtiquettes::rectangle(int position) const
{
    const int colonne = position % colonnes;
    const int ligne = position / colonnes;
    return {margeGauche + colonne * pasHorizontal, margeHaut + ligne * pasVertical, largeur, hauteur};
}

QString PlancheEtiquettes::libelle() const
{
    return QStringLiteral("%1 – %2 étiquettes (%3 × %4) de %5 × %6 mm")
        .arg(nom)
        .arg(parPage())
        .arg(colonnes)
        .arg(lignes)
        .arg(millimetres(largeur), millimetres(hauteur));
}

const std::vector<PlancheEtiquettes> &planchesEtiquettes()
{
    // The makers' published measures. The margins of each sheet add up with
    // its labels and gaps to 210 × 297 mm.
    static const std::vector<PlancheEtiquettes> planches = {
        {QStringLiteral("Avery L7160"), 3, 7, 63.5, 38.1, 7.21, 15.15, 66.04, 38.1},
        {QStringLiteral("Avery L7159"), 3, 8, 63.5, 33.9, 7.21, 12.9, 66.04, 33.9},
        {QStringLiteral("Avery L7163"), 2, 7, 99.1, 38.1, 4.65, 15.15, 101.6, 38.1},
        {QStringLiteral("Avery L7162"), 2, 8, 99.1, 33.9, 4.65, 12.9, 101.6, 33.9},
        {QStringLiteral("Avery L7651"), 5, 13, 38.1, 21.2, 4.7, 10.7, 40.6, 21.2},
        // Labels from one side of the sheet to the other, half a millimetre
        // left above and below.
        {QStringLiteral("Planche bord à bord"), 3, 8, 70, 37, 0, 0.5, 70, 37},
    };
    return planches;
}

PlaceEtiquette placeEtiquette(const PlancheEtiquettes &planche, int premierePosition, int index)
{
    const int rang = premierePosition - 1 + index;
    return {rang / planche.parPage(), rang % planche.parPage()};
}

int nombrePagesEtiquettes(const PlancheEtiquettes &planche, int premierePosition, int nombreLivres)
{
    if (nombreLivres <= 0)
        return 0;
    return placeEtiquette(planche, premierePosition, nombreLivres - 1).page + 1;
}

void ecrisEtiquettes(const QString &fichier, const PlancheEtiquettes &planche, int premierePosition,
                     const QList<LivreEtiquette> &livres, const QString &dossierBase)
{
    if (livres.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("Aucun livre n'est choisi : il n'y a pas d'étiquette à créer."));
    if (planche.parPage() <= 0 || premierePosition < 1 || premierePosition > planche.parPage())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("La première étiquette libre doit être entre 1 et %1 sur une planche %2.")
                           .arg(std::max(planche.parPage(), 1))
                           .arg(planche.nom));

    DocumentPdf::ecris(fichier, QStringLiteral("Étiquettes des livres"), [&](QPdfWriter &pdf, QPainter &p) {
        // One listing of the covers' folder for all the books.
        FolderListings listings;
        int page = 0;
        for (int i = 0; i < livres.size(); ++i) {
            const PlaceEtiquette place = placeEtiquette(planche, premierePosition, i);
            for (; page < place.page; ++page)
                pdf.newPage();
            const QString couverture = dossierBase.isEmpty()
                                           ? QString()
                                           : fichierCouverture(dossierBase, livres[i].inventaire.trimmed(), &listings);
            dessineEtiquette(p, planche.rectangle(place.position), livres[i], couverture);
        }
    });
}
