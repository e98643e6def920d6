#include "search/feuillerecherche.h"

#include "folder/requete.h"
#include "module/appcontext.h"
#include "platform/paths.h"
#include "search/feuilledescripteurs.h"
#include "search/feuilleecriture.h"
#include "search/recherche1.h"

#include <QLabel>

Feuillerecherche::Feuillerecherche(AppContext &context)
    : LumaScreen(context, QStringLiteral("Feuillerecherche"), QColor(255, 128, 255))
{
    const Geometry &geo = context.geometry();
    makeTitleBand(QStringLiteral(" Quels livres recherches-tu ?"), 27, QColor(0, 0, 255));
    makeDoor([this] { Command3D3_Click(); }, [this] { Picture3_Click(); });

    // The three ways of searching, each with its words centred below it on
    // one line (they are a little wider than their buttons).
    const QFont labelFont = geo.font(QStringLiteral("Arial"), 18);
    const auto makeWay = [&](const char *name, const char *picture, const QString &words, double left, double width,
                             const char *labelName, double labelTop) {
        Button3D *button = makeButton(QLatin1String(name), asset(QLatin1String(picture)), words, left, 2100, width, 1905);
        QLabel *label = makeLabel(QLatin1String(labelName), words, left + width / 2 - 1650, labelTop, 3300, 600,
                                  labelFont, Qt::black, Qt::AlignHCenter | Qt::AlignTop);
        label->setWordWrap(false);
        return button;
    };
    Button3D *image = makeWay("Command3D4", "bulb", QStringLiteral("à partir d'une image"), 360, 2715, "Etiquette3", 4050);
    connect(image, &Button3D::clicked, this, [this] { Command3D4_Click(); });
    Button3D *mot = makeWay("Command3D5", "note", QStringLiteral("à partir d'un mot"), 3420, 2805, "Etiquette4", 4050);
    connect(mot, &Button3D::clicked, this, [this] { Command3D5_Click(); });
    Button3D *écrit = makeWay("Command3D1", "pen", QStringLiteral("j'écris"), 6600, 2715, "Etiquette1", 4140);
    connect(écrit, &Button3D::clicked, this, [this] { Command3D1_Click(); });

    // The class strip: a light green band, a coloured box per class, and over
    // each box a transparent picture that takes its touches. The arrow above
    // and the sun inside a box mark a chosen class.
    auto *band = new ShapeRect(this);
    band->setObjectName(QStringLiteral("Forme2"));
    band->setFill(QColor(128, 255, 128));
    place(band, 0, 5400, 9645, 1545);
    const Picture arrow = Picture::fromResource(asset(QStringLiteral("arrow")));
    const Picture sun = Picture::fromResource(asset(QStringLiteral("sun")));
    // A marker is hidden until its class is chosen, and takes no touch.
    const auto makeMarker = [this](const QString &name, const Picture &picture, double left, double top) {
        auto *marker = new PictureImage(this);
        marker->setObjectName(name);
        marker->setPicture(picture);
        marker->setAttribute(Qt::WA_TransparentForMouseEvents);
        place(marker, left, top, 480, 480);
        marker->hide();
        return marker;
    };
    for (int i = 0; i < 10; ++i) {
        auto *box = new ShapeRect(this);
        box->setObjectName(QStringLiteral("Forme1_%1").arg(i));
        place(box, 270 + 900 * i, 6030, 915, 645);
        m_forme1[i] = box;

        m_dessin1[i] = makeMarker(QStringLiteral("Dessin1_%1").arg(i), arrow, 450 + 900 * i, 5490);
        m_dessin3[i] = makeMarker(QStringLiteral("Dessin3_%1").arg(i), sun, 450 + 900 * i, 6120);

        auto *touch = new PictureImage(this);
        touch->setObjectName(QStringLiteral("Dessin2_%1").arg(i));
        touch->setAccessibleName(QStringLiteral("Classe %1").arg(i));
        touch->setCursor(Qt::PointingHandCursor);
        place(touch, 270 + 900 * i, 6030, 915, 645);
        connect(touch, &PictureImage::clicked, this, [this, i] { Dessin2_Click(i); });
        m_dessin2[i] = touch;
    }
}

void Feuillerecherche::Form_Load()
{
    loadScreen();
    for (int i = 0; i < 10; ++i) {
        m_couleurs[i] = module().couleurClasse(i);
        m_forme1[i]->setFill(m_couleurs[i]);
    }
}

void Feuillerecherche::ConstruitFiltreDewey()
{
    QList<int> classes;
    for (int i = 0; i < 10; ++i)
        if (!m_dessin1[i]->isHidden())
            classes << i;
    module().setFiltreDewey(filtreDewey(classes));
}

void Feuillerecherche::Dessin2_Click(int Index)
{
    const bool marquée = !m_dessin1.at(Index)->isHidden();
    m_dessin1[Index]->setVisible(!marquée);
    m_dessin3[Index]->setVisible(!marquée);
}

void Feuillerecherche::Command3D4_Click()
{
    Module11 &m = module();
    m.services().pointer.hourglass();
    m.trapped([this] { ConstruitFiltreDewey(); });
    m.trapped([this] { context().FeuilleRecherche1().premièrePage(); });
    m.services().pointer.arrow();
    m.trapped([this] { ouvrirModal(context().FeuilleRecherche1()); });
}

void Feuillerecherche::Command3D5_Click()
{
    module().trapped([this] { ConstruitFiltreDewey(); });
    module().trapped([this] { ouvrirModal(context().FeuilleDescripteurs()); });
}

void Feuillerecherche::Command3D1_Click()
{
    module().trapped([this] { ConstruitFiltreDewey(); });
    module().trapped([this] { ouvrirModal(context().FeuilleÉcriture()); });
}

void Feuillerecherche::Command3D3_Click()
{
    Module11 &m = module();
    MousePointer &pointer = m.services().pointer;
    pointer.hourglass();
    m.trapped([&] {
        Cursor &catalogue = m.données().Donnée2();
        catalogue.setDatabaseName(nativePath(m.CheminBase() + QStringLiteral("\\LUMA.MDB")));
        catalogue.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
        catalogue.refresh();
    });
    pointer.arrow();
    joueSonFerme();
    hide();
}

void Feuillerecherche::Picture3_Click()
{
    joueSonFerme();
}
