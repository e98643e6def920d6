#include "lending/feuilleclasse.h"

#include "module/appcontext.h"
#include "lending/feuilledocument.h"
#include "data/jetliteral.h"

#include <QLabel>
#include <QLineEdit>

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QString kQuestion = QStringLiteral(" Qui es-tu ?");

} // namespace

Feuilleclasse::Feuilleclasse(AppContext &context)
    : LumaScreen(context, QStringLiteral("Feuilleclasse"), QColor(128, 255, 255))
{
    m_panel3D1 = makeTitleBand(kQuestion, 35.25, kBlue);

    m_dessin2 = new PictureImage(m_panel3D1);
    m_dessin2->setObjectName(QStringLiteral("Dessin2"));
    m_dessin2->setAccessibleName(QStringLiteral("La classe"));
    place(m_dessin2, 7020, 120, 975, 1215);
    m_picture3 = makeSpeakerAt(QStringLiteral("Picture3"), QStringLiteral("Fermer"), 8100, 780, m_panel3D1);
    connect(m_picture3, &PictureImage::clicked, this, [this] { Picture3_Click(); });
    m_command3D3 = makeButton(QStringLiteral("Command3D3"), asset(QStringLiteral("door")), QStringLiteral("Fermer"),
                              8640, 180, 825, 1095, m_panel3D1);
    setDoor(m_command3D3);
    connect(m_command3D3, &QAbstractButton::clicked, this, [this] { Command3D3_Click(); });

    // The photographs, each with its frame in front of it.
    for (int k = 0; k < kPhotos; ++k) {
        const double left = 360 + 900 * (k % 10);
        const double top = 1710 + 1260 * (k / 10);
        auto *photo = new PictureImage(this);
        photo->setObjectName(QStringLiteral("Dessin1_%1").arg(k));
        photo->setCursor(Qt::PointingHandCursor);
        place(photo, left, top, 825, 1185);
        photo->hide();
        connect(photo, &PictureImage::clicked, this, [this, k] { Dessin1_Click(k); });
        m_dessin1[k] = photo;
    }
    for (int k = 0; k < kPhotos; ++k) {
        auto *frame = new ShapeRect(this);
        frame->setObjectName(QStringLiteral("Forme1_%1").arg(k));
        frame->setOutline(kRed, 5);
        frame->setGeometry(m_dessin1[k]->geometry());
        frame->hide();
        m_forme1[k] = frame;
    }

    m_dessin3 = new PictureImage(this);
    m_dessin3->setObjectName(QStringLiteral("Dessin3"));
    m_dessin3->setPicture(Picture::fromResource(asset(QStringLiteral("child"))));
    place(m_dessin3, 1320, 270, 825, 1185);
    m_dessin3->hide();

    m_command3D1 = makeButton(QStringLiteral("Command3D1"), QString(), QStringLiteral("J'emprunte / Je rends"), 7560,
                              5520, 1725, 1185);
    connect(m_command3D1, &QAbstractButton::clicked, this, [this] { Command3D1_Click(); });
    m_command3D1->hide();
    m_picture1 = makeSpeakerAt(QStringLiteral("Picture1"), QStringLiteral("J'emprunte / Je rends"), 7020, 6180);
    connect(m_picture1, &PictureImage::clicked, this, [this] { Picture1_Click(); });
    m_picture1->hide();
}

void Feuilleclasse::Form_Load()
{
    loadScreen();
}

void Feuilleclasse::hideFrames()
{
    for (ShapeRect *frame : m_forme1)
        frame->hide();
}

void Feuilleclasse::Form_Activate()
{
    // The question is always asked in blue, whichever way the screen came back.
    resetToWaiting();
}

void Feuilleclasse::resetToWaiting()
{
    hideFrames();
    m_panel3D1->setTextColor(kBlue);
    m_panel3D1->setText(kQuestion);
    m_command3D1->hide();
    m_picture1->hide();
}

void Feuilleclasse::Dessin1_Click(int Index)
{
    Module11 &m = module();
    Feuilleenfant &d = context().données();
    MousePointer &pointer = context().services().pointer;

    pointer.hourglass();
    hideFrames();
    m_forme1.at(Index)->show();

    // The child of slot Index is the record at position Index.
    Cursor &children = d.Donnée1();
    const bool childFound = m.trapped([&] {
        children.moveFirst();
        for (int i = 0; i < Index + 1; ++i)
            children.moveNext();
        children.movePrevious();
    });
    m_command3D1->hide();
    m_picture1->hide();
    if (!childFound) {
        pointer.arrow();
        return;
    }

    QString matricule;
    const bool childRead = m.trapped([&] {
        matricule = d.Etiquette3().text();
        const QString prénom = d.Etiquette2().text();
        m_panel3D1->setTextColor(kRed);
        m_panel3D1->setText(QStringLiteral(" ") + prénom);
        // The child hears the name as it appears.
        m.Dit(prénom);
    });
    if (!childRead) {
        // Whose loan to look for is unknown: nothing is offered.
        pointer.arrow();
        return;
    }

    // The child's document on loan, if any. The matricule is matched as it
    // stands: a quote or a wildcard in it matches only itself.
    const QString criterion = QStringLiteral("emprunt like 'O' AND catégorieemprunteur like 'école' AND emprunteur like '") +
                              jetLikeLiteral(matricule) + QStringLiteral("' AND emprunté like 'O'");
    Cursor &catalogue = d.Donnée2();
    bool onLoan = false;
    const bool searched = m.trapped([&] {
        catalogue.refresh();
        if (!(catalogue.bof() && catalogue.eof()))
            catalogue.moveFirst();
        catalogue.findFirst(criterion);
        onLoan = !catalogue.noMatch();
    });
    if (!searched || m.programEnded()) {
        // Without knowing whether the child holds a document, neither a
        // borrow nor a return is offered.
        pointer.arrow();
        return;
    }

    feuilledocument &document = context().FeuilleDocument();
    if (onLoan) {
        m_command3D1->setPicture(document.Command3D5()->picture());
        m_command3D1->setAccessibleName(QStringLiteral("Je rends"));
        m_picture1->setAccessibleName(QStringLiteral("Je rends"));
        document.Panel3D3()->hide();
        document.Command3D4()->hide();
        document.Etiquette1()->hide();
        document.Command3D5()->show();
        document.Etiquette2()->show();
        QString inventaire;
        m.trapped([&] {
            document.setTitle(QStringLiteral(" ") + d.Etiquette5().text(), kRed);
            inventaire = d.Etiquette4().text();
        });
        document.retientDocumentMontre();
        document.showCover(inventaire);
    } else {
        m_command3D1->setPicture(document.Command3D4()->picture());
        m_command3D1->setAccessibleName(QStringLiteral("J'emprunte"));
        m_picture1->setAccessibleName(QStringLiteral("J'emprunte"));
        document.Panel3D3()->show();
        document.Text1()->clear();
        document.Dessin1()->clear();
        document.Command3D4()->hide();
        document.Etiquette1()->hide();
        document.Command3D5()->hide();
        document.Etiquette2()->hide();
        document.setTitle(QStringLiteral(" Quel livre veux-tu emprunter ?"), kBlue);
    }
    m_command3D1->show();
    m_picture1->show();
    pointer.arrow();
}

QString Feuilleclasse::modeSound() const
{
    feuilledocument &document = context().FeuilleDocument();
    const Picture &shown = m_command3D1->picture();
    if (shown.sameAs(document.Command3D5()->picture()))
        return QStringLiteral("\\SONS\\RENDS.WAV");
    if (shown.sameAs(document.Command3D4()->picture()))
        return QStringLiteral("\\SONS\\EMPRUNTE.WAV");
    return {};
}

void Feuilleclasse::Command3D1_Click()
{
    const QString sound = modeSound();
    if (!sound.isEmpty())
        module().JoueSon(module().CheminBase() + sound);
    ouvrirModal(context().FeuilleDocument());
}

void Feuilleclasse::Picture1_Click()
{
    if (m_command3D1->isHidden())
        return;
    const QString sound = modeSound();
    if (!sound.isEmpty())
        module().JoueSon(module().CheminBase() + sound);
}

void Feuilleclasse::Command3D3_Click()
{
    resetToWaiting();
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
    hide();
}

void Feuilleclasse::Picture3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
}
