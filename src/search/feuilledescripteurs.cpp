#include "search/feuilledescripteurs.h"

#include "module/appcontext.h"
#include "platform/paths.h"
#include "search/recherchedocuments.h"

#include <QListWidget>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>

namespace {

// A scroll bar wide enough for a small finger or an unsteady hand.
class WideScrollBarStyle : public QProxyStyle
{
public:
    explicit WideScrollBarStyle(int width) : QProxyStyle(), m_width(width) {}
    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if (metric == PM_ScrollBarExtent)
            return m_width;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int m_width;
};

} // namespace

feuilledescripteurs::feuilledescripteurs(AppContext &context)
    : LumaScreen(context, QStringLiteral("feuilledescripteurs"), QColor(255, 128, 255))
{
    const Geometry &geo = context.geometry();
    makeTitleBand(QStringLiteral(" Quels livres recherches-tu ?"), 27, QColor(0, 0, 255));
    makeDoor([this] { Command3D3_Click(); }, [this] { Picture3_Click(); });

    m_liste1 = new QListWidget(this);
    m_liste1->setObjectName(QStringLiteral("Liste1"));
    m_liste1->setAccessibleName(QStringLiteral("Les mots"));
    m_liste1->setFont(geo.font(QStringLiteral("Arial"), 20.25));
    m_liste1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_liste1->setUniformItemSizes(true); // thousands of words lay out at once
    auto *wide = new WideScrollBarStyle(geo.px(600));
    wide->setParent(m_liste1);
    m_liste1->setStyle(wide);
    m_liste1->verticalScrollBar()->setStyle(wide);
    // Without the keyboard's focus, no word looks chosen before the child
    // touches one.
    m_liste1->setFocusPolicy(Qt::NoFocus);
    place(m_liste1, 450, 1980, 6405, 4350);
    connect(m_liste1, &QListWidget::itemClicked, this, [this] { Liste1_Click(); });
    connect(m_liste1, &QListWidget::itemDoubleClicked, this, [this] { Liste1_DblClick(); });

    const JeCherche jeCherche = makeJeCherche(*this, QRectF(7020, 2880, 2445, 1815), QRectF(7020, 4860, 2445, 825),
                                              [this] { Dessin3_Click(); }, [this] { Commande2_Click(); });
    m_dessin3 = jeCherche.Dessin3;
    m_commande2 = jeCherche.Commande2;
}

void feuilledescripteurs::Form_Load()
{
    loadScreen();
}

void feuilledescripteurs::Form_Activate()
{
    place(m_liste1, 450, 1980, 6405, 4350);
}

void feuilledescripteurs::ChargeDescripteurs()
{
    Module11 &m = module();
    const QString fichier = m.CheminBase() + QStringLiteral("\\COTATION.MDB");
    // On the server, no file: the cursor says what is missing.
    if (!context().données().serveur() && !isNormalFile(fichier)) {
        m.services().pointer.arrow();
        m.services().messages.show(QStringLiteral("Le fichier des descripteurs (COTATION.MDB) est introuvable...\n\n"
                                                  "Recommencez l'installation du programme «La LUMA»"),
                                   QStringLiteral("La LUMA"), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    m_liste1->clear();
    Feuilleenfant &d = context().données();
    Cursor &descripteurs = d.Donnée3();
    descripteurs.setDatabaseName(nativePath(fichier));
    descripteurs.setRecordSource(QStringLiteral("SELECT descripteur FROM [luma+] ORDER BY descripteur ASC"));
    descripteurs.refresh();
    if (descripteurs.eof() && descripteurs.bof()) {
        m.services().pointer.arrow();
        m.services().messages.show(
            QStringLiteral("Le fichier d'aide à la feuilledescripteurs (COTATION.MDB) est vide...\n\n"
                           "L'utilisation des descripteurs est impossible."),
            QStringLiteral("La LUMA"), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    // The words are added as they are read, so that a failure part way keeps
    // the entries read before it. A word of blanks only would be an empty,
    // invisible line: it is skipped like an empty one.
    QStringList words;
    try {
        while (!descripteurs.eof()) {
            const QString word = d.Etiquette17().text();
            if (!word.trimmed().isEmpty())
                words << word;
            descripteurs.moveNext();
        }
    } catch (...) {
        m_liste1->addItems(words);
        throw;
    }
    m_liste1->addItems(words);
}

void feuilledescripteurs::cherche()
{
    const QList<QListWidgetItem *> selected = m_liste1->selectedItems();
    const QString mot = selected.isEmpty() ? QString() : selected.first()->text();
    afficheResultat(*this, requeteTitreOuMotsCles(mot, module().FiltreDewey(), 2));
}

void feuilledescripteurs::Liste1_Click()
{
    const QList<QListWidgetItem *> selected = m_liste1->selectedItems();
    if (!selected.isEmpty())
        module().Dit(selected.first()->text());
}

void feuilledescripteurs::Liste1_DblClick()
{
    cherche();
}

void feuilledescripteurs::Commande2_Click()
{
    cherche();
}

void feuilledescripteurs::Dessin3_Click()
{
    cherche();
}

void feuilledescripteurs::Command3D3_Click()
{
    joueSonFerme();
    hide();
}

void feuilledescripteurs::Picture3_Click()
{
    joueSonFerme();
}
