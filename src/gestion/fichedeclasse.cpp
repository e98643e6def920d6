#include "gestion/fichedeclasse.h"

#include "data/jetfunctions.h"
#include "folder/dossiers.h"
#include "gestion/documentpdf.h"
#include "platform/paths.h"
#include "platform/picture.h"

#include <QDate>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

using DocumentPdf::mm;

namespace {

// The page, in millimetres: 6 columns of 6 children, a class of the kiosk's
// 35 on one page.
constexpr double kMarge = 12;
constexpr double kTitre = 22;
constexpr int kColonnes = 6;
constexpr int kLignes = 6;
constexpr double kLargeurCase = (210 - 2 * kMarge) / kColonnes;
constexpr double kHauteurCase = (297 - 2 * kMarge - kTitre) / kLignes;
constexpr double kPhoto = 30; // height of a photograph's box
constexpr double kPrenom = 4.2;
constexpr double kNom = 3.2;

const QColor kEncre(0x22, 0x2a, 0x35);
const QColor kGris(0x6b, 0x72, 0x80);
const QColor kVide(0xee, 0xf0, 0xf3);

// A line of text in its box; a text too long is made smaller, down to
// `retrecir` of its size, before it is cut with an ellipsis.
void texte(QPainter &p, const QRectF &boite, const QString &texte, QFont font, const QColor &couleur,
           Qt::Alignment align = Qt::AlignHCenter | Qt::AlignVCenter, double retrecir = 1)
{
    const QString ligne = texte.simplified();
    const double largeur = QFontMetricsF(font, p.device()).horizontalAdvance(ligne);
    if (largeur > boite.width())
        font.setPointSizeF(font.pointSizeF() * std::max(retrecir, boite.width() / largeur));
    p.setFont(font);
    p.setPen(couleur);
    p.drawText(boite, align, QFontMetricsF(font, p.device()).elidedText(ligne, Qt::ElideRight, boite.width()));
}

void dessineEntete(QPainter &p, const ClasseFiche &classe, int page, int pages)
{
    const double largeur = 210 - 2 * kMarge;
    QString titre = QStringLiteral("Classe %1").arg(classe.numero);
    if (!classe.instituteur.trimmed().isEmpty())
        titre += QStringLiteral(" – ") + classe.instituteur.simplified();
    texte(p, DocumentPdf::mmRect({kMarge, kMarge, largeur, 10}), titre, DocumentPdf::police(7, true), kEncre,
          Qt::AlignLeft | Qt::AlignVCenter);
    const int n = int(classe.enfants.size());
    QString sousTitre = n == 0   ? QStringLiteral("Aucun enfant")
                        : n == 1 ? QStringLiteral("1 enfant")
                                 : QStringLiteral("%1 enfants").arg(n);
    sousTitre += QStringLiteral(" – fiche du ") + QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    if (pages > 1)
        sousTitre += QStringLiteral(" – page %1 / %2").arg(page + 1).arg(pages);
    texte(p, DocumentPdf::mmRect({kMarge, kMarge + 11, largeur, 6}), sousTitre, DocumentPdf::police(4), kGris,
          Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(QPen(kGris, mm(0.2)));
    p.drawLine(QPointF(mm(kMarge), mm(kMarge + kTitre - 3)), QPointF(mm(210 - kMarge), mm(kMarge + kTitre - 3)));
}

void dessineEnfant(QPainter &p, const QRectF &caseMm, const EnfantFiche &enfant, const QString &dossierEcole,
                   FolderListings &listings)
{
    const QRectF boite = DocumentPdf::mmRect({caseMm.x() + 1.5, caseMm.y(), caseMm.width() - 3, kPhoto});
    const QString fichier = fichierPhotoEnfant(dossierEcole, enfant.matricule.trimmed(), &listings);
    const QImage photo = fichier.isEmpty() ? QImage() : Picture::readThumbnail(fichier, boite.size().toSize());
    if (!photo.isNull()) {
        const QSizeF taille = QSizeF(photo.size()).scaled(boite.size(), Qt::KeepAspectRatio);
        const QRectF cible(boite.center() - QPointF(taille.width() / 2, taille.height() / 2), taille);
        p.drawImage(cible, photo);
    } else {
        // A missing photograph must stand out, and say whether the file is
        // missing or cannot be read.
        p.setPen(QPen(kGris, mm(0.3), Qt::DashLine));
        p.setBrush(kVide);
        p.drawRoundedRect(boite, mm(2), mm(2));
        p.setBrush(Qt::NoBrush);
        texte(p, boite, fichier.isEmpty() ? QStringLiteral("Pas de photo") : QStringLiteral("Photo illisible"),
              DocumentPdf::police(3.2, true), kGris);
    }
    const double y = caseMm.y() + kPhoto + 0.8;
    const Qt::Alignment centre = Qt::AlignHCenter | Qt::AlignVCenter;
    texte(p, DocumentPdf::mmRect({caseMm.x(), y, caseMm.width(), kPrenom * 1.3}), enfant.prenom,
          DocumentPdf::police(kPrenom, true), kEncre, centre, 0.7);
    texte(p, DocumentPdf::mmRect({caseMm.x(), y + kPrenom * 1.3, caseMm.width(), kNom * 1.3}), enfant.nom,
          DocumentPdf::police(kNom), kGris, centre, 0.8);
}

} // namespace

QList<EnfantFiche> enfantsDansLOrdre(QList<EnfantFiche> enfants)
{
    std::stable_sort(enfants.begin(), enfants.end(), [](const EnfantFiche &a, const EnfantFiche &b) {
        if (const int nom = jetCompare(a.nom, b.nom); nom != 0)
            return nom < 0;
        return jetCompare(a.prenom, b.prenom) < 0;
    });
    return enfants;
}

int enfantsParPageFiche()
{
    return kColonnes * kLignes;
}

void ecrisFicheDeClasse(const QString &fichier, const ClasseFiche &classe, const QString &dossierEcole)
{
    const QList<EnfantFiche> enfants = enfantsDansLOrdre(classe.enfants);
    const int parPage = enfantsParPageFiche();
    const int pages = std::max(1, int((enfants.size() + parPage - 1) / parPage));
    DocumentPdf::ecris(fichier, QStringLiteral("Classe %1").arg(classe.numero), [&](QPdfWriter &pdf, QPainter &p) {
        FolderListings listings;
        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                pdf.newPage();
            dessineEntete(p, classe, page, pages);
            for (int k = 0; k < parPage && page * parPage + k < enfants.size(); ++k) {
                const QRectF caseMm(kMarge + (k % kColonnes) * kLargeurCase, kMarge + kTitre + (k / kColonnes) * kHauteurCase,
                                    kLargeurCase, kHauteurCase);
                dessineEnfant(p, caseMm, enfants[page * parPage + k], dossierEcole, listings);
            }
        }
    });
}
