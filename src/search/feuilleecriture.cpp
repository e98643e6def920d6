#include "search/feuilleecriture.h"

#include "module/appcontext.h"
#include "search/recherchedocuments.h"

#include <QLineEdit>
#include <QPushButton>

Feuilleécriture::Feuilleécriture(AppContext &context)
    : LumaScreen(context, QStringLiteral("Feuilleécriture"), QColor(255, 128, 255))
{
    const Geometry &geo = context.geometry();
    makeTitleBand(QStringLiteral(" Quels livres recherches-tu ?"), 27, QColor(0, 0, 255));
    makeDoor([this] { Command3D3_Click(); }, [this] { Picture3_Click(); });

    m_texte1 = new QLineEdit(this);
    m_texte1->setObjectName(QStringLiteral("Texte1"));
    m_texte1->setAccessibleName(QStringLiteral("Le mot que je cherche"));
    m_texte1->setFont(geo.font(QStringLiteral("Arial"), 48, true));
    place(m_texte1, 180, 2880, 6435, 1215);
    // Return in the box searches, as "je cherche" does.
    connect(m_texte1, &QLineEdit::returnPressed, this, [this] { Commande2_Click(); });

    const JeCherche jeCherche = makeJeCherche(*this, QRectF(6840, 2790, 2445, 1635), QRectF(6840, 4500, 2445, 1185),
                                              [this] { Dessin3_Click(); }, [this] { Commande2_Click(); });
    m_dessin3 = jeCherche.Dessin3;
    m_commande2 = jeCherche.Commande2;
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
    joueSonFerme();
    hide();
}

void Feuilleécriture::Picture3_Click()
{
    joueSonFerme();
}
