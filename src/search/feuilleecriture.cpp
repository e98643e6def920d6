#include "search/feuilleecriture.h"

#include "app/appcontext.h"
#include "search/recherchedocuments.h"

#include <QLineEdit>
#include <QPushButton>

Feuilleécriture::Feuilleécriture(AppContext &context)
    : LumaScreen(context, QStringLiteral("Feuilleécriture"), QColor(255, 128, 255))
{
    const Geometry &geo = context.geometry();
    makeTitleBand(QStringLiteral(" Quels livres recherches-tu ?"), 27, QColor(0, 0, 255));
    PictureImage *speaker = makeSpeakerAt(QStringLiteral("Picture3"), QStringLiteral("Fermer"), 8100, 780);
    connect(speaker, &PictureImage::clicked, this, [this] { Picture3_Click(); });
    Button3D *door = makeButton(QStringLiteral("Command3D3"), asset(QStringLiteral("door")), QStringLiteral("Fermer"),
                                8640, 180, 825, 1125);
    connect(door, &QAbstractButton::clicked, this, [this] { Command3D3_Click(); });

    m_texte1 = new QLineEdit(this);
    m_texte1->setObjectName(QStringLiteral("Texte1"));
    m_texte1->setAccessibleName(QStringLiteral("Le mot que je cherche"));
    m_texte1->setFont(geo.font(QStringLiteral("Arial"), 48, true));
    place(m_texte1, 180, 2880, 6435, 1215);
    // Return in the box searches, as "je cherche" does.
    connect(m_texte1, &QLineEdit::returnPressed, this, [this] { Commande2_Click(); });

    m_dessin3 = new PictureImage(this);
    m_dessin3->setObjectName(QStringLiteral("Dessin3"));
    m_dessin3->setAccessibleName(QStringLiteral("je cherche"));
    m_dessin3->setCursor(Qt::PointingHandCursor);
    m_dessin3->setPicture(Picture::fromResource(asset(QStringLiteral("dog"))));
    place(m_dessin3, 6840, 2790, 2445, 1635);
    connect(m_dessin3, &PictureImage::clicked, this, [this] { Dessin3_Click(); });

    m_commande2 = new QPushButton(QStringLiteral("je cherche"), this);
    m_commande2->setObjectName(QStringLiteral("Commande2"));
    m_commande2->setAccessibleName(QStringLiteral("je cherche"));
    m_commande2->setFont(geo.font(QStringLiteral("Arial"), 20.25, true));
    m_commande2->setAutoDefault(false);
    m_commande2->setFocusPolicy(Qt::NoFocus);
    place(m_commande2, 6840, 4500, 2445, 1185);
    connect(m_commande2, &QPushButton::clicked, this, [this] { Commande2_Click(); });
}

void Feuilleécriture::Form_Load()
{
    loadScreen();
}

void Feuilleécriture::Form_Activate()
{
    m_texte1->setFocus();
}

void Feuilleécriture::Commande2_Click()
{
    afficheResultat(*this, requeteTitreOuMotsCles(m_texte1->text(), module().FiltreDewey(), 1));
    m_texte1->setFocus();
}

void Feuilleécriture::Dessin3_Click()
{
    Commande2_Click();
}

void Feuilleécriture::Command3D3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
    hide();
}

void Feuilleécriture::Picture3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
}
