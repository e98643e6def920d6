#include "search/feuilleaffichage.h"

#include "module/appcontext.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace {

const QColor kRed(255, 0, 0);

QString son(Module11 &m, const char *file)
{
    return m.CheminBase() + QStringLiteral("\\SONS\\") + QLatin1String(file);
}

} // namespace

feuilleaffichage::feuilleaffichage(AppContext &context)
    : LumaScreen(context, QStringLiteral("feuilleaffichage"), QColor(255, 128, 255))
{
    // No caption. Qt shows the program's name in place of an empty title, so
    // the title is one blank.
    setWindowTitle(QStringLiteral(" "));
    const Geometry &geo = context.geometry();

    Panel3D *band = makeTitleBand(QStringLiteral(" Résultat de la recherche documentaire"), 21, Qt::black);
    band->setBackground(QColor(128, 255, 128));
    makeDoor([this] { Command3D3_Click(); }, [this] { Picture3_Click(); });

    // The class colour shows as a band around the cover's frame.
    m_forme1 = new ShapeRect(this);
    m_forme1->setObjectName(QStringLiteral("Forme1"));
    m_forme1->setFill(m_couleurCadre);
    place(m_forme1, 180, 1620, 4335, 5145);

    auto *frame = new Panel3D(this);
    frame->setObjectName(QStringLiteral("Panel3D2"));
    frame->setBackground(QColor(192, 192, 192));
    place(frame, 450, 1890, 3765, 4575);
    m_dessin1 = new PictureImage(frame);
    m_dessin1->setObjectName(QStringLiteral("Dessin1"));
    m_dessin1->setAccessibleName(QStringLiteral("Le livre"));
    place(m_dessin1, 120, 90, 3495, 4335);
    connect(m_dessin1, &PictureImage::clicked, this, [this] { Dessin1_Click(); });

    const QFont red = geo.font(QStringLiteral("Arial"), 18, true);
    m_etiquette4 = makeLabel(QStringLiteral("Etiquette4"), QStringLiteral("--- N° inventaire ---"), 4500, 1620, 4965,
                             555, red, kRed, Qt::AlignLeft | Qt::AlignTop);
    m_etiquette3 = makeLabel(QStringLiteral("Etiquette3"), QStringLiteral("--- titre du livre ---"), 4560, 2340, 4905,
                             2775, red, kRed, Qt::AlignLeft | Qt::AlignTop);
    // Touched, the number and the title are read aloud.
    m_etiquette3->installEventFilter(this);
    m_etiquette4->installEventFilter(this);

    // "avant" and "après": a hand on each button says which way it goes, a
    // loudspeaker says its word.
    m_commande1 = makePushButton(QStringLiteral("Commande1"), QStringLiteral("avant"), 24, 5040, 5160, 1725, 1605);
    connect(m_commande1, &QPushButton::clicked, this, [this] { Commande1_Click(); });
    m_commande2 = makePushButton(QStringLiteral("Commande2"), QStringLiteral("après"), 24, 7200, 5160, 1725, 1605);
    connect(m_commande2, &QPushButton::clicked, this, [this] { Commande2_Click(); });

    const auto makeHand = [&](const char *name, const char *picture, const QString &words, double left) {
        auto *hand = new PictureImage(this);
        hand->setObjectName(QLatin1String(name));
        hand->setAccessibleName(words);
        hand->setPicture(Picture::fromResource(asset(QLatin1String(picture))));
        place(hand, left, 5220, 480, 480);
        return hand;
    };
    m_picture1 = makeHand("Picture1", "hand_left", QStringLiteral("Avant"), 5640);
    connect(m_picture1, &PictureImage::clicked, this, [this] { Picture1_Click(); });
    m_picture2 = makeHand("Picture2", "hand_right", QStringLiteral("Après"), 7800);
    connect(m_picture2, &PictureImage::clicked, this, [this] { Picture2_Click(); });

    PictureImage *speakBefore = makeSpeakerAt(QStringLiteral("Picture4"), QStringLiteral("Avant"), 5100, 6240);
    connect(speakBefore, &PictureImage::clicked, this, [this] { Picture4_Click(); });
    PictureImage *speakAfter = makeSpeakerAt(QStringLiteral("Picture5"), QStringLiteral("Après"), 7260, 6240);
    connect(speakAfter, &PictureImage::clicked, this, [this] { Picture5_Click(); });
}

void feuilleaffichage::Form_Load()
{
    loadScreen();
}

void feuilleaffichage::Form_Activate()
{
    module().trapped([this] { AfficheDocument(); });
}

void feuilleaffichage::AfficheDocument()
{
    Feuilleenfant &d = context().données();
    // Each showing says which way there is still something to see, even when
    // reading the record fails below.
    marqueLesBouts();
    if (!d.Donnée2().hasCurrentRecord()) {
        pageVide();
        return;
    }
    const QString inventaire = d.Etiquette4().text();
    if (inventaire.compare(QString(), Qt::CaseInsensitive) != 0)
        m_dessin1->setPicture(module().couverture(inventaire, m_dessin1->displaySize()));
    m_etiquette3->setText(d.Etiquette5().text());
    m_etiquette4->setText(inventaire);
    CouleurDewey();
}

void feuilleaffichage::CouleurDewey()
{
    const QString dewey = context().données().Etiquette9().text();
    const QChar first = dewey.isEmpty() ? QChar() : dewey.front();
    if (first >= u'0' && first <= u'9') {
        const int d = first.unicode() - u'0';
        m_couleurCadre = module().couleurClasse(d);
        m_forme1->setFill(m_couleurCadre);
        m_forme1->show();
    } else {
        m_forme1->hide();
    }
}

void feuilleaffichage::pageVide()
{
    m_dessin1->clear();
    m_etiquette3->clear();
    m_etiquette4->clear();
    m_forme1->hide();
}

void feuilleaffichage::marqueLesBouts()
{
    const Cursor &catalogue = context().données().Donnée2();
    const bool avant = !catalogue.bof();
    const bool après = !catalogue.eof();
    m_commande1->setEnabled(avant);
    m_picture1->setEnabled(avant);
    m_commande2->setEnabled(après);
    m_picture2->setEnabled(après);
}

void feuilleaffichage::pas(bool enAvant)
{
    Module11 &m = module();
    Cursor &catalogue = context().données().Donnée2();
    m.services().pointer.hourglass();
    // One step off either end at most: there the cursor has no record and
    // goes no further that way.
    m.trapped([&] {
        if (enAvant && !catalogue.eof())
            catalogue.moveNext();
        else if (!enAvant && !catalogue.bof())
            catalogue.movePrevious();
    });
    m.trapped([this] { AfficheDocument(); });
    m.services().pointer.arrow();
}

void feuilleaffichage::Picture1_Click()
{
    pas(false);
}

void feuilleaffichage::Commande1_Click()
{
    Picture1_Click();
}

void feuilleaffichage::Picture2_Click()
{
    pas(true);
}

void feuilleaffichage::Commande2_Click()
{
    Picture2_Click();
}

void feuilleaffichage::Picture3_Click()
{
    joueSonFerme();
}

void feuilleaffichage::Picture4_Click()
{
    module().JoueSon(son(module(), "AVANT.WAV"));
}

void feuilleaffichage::Picture5_Click()
{
    module().JoueSon(son(module(), "APRES.WAV"));
}

void feuilleaffichage::Dessin1_Click()
{
    module().Dit(m_etiquette3->text());
}

void feuilleaffichage::Etiquette3_Click()
{
    module().Dit(m_etiquette3->text());
}

void feuilleaffichage::Etiquette4_Click()
{
    const QString numéro = m_etiquette4->text().trimmed();
    if (!numéro.isEmpty())
        module().Dit(QStringLiteral("numéro, ") + Module11::chiffreParChiffre(numéro));
}

bool feuilleaffichage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && (watched == m_etiquette3 || watched == m_etiquette4)) {
        const auto *release = static_cast<QMouseEvent *>(event);
        const auto *label = static_cast<QLabel *>(watched);
        if (release->button() == Qt::LeftButton && label->rect().contains(release->position().toPoint())) {
            if (watched == m_etiquette3)
                Etiquette3_Click();
            else
                Etiquette4_Click();
        }
    }
    return LumaScreen::eventFilter(watched, event);
}

void feuilleaffichage::Command3D3_Click()
{
    joueSonFerme();
    hide();
}
