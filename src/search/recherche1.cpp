#include "search/recherche1.h"

#include "module/appcontext.h"
#include "platform/paths.h"
#include "search/recherchedocuments.h"
#include "search/requetes.h"

#include <QLabel>

namespace {

const QString kTitre = QStringLiteral(" Recherche documentaire");

QString son(Module11 &m, const QString &file)
{
    return m.CheminBase() + QStringLiteral("\\SONS\\") + file;
}

} // namespace

Recherche1::Recherche1(AppContext &context)
    : LumaScreen(context, QStringLiteral("Recherche1"), QColor(255, 128, 255))
{
    const Geometry &geo = context.geometry();
    m_panel3D1 = makeTitleBand(kTitre, 21, QColor(0, 0, 255));

    const QFont caption = geo.font(QStringLiteral("Arial"), 9.75, true);
    const auto makeCaptioned = [&](const char *name, const char *picture, const QString &words, double left,
                                   double width) {
        Button3D *button = makeButton(QLatin1String(name), asset(QLatin1String(picture)), words, left, 180, width, 1095);
        button->setText(words);
        button->setFont(caption);
        return button;
    };
    m_command3D2 = makeCaptioned("Command3D2", "hand_left", QStringLiteral("avant"), 5580, 825);
    connect(m_command3D2, &QAbstractButton::clicked, this, [this] { Command3D2_Click(); });
    m_command3D1 = makeCaptioned("Command3D1", "hand_right", QStringLiteral("après"), 6480, 825);
    connect(m_command3D1, &QAbstractButton::clicked, this, [this] { Command3D1_Click(); });
    Button3D *chercher = makeCaptioned("Command3D4", "wand", QStringLiteral("chercher"), 7380, 1185);
    connect(chercher, &QAbstractButton::clicked, this, [this] { Command3D4_Click(); });
    Button3D *door = makeButton(QStringLiteral("Command3D3"), asset(QStringLiteral("door")), QStringLiteral("Fermer"),
                                8640, 180, 825, 1095);
    connect(door, &QAbstractButton::clicked, this, [this] { Command3D3_Click(); });
    setDoor(door);

    // Each slot: the file name (seen only where there is no picture to cover
    // it), the picture that takes the touches, the red frame, the title.
    const QFont fileFont = geo.font(QStringLiteral("Arial"), 8.25);
    const QFont titleFont = geo.font(QStringLiteral("Times New Roman"), 9.75, true);
    for (int k = 0; k < kCases; ++k) {
        const double left = 270 + 1530 * (k % 6);
        const double top = 1620 + 1710 * (k / 6);
        m_etiquette2[k] = makeLabel(QStringLiteral("Etiquette2_%1").arg(k), QString(), left, top + 270, 1365, 285,
                                    fileFont, QColor(255, 0, 0), Qt::AlignHCenter | Qt::AlignTop);
        m_etiquette2[k]->setWordWrap(false);

        auto *picture = new PictureImage(this);
        picture->setObjectName(QStringLiteral("Dessin1_%1").arg(k));
        picture->setCursor(Qt::PointingHandCursor);
        place(picture, left, top, 1365, 1005);
        picture->hide();
        connect(picture, &PictureImage::clicked, this, [this, k] { Dessin1_Click(k); });
        connect(picture, &PictureImage::doubleClicked, this, [this, k] {
            Dessin1_Click(k);
            Dessin1_DblClick(k);
        });
        m_dessin1[k] = picture;

        auto *frame = new ShapeRect(this);
        frame->setObjectName(QStringLiteral("Forme1_%1").arg(k));
        frame->setOutline(QColor(255, 0, 0), geo.px(5 * 15));
        place(frame, left, top, 1365, 1005);
        frame->hide();
        m_forme1[k] = frame;

        m_etiquette1[k] = makeLabel(QStringLiteral("Etiquette1_%1").arg(k), QString(), left, top + 990, 1365, 735,
                                    titleFont, Qt::black, Qt::AlignHCenter | Qt::AlignTop);
    }
}

const RequetesSauvegardees &Recherche1::requêtes() const
{
    return context().requêtes();
}

void Recherche1::Form_Load()
{
    loadScreen();
}

void Recherche1::Form_Activate()
{
    m_caseChoisie = -1;
    EffaceCadres();
}

void Recherche1::premièrePage()
{
    m_pageCourante = 1;
    const int nb = requêtes().NbRequetes();
    // The slots are emptied first: a last page seen before may have left
    // fewer requests than the first page holds.
    EffacePage();
    if (nb > kCases) {
        m_command3D1->show();
        m_command3D2->hide();
        afficheRequetes(0, kCases - 1);
        légende();
    } else {
        m_command3D1->hide();
        m_command3D2->hide();
        afficheRequetes(0, nb - 1);
        m_panel3D1->setText(kTitre);
    }
}

void Recherche1::AfficheRequete(int n)
{
    const RequetesSauvegardees::Requete &requete = requêtes().requete(n);
    const int k = n - (m_pageCourante - 1) * kCases;
    PictureImage *slot = m_dessin1.at(k);
    const QString image = requete.image;
    // A name read from a file that anyone may write may go down into a
    // subfolder of IMAGES, never out of it.
    const bool named = image.compare(QStringLiteral(".BMP"), Qt::CaseInsensitive) != 0 && isSafeRelativePath(image);
    slot->setPicture(named ? Picture::fromDataFile(module().CheminBase() + QStringLiteral("\\IMAGES\\") + image,
                                                   slot->displaySize())
                           : Picture());
    slot->setAccessibleName(requete.titre);
    slot->show();
    m_etiquette1[k]->setText(requete.titre);
    m_etiquette2[k]->setText(requete.fichier);
}

void Recherche1::afficheRequetes(int from, int to)
{
    for (int n = from; n <= to && n < requêtes().NbRequetes(); ++n)
        AfficheRequete(n);
}

void Recherche1::EffacePage()
{
    for (int k = 0; k < kCases; ++k) {
        m_dessin1[k]->clear();
        m_dessin1[k]->hide();
        m_etiquette1[k]->clear();
        m_etiquette2[k]->clear();
    }
}

void Recherche1::EffaceCadres()
{
    for (ShapeRect *frame : m_forme1)
        frame->hide();
}

void Recherche1::légende()
{
    m_panel3D1->setText(kTitre + QStringLiteral(" - ") + QString::number(m_pageCourante));
}

void Recherche1::Dessin1_Click(int Index)
{
    m_caseChoisie = Index;
    EffaceCadres();
    m_forme1.at(Index)->show();
}

void Recherche1::Dessin1_DblClick(int Index)
{
    exécute(Index);
}

void Recherche1::Command3D4_Click()
{
    if (m_caseChoisie != -1)
        exécute(m_caseChoisie);
}

void Recherche1::exécute(int k)
{
    Module11 &m = module();
    MousePointer &pointer = m.services().pointer;
    pointer.hourglass();
    // The file named in the slot is read again: a request changed since the
    // start is run as it stands now.
    ContenuRequete contenu;
    const QString fichier = m_etiquette2.at(k)->text();
    const bool lu = m.trapped([&] {
        if (!isSafeFileName(fichier))
            throw AppError(ErrorNumber::BadFileName, QStringLiteral("Nom de fichier incorrect : %1").arg(fichier));
        contenu = LitRequete(m.CheminBase() + QStringLiteral("\\REQUETES\\") + fichier);
    });
    if (!lu) {
        pointer.arrow();
        return;
    }
    // A request without a sound of its own says its title.
    m.JoueSonOuDit(isSafeRelativePath(contenu.son) ? son(m, contenu.son) : QString(), contenu.titre);
    afficheResultat(*this, sourceRequete(contenu.tete, m.FiltreDewey()));
}

void Recherche1::Command3D1_Click()
{
    Module11 &m = module();
    m.services().pointer.hourglass();
    m.JoueSon(son(m, QStringLiteral("APRES.WAV")));
    m.trapped([this] {
        ++m_pageCourante;
        m_caseChoisie = -1;
        EffacePage();
        EffaceCadres();
        const int first = (m_pageCourante - 1) * kCases;
        if (m_pageCourante >= requêtes().NbPages()) {
            m_command3D1->hide();
            m_command3D2->show();
            afficheRequetes(first, requêtes().NbRequetes() - 1);
        } else {
            m_command3D1->show();
            m_command3D2->show();
            afficheRequetes(first, first + kCases - 1);
        }
        légende();
    });
    m.services().pointer.arrow();
}

void Recherche1::Command3D2_Click()
{
    Module11 &m = module();
    m.services().pointer.hourglass();
    m.JoueSon(son(m, QStringLiteral("AVANT.WAV")));
    m.trapped([this] {
        m_pageCourante = std::max(1, m_pageCourante - 1);
        m_caseChoisie = -1;
        EffacePage();
        EffaceCadres();
        m_command3D1->show();
        m_command3D2->setVisible(m_pageCourante >= 2);
        const int first = (m_pageCourante - 1) * kCases;
        afficheRequetes(first, first + kCases - 1);
        légende();
    });
    m.services().pointer.arrow();
}

void Recherche1::Command3D3_Click()
{
    joueSonFerme();
    hide();
}
