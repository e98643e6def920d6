// The printable form: A4 pages drawn with Qt's own PDF writer. The report is
// cut into blocks of known height (a title, a class's heading, one loan, a
// total...), placed on pages first so that every page can say "page n / N",
// then drawn.

#include "rapport.h"

#include "platform/apperror.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>

#include <functional>
#include <vector>

namespace {

constexpr int kResolution = 300; // dots per inch of the page's coordinates
constexpr double kMarge = 15;     // mm on every side
constexpr double kLargeur = 210 - 2 * kMarge;
constexpr double kHauteurPage = 297 - 2 * kMarge;
constexpr double kEntete = 9;     // running head, mm
constexpr double kPied = 8;       // page number, mm

const QColor kEncre(0x22, 0x2a, 0x35);
const QColor kGris(0x6b, 0x72, 0x80);
const QColor kFilet(0xd5, 0xda, 0xe1);
const QColor kBleu(0x1f, 0x4e, 0x8c);
const QColor kBandeau(0xe8, 0xf0, 0xfa);
const QColor kRouge(0xb4, 0x23, 0x18);
const QColor kFondRetard(0xfd, 0xe8, 0xe6);
const QColor kVide(0xf1, 0xf3, 0xf5);

double mm(double millimetres)
{
    return millimetres * kResolution / 25.4;
}

QRectF mmRect(double x, double y, double w, double h)
{
    return {mm(x), mm(y), mm(w), mm(h)};
}

QFont police(double points, bool gras = false, bool italique = false)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(gras);
    font.setItalic(italique);
    return font;
}

// Text in a box, cut with an ellipsis after the lines that fit.
void texte(QPainter &p, const QRectF &box, const QString &text, const QFont &font, const QColor &couleur,
           Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter, int lignesMax = 1)
{
    p.setFont(font);
    p.setPen(couleur);
    const QFontMetricsF metrics(font, p.device());
    QStringList lignes;
    QString reste = text.simplified();
    while (!reste.isEmpty() && lignes.size() < lignesMax) {
        if (lignes.size() == lignesMax - 1 || metrics.horizontalAdvance(reste) <= box.width()) {
            lignes << metrics.elidedText(reste, Qt::ElideRight, box.width());
            break;
        }
        // As many words as fit on this line.
        int coupe = -1;
        for (int i = 0; i < reste.size(); ++i) {
            if (reste[i] == u' ' && metrics.horizontalAdvance(reste.left(i)) <= box.width())
                coupe = i;
            else if (reste[i] == u' ')
                break;
        }
        if (coupe <= 0) {
            lignes << metrics.elidedText(reste, Qt::ElideRight, box.width());
            break;
        }
        lignes << reste.left(coupe);
        reste = reste.mid(coupe + 1);
    }
    const double hauteur = metrics.height() * double(lignes.size());
    double y = box.top();
    if (align & Qt::AlignVCenter)
        y = box.top() + (box.height() - hauteur) / 2;
    else if (align & Qt::AlignBottom)
        y = box.bottom() - hauteur;
    for (const QString &ligne : std::as_const(lignes)) {
        p.drawText(QRectF(box.left(), y, box.width(), metrics.height()), int(align & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter,
                   ligne);
        y += metrics.height();
    }
}

// A picture fitted into its box, centred, with a thin frame; or, without a
// picture, a pale box saying so.
void vignette(QPainter &p, const QRectF &box, const QImage &image, const QString &absent)
{
    if (image.isNull()) {
        p.setPen(QPen(kFilet, mm(0.3), Qt::DashLine));
        p.setBrush(kVide);
        p.drawRoundedRect(box, mm(1.2), mm(1.2));
        texte(p, box.adjusted(mm(0.8), 0, -mm(0.8), 0), absent,
              absent.size() == 1 ? police(18, true) : police(6, false, true), kGris, Qt::AlignHCenter | Qt::AlignVCenter,
              3);
        return;
    }
    const QSizeF taille = QSizeF(image.size()).scaled(box.size(), Qt::KeepAspectRatio);
    const QRectF cible(box.center().x() - taille.width() / 2, box.center().y() - taille.height() / 2, taille.width(),
                       taille.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(cible, image);
    p.setPen(QPen(kFilet, mm(0.25)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cible);
}

// One block of the report: its height in mm and how to draw it at a given top.
struct Bloc
{
    double hauteur = 0;
    std::function<void(QPainter &, double haut)> dessine;
    // A heading stays with the block after it.
    bool avecSuivant = false;
    // Repeated at the top of a page on which its section goes on.
    std::function<void(QPainter &, double haut)> suite;
    double hauteurSuite = 0;
};

class MiseEnPage
{
public:
    explicit MiseEnPage(const RapportPrets &rapport) : m_rapport(rapport) {}

    std::vector<Bloc> blocs() const
    {
        std::vector<Bloc> tout;
        tout.push_back(titre());
        for (const ClasseRapport &classe : m_rapport.classes)
            ajouteClasse(tout, classe);
        if (!m_rapport.inconnus.isEmpty())
            ajouteInconnus(tout);
        ajouteBilan(tout);
        return tout;
    }

    void dessineCadre(QPainter &p, int page, int pages) const
    {
        // Running head (not on the first page, which has the title).
        if (page > 1) {
            texte(p, mmRect(0, 0, kLargeur * 0.6, kEntete - 3), TexteRapport::titre(), police(8, true), kBleu);
            texte(p, mmRect(kLargeur * 0.4, 0, kLargeur * 0.6, kEntete - 3),
                  m_rapport.maintenant.date().toString(QStringLiteral("dd/MM/yyyy")), police(8), kGris,
                  Qt::AlignRight | Qt::AlignVCenter);
            p.setPen(QPen(kFilet, mm(0.3)));
            p.drawLine(QPointF(0, mm(kEntete - 2)), QPointF(mm(kLargeur), mm(kEntete - 2)));
        }
        const double pied = kHauteurPage - kPied + 2;
        p.setPen(QPen(kFilet, mm(0.3)));
        p.drawLine(QPointF(0, mm(pied)), QPointF(mm(kLargeur), mm(pied)));
        texte(p, mmRect(0, pied, kLargeur * 0.5, kPied - 2), QStringLiteral("La LUMA – Cycle 1"), police(7.5), kGris);
        texte(p, mmRect(kLargeur * 0.5, pied, kLargeur * 0.5, kPied - 2),
              QStringLiteral("Page %1 / %2").arg(page).arg(pages), police(8, true), kEncre,
              Qt::AlignRight | Qt::AlignVCenter);
    }

private:
    Bloc titre() const
    {
        Bloc b;
        b.hauteur = 34;
        b.dessine = [this](QPainter &p, double y) {
            texte(p, mmRect(0, y, kLargeur, 12), TexteRapport::titre(), police(24, true), kBleu,
                  Qt::AlignLeft | Qt::AlignVCenter);
            texte(p, mmRect(0, y + 12, kLargeur, 6),
                  QStringLiteral("Prêts en cours le ") + TexteRapport::dateLongue(m_rapport.maintenant),
                  police(11), kEncre);
            texte(p, mmRect(0, y + 18, kLargeur, 5),
                  QStringLiteral("Bibliothèque : ") + QDir::toNativeSeparators(m_rapport.dossiers.base), police(8),
                  kGris);
            // The summary and how a late loan is marked.
            const QRectF cadre = mmRect(0, y + 24.5, kLargeur, 7.5);
            p.setPen(Qt::NoPen);
            p.setBrush(kBandeau);
            p.drawRoundedRect(cadre, mm(1.5), mm(1.5));
            texte(p, cadre.adjusted(mm(3), 0, -mm(60), 0), TexteRapport::resumeGeneral(m_rapport), police(9.5, true),
                  kEncre);
            const QRectF marque = mmRect(kLargeur - 57, y + 26, 19, 4.5);
            etiquetteRetard(p, marque);
            texte(p, mmRect(kLargeur - 37, y + 24.5, 35, 7.5),
                  QStringLiteral("plus de %1 jours").arg(m_rapport.retard), police(8.5), kEncre);
        };
        return b;
    }

    static void etiquetteRetard(QPainter &p, const QRectF &box)
    {
        p.setPen(Qt::NoPen);
        p.setBrush(kRouge);
        p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
        texte(p, box, TexteRapport::motRetard(), police(7, true), Qt::white, Qt::AlignCenter);
    }

    Bloc enteteClasse(const ClasseRapport &classe, bool suite) const
    {
        Bloc b;
        b.hauteur = suite ? 10 : 33;
        b.avecSuivant = true;
        const ClasseRapport *c = &classe;
        if (suite) {
            b.dessine = [c](QPainter &p, double y) {
                texte(p, mmRect(0, y, kLargeur, 7),
                      TexteRapport::titreClasse(*c) +
                          (c->instituteur.isEmpty() ? QString() : QStringLiteral(" – ") + c->instituteur) +
                          QStringLiteral(" (suite)"),
                      police(10, true), kBleu);
                p.setPen(QPen(kBleu, mm(0.4)));
                p.drawLine(QPointF(0, mm(y + 7.5)), QPointF(mm(kLargeur), mm(y + 7.5)));
            };
            return b;
        }
        b.dessine = [c](QPainter &p, double y) {
            const QRectF bandeau = mmRect(0, y + 3, kLargeur, 28);
            p.setPen(Qt::NoPen);
            p.setBrush(kBandeau);
            p.drawRoundedRect(bandeau, mm(2), mm(2));
            p.setBrush(kBleu);
            p.drawRoundedRect(mmRect(0, y + 3, 2.2, 28), mm(1), mm(1));
            const QRectF image = mmRect(5, y + 5, 30, 24);
            if (c->image.isNull()) {
                p.setBrush(Qt::white);
                p.setPen(QPen(kFilet, mm(0.3)));
                p.drawRoundedRect(image, mm(1.5), mm(1.5));
                texte(p, image, c->numero, police(22, true), kBleu, Qt::AlignCenter);
            } else {
                vignette(p, image, c->image, QString());
            }
            texte(p, mmRect(40, y + 5, kLargeur - 42, 9), TexteRapport::titreClasse(*c), police(16, true), kBleu);
            const QString enseignant = c->connue
                ? (c->instituteur.trimmed().isEmpty() ? QStringLiteral("Enseignant non indiqué") : c->instituteur)
                : QStringLiteral("Absente de la liste des classes");
            texte(p, mmRect(40, y + 14, kLargeur - 42, 7), enseignant, police(11), kEncre);
            texte(p, mmRect(40, y + 21, kLargeur - 42, 7), TexteRapport::resumeClasse(*c), police(9),
                  c->retards > 0 ? kRouge : kGris);
        };
        b.suite = enteteClasse(classe, true).dessine;
        b.hauteurSuite = 10;
        return b;
    }

    // One loan: the child, the book, the date.
    static Bloc lignePret(const QString &nom, const QString &detail, const QImage &photo, const QString &sansPhoto,
                          const PretRapport &pret)
    {
        Bloc b;
        b.hauteur = 22;
        const PretRapport *pr = &pret;
        b.dessine = [=](QPainter &p, double y) {
            if (pr->enRetard) {
                p.setPen(Qt::NoPen);
                p.setBrush(kFondRetard);
                p.drawRect(mmRect(0, y + 1, kLargeur, 20));
                p.setBrush(kRouge);
                p.drawRect(mmRect(0, y + 1, 1.2, 20));
            }
            vignette(p, mmRect(3, y + 2.5, 13.5, 17), photo, sansPhoto);
            texte(p, mmRect(19, y + 3, 44, 9), nom, police(10, true), kEncre, Qt::AlignLeft | Qt::AlignBottom, 2);
            texte(p, mmRect(19, y + 12.5, 44, 5), detail, police(8), kGris, Qt::AlignLeft | Qt::AlignTop);

            vignette(p, mmRect(65, y + 2.5, 13.5, 17), pr->couverture, QStringLiteral("pas de couverture"));
            const QString numero = pr->inventaire.trimmed().isEmpty() ? QStringLiteral("sans numéro")
                                                                      : QStringLiteral("n° ") + pr->inventaire;
            texte(p, mmRect(81, y + 2.5, 60, 5), numero, police(8, true), kGris);
            const QString titre = pr->titre.trimmed().isEmpty() ? QStringLiteral("(sans titre)") : pr->titre;
            texte(p, mmRect(81, y + 7.5, 60, 11), titre, police(9.5), kEncre, Qt::AlignLeft | Qt::AlignTop, 2);

            const QColor couleur = pr->enRetard ? kRouge : kEncre;
            texte(p, mmRect(143, y + 2.5, kLargeur - 145, 5),
                  pr->date.isValid() ? QStringLiteral("prêté le ") + TexteRapport::datePret(*pr)
                                     : TexteRapport::datePret(*pr),
                  police(8), kGris, Qt::AlignRight | Qt::AlignVCenter);
            texte(p, mmRect(143, y + 7.5, kLargeur - 145, 6.5), TexteRapport::duree(*pr),
                  police(pr->jours ? 12 : 9, true, !pr->jours), couleur, Qt::AlignRight | Qt::AlignVCenter);
            if (pr->enRetard)
                etiquetteRetard(p, mmRect(kLargeur - 21, y + 14.5, 19, 4.5));
            p.setPen(QPen(kFilet, mm(0.25)));
            p.drawLine(QPointF(0, mm(y + 21.5)), QPointF(mm(kLargeur), mm(y + 21.5)));
        };
        return b;
    }

    static Bloc ligneTexte(const QString &message, double hauteur = 10)
    {
        Bloc b;
        b.hauteur = hauteur;
        b.dessine = [=](QPainter &p, double y) {
            texte(p, mmRect(5, y, kLargeur - 5, hauteur), message, police(9.5, false, true), kGris);
        };
        return b;
    }

    void ajouteClasse(std::vector<Bloc> &tout, const ClasseRapport &classe) const
    {
        const Bloc entete = enteteClasse(classe, false);
        tout.push_back(entete);
        // An empty class says so in its heading.
        if (classe.enfants.isEmpty()) {
            tout.back().avecSuivant = false;
            tout.back().hauteur += 4;
            return;
        }
        for (const EnfantRapport &enfant : classe.enfants) {
            for (const PretRapport &pret : enfant.prets) {
                const QString detail = enfant.niveau.trimmed().isEmpty() ? QString()
                                                                         : QStringLiteral("niveau ") + enfant.niveau;
                Bloc ligne = lignePret(TexteRapport::nomEnfant(enfant), detail, enfant.photo,
                                       QStringLiteral("pas de photo"), pret);
                ligne.suite = entete.suite;
                ligne.hauteurSuite = entete.hauteurSuite;
                tout.push_back(ligne);
            }
        }
        tout.back().hauteur += 4; // air before the next class
    }

    void ajouteInconnus(std::vector<Bloc> &tout) const
    {
        Bloc entete;
        entete.hauteur = 22;
        entete.avecSuivant = true;
        entete.dessine = [](QPainter &p, double y) {
            texte(p, mmRect(0, y + 3, kLargeur, 9), QStringLiteral("Emprunteurs inconnus"), police(16, true), kRouge);
            texte(p, mmRect(0, y + 12, kLargeur, 9),
                  QStringLiteral("Ces livres sont prêtés à un matricule qu'aucun enfant du fichier des élèves ne "
                                 "porte (un enfant parti de l'école, une fiche modifiée) : à vérifier."),
                  police(9), kGris, Qt::AlignLeft | Qt::AlignTop, 2);
        };
        entete.suite = [](QPainter &p, double y) {
            texte(p, mmRect(0, y, kLargeur, 7), QStringLiteral("Emprunteurs inconnus (suite)"), police(10, true),
                  kRouge);
        };
        entete.hauteurSuite = 10;
        tout.push_back(entete);
        for (const PretRapport &pret : m_rapport.inconnus) {
            const QString nom = pret.emprunteur.trimmed().isEmpty()
                ? QStringLiteral("Emprunteur non indiqué")
                : QStringLiteral("Matricule ") + pret.emprunteur.trimmed();
            Bloc ligne = lignePret(nom, QStringLiteral("absent du fichier des élèves"), QImage(), QStringLiteral("?"),
                                   pret);
            ligne.suite = entete.suite;
            ligne.hauteurSuite = entete.hauteurSuite;
            tout.push_back(ligne);
        }
        tout.back().hauteur += 4;
    }

    void ajouteBilan(std::vector<Bloc> &tout) const
    {
        Bloc totaux;
        totaux.hauteur = 42;
        totaux.dessine = [this](QPainter &p, double y) {
            texte(p, mmRect(0, y + 3, kLargeur, 9), QStringLiteral("Bilan"), police(16, true), kBleu);
            const struct
            {
                int nombre;
                QString libelle;
                bool alerte;
            } cases[] = {
                {m_rapport.enfants, QStringLiteral("enfants inscrits"), false},
                {m_rapport.enfantsAvecPret, QStringLiteral("enfants avec un livre"), false},
                {m_rapport.prets, QStringLiteral("livres prêtés"), false},
                {m_rapport.retards, QStringLiteral("en retard (plus de %1 jours)").arg(m_rapport.retard),
                 m_rapport.retards > 0},
            };
            const double largeur = (kLargeur - 3 * 4) / 4;
            for (int i = 0; i < 4; ++i) {
                const QRectF box = mmRect(i * (largeur + 4), y + 14, largeur, 22);
                p.setPen(Qt::NoPen);
                p.setBrush(cases[i].alerte ? kFondRetard : kBandeau);
                p.drawRoundedRect(box, mm(2), mm(2));
                texte(p, QRectF(box.left(), box.top() + mm(2), box.width(), mm(10)), QString::number(cases[i].nombre),
                      police(20, true), cases[i].alerte ? kRouge : kBleu, Qt::AlignCenter);
                texte(p, QRectF(box.left() + mm(2), box.top() + mm(12), box.width() - mm(4), mm(9)), cases[i].libelle,
                      police(8.5), kEncre, Qt::AlignHCenter | Qt::AlignTop, 2);
            }
        };
        tout.push_back(totaux);

        // The ten books on one page.
        Bloc titre;
        titre.hauteur = 14;
        titre.avecSuivant = true;
        titre.dessine = [](QPainter &p, double y) {
            texte(p, mmRect(0, y + 3, kLargeur, 9), QStringLiteral("Les dix livres les plus empruntés"),
                  police(13, true), kBleu);
        };
        tout.push_back(titre);
        if (m_rapport.plusEmpruntes.isEmpty()) {
            tout.push_back(ligneTexte(QStringLiteral("Aucun livre n'a encore été emprunté.")));
            return;
        }
        int rang = 0;
        for (const LivreEmprunte &livre : m_rapport.plusEmpruntes) {
            Bloc ligne;
            ligne.hauteur = 15;
            ++rang;
            const LivreEmprunte *l = &livre;
            ligne.dessine = [l, rang](QPainter &p, double y) {
                texte(p, mmRect(0, y, 10, 15), QString::number(rang), police(13, true), kBleu, Qt::AlignCenter);
                vignette(p, mmRect(12, y + 1.5, 9.5, 12), l->couverture, QString());
                texte(p, mmRect(25, y + 1.5, 30, 5), QStringLiteral("n° ") + l->inventaire, police(8, true), kGris);
                texte(p, mmRect(25, y + 6, 115, 8), l->titre.trimmed().isEmpty() ? QStringLiteral("(sans titre)")
                                                                                 : l->titre,
                      police(9.5), kEncre, Qt::AlignLeft | Qt::AlignTop);
                const QString fois = QStringLiteral("%1 prêt%2").arg(l->cumul, 0, 'f', 0).arg(l->cumul > 1 ? "s" : "");
                texte(p, mmRect(140, y + 1.5, kLargeur - 142, 6), fois, police(10.5, true), kEncre,
                      Qt::AlignRight | Qt::AlignVCenter);
                if (l->enPret)
                    texte(p, mmRect(140, y + 7.5, kLargeur - 142, 5), QStringLiteral("en prêt"), police(8, false, true),
                          kGris, Qt::AlignRight | Qt::AlignVCenter);
                p.setPen(QPen(kFilet, mm(0.25)));
                p.drawLine(QPointF(0, mm(y + 14.5)), QPointF(mm(kLargeur), mm(y + 14.5)));
            };
            ligne.avecSuivant = rang < m_rapport.plusEmpruntes.size();
            tout.push_back(ligne);
        }
    }

    const RapportPrets &m_rapport;
};

// Where each block goes: its page and its top, in mm from the top of the
// area inside the margins. A block repeating its section's heading at the top
// of a new page is placed as its own block.
struct Place
{
    int page;
    double haut;
    const std::function<void(QPainter &, double)> *dessine;
};

std::vector<Place> pagine(const std::vector<Bloc> &blocs, int &pages)
{
    std::vector<Place> places;
    const double debut = kEntete;
    const double fin = kHauteurPage - kPied;
    int page = 1;
    double y = 0; // the first page has no running head
    for (size_t i = 0; i < blocs.size(); ++i) {
        // A heading needs room for itself and what follows it.
        double besoin = blocs[i].hauteur;
        for (size_t j = i; j + 1 < blocs.size() && blocs[j].avecSuivant; ++j)
            besoin += blocs[j + 1].hauteur;
        if (y + besoin > fin && y > debut) {
            ++page;
            y = debut;
            if (blocs[i].suite && !blocs[i].avecSuivant) {
                places.push_back({page, y, &blocs[i].suite});
                y += blocs[i].hauteurSuite;
            }
        }
        places.push_back({page, y, &blocs[i].dessine});
        y += blocs[i].hauteur;
    }
    pages = page;
    return places;
}

} // namespace

void ecrisPdf(const RapportPrets &rapport, const QString &fichier)
{
    QSaveFile sortie(fichier);
    if (!sortie.open(QIODevice::WriteOnly))
        throw AppError(ErrorNumber::PathFileAccessError, QStringLiteral("Impossible d'écrire le fichier « %1 » : %2.")
                               .arg(QDir::toNativeSeparators(fichier), sortie.errorString()));
    {
        QPdfWriter pdf(&sortie);
        pdf.setResolution(kResolution);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(kMarge, kMarge, kMarge, kMarge),
                                      QPageLayout::Millimeter));
        pdf.setTitle(TexteRapport::titre() + QStringLiteral(" – ") +
                     rapport.maintenant.date().toString(QStringLiteral("dd/MM/yyyy")));
        pdf.setCreator(QStringLiteral("La LUMA – Cycle 1"));

        const MiseEnPage miseEnPage(rapport);
        const std::vector<Bloc> blocs = miseEnPage.blocs();
        int pages = 1;
        const std::vector<Place> places = pagine(blocs, pages);

        QPainter p;
        if (!p.begin(&pdf))
            throw AppError(ErrorNumber::PathFileAccessError, QStringLiteral("Impossible de créer le PDF « %1 ».").arg(QDir::toNativeSeparators(fichier)));
        p.setRenderHint(QPainter::Antialiasing);
        int page = 1;
        miseEnPage.dessineCadre(p, page, pages);
        for (const Place &place : places) {
            if (place.page != page) {
                pdf.newPage();
                page = place.page;
                miseEnPage.dessineCadre(p, page, pages);
            }
            (*place.dessine)(p, place.haut);
        }
        p.end();
    }
    if (!sortie.commit())
        throw AppError(ErrorNumber::PathFileAccessError, QStringLiteral("Impossible d'écrire le fichier « %1 » : %2.")
                               .arg(QDir::toNativeSeparators(fichier), sortie.errorString()));
}
