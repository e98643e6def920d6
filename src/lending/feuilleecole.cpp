#include "lending/feuilleecole.h"

#include "module/appcontext.h"
#include "lending/feuilleclasse.h"
#include "platform/paths.h"

#include <QLabel>

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

// The place of class slot i, in twips: three rows of five, the middle three
// of the second row a little higher and taller.
QRectF slotRect(int i)
{
    const double left = 450 + 1350 * (i % 5);
    double top = 1710 + 1710 * (i / 5);
    double height = 1545;
    if (i >= 6 && i <= 8) {
        top = 3390;
        height = 1575;
    }
    return {left, top, 1185, height};
}

} // namespace

Feuilleécole::Feuilleécole(AppContext &context)
    : LumaScreen(context, QStringLiteral("Feuilleécole"), QColor(128, 255, 128))
{
    Geometry &geometry = context.geometry();

    m_panel3D1 = makeTitleBand(QStringLiteral(" Choisis ta classe"), 27, kBlue);
    m_ssCommand1 = makeButton(QStringLiteral("SSCommand1"), asset(QStringLiteral("door")), QStringLiteral("Fermer"),
                              8640, 180, 825, 1125, m_panel3D1);
    setDoor(m_ssCommand1);
    connect(m_ssCommand1, &QAbstractButton::clicked, this, [this] { SSCommand1_Click(); });
    m_picture3 = makeSpeakerAt(QStringLiteral("Picture3"), QStringLiteral("Fermer"), 8100, 780);
    connect(m_picture3, &PictureImage::clicked, this, [this] { Picture3_Click(); });

    // Within a slot, front to back: the frame, the class picture, the
    // teacher's name (which shows only where there is no picture). Widgets
    // made later lie in front, so they are made back to front.
    const QFont teacherFont = geometry.font(QStringLiteral("Times New Roman"), 8.25, true);
    for (int i = 0; i < kSlots; ++i) {
        const QRectF r = slotRect(i);
        QLabel *teacher = makeLabel(QStringLiteral("Etiquette2_%1").arg(i), QString(), r.left(), r.top() + 270,
                                    r.width(), 1275, teacherFont, Qt::black, Qt::AlignHCenter | Qt::AlignTop);
        teacher->hide();
        m_etiquette2[i] = teacher;
    }
    for (int i = 0; i < kSlots; ++i) {
        const QRectF r = slotRect(i);
        auto *picture = new PictureImage(this);
        picture->setObjectName(QStringLiteral("Dessin1_%1").arg(i));
        picture->setAccessibleName(QStringLiteral("La classe %1").arg(i + 1));
        picture->setCursor(Qt::PointingHandCursor);
        place(picture, r.left(), r.top(), r.width(), r.height());
        picture->hide();
        connect(picture, &PictureImage::clicked, this, [this, i] { Dessin1_Click(i); });
        m_dessin1[i] = picture;
    }
    for (int i = 0; i < kSlots; ++i) {
        auto *frame = new ShapeRect(this);
        frame->setObjectName(QStringLiteral("Forme1_%1").arg(i));
        frame->setOutline(kRed, 5);
        frame->setGeometry(m_dessin1[i]->geometry());
        frame->hide();
        m_forme1[i] = frame;
    }

    m_etiquette1 = makeLabel(QStringLiteral("Etiquette1"), QStringLiteral("Je veux voir les enfants de la classe"), 7710,
                             3660, 1515, 1035, geometry.font(QStringLiteral("Arial"), 12, true), Qt::black,
                             Qt::AlignLeft | Qt::AlignTop);
    m_etiquette1->hide();
    m_command3D1 = makeButton(QStringLiteral("Command3D1"), asset(QStringLiteral("child")),
                              QStringLiteral("Je veux voir les enfants de la classe"), 7650, 4680, 1635, 1995);
    connect(m_command3D1, &QAbstractButton::clicked, this, [this] { Command3D1_Click(); });
    m_command3D1->hide();
}

void Feuilleécole::Form_Load()
{
    loadScreen();
}

void Feuilleécole::Dessin1_Click(int Index)
{
    for (ShapeRect *frame : m_forme1)
        frame->hide();
    m_forme1.at(Index)->show();
    m_command3D1->show();
    m_etiquette1->show();
}

void Feuilleécole::Command3D1_Click()
{
    Module11 &m = module();
    MousePointer &pointer = context().services().pointer;
    Cursor &children = context().données().Donnée1();

    pointer.hourglass();
    Feuilleclasse &classe = context().FeuilleClasse();
    for (int k = 0; k < Feuilleclasse::kPhotos; ++k)
        classe.Dessin1(k)->hide();

    for (int j = 0; j < kSlots; ++j) {
        if (m_forme1[j]->isHidden())
            continue;

        const QString number = QStringLiteral("%1").arg(j + 1, 2, 10, QLatin1Char('0'));
        m.trapped([&] { children.setDatabaseName(nativePath(m.CheminEcole() + QStringLiteral("\\ALTEMARE.MDB"))); });
        m.trapped([&] {
            children.setRecordSource(QStringLiteral("SELECT * FROM enfants WHERE classe = '") + number +
                                     QStringLiteral("' ORDER BY nomenfant, prénomenfant"));
            children.refresh();
        });
        classe.Dessin2()->setPicture(m_dessin1[j]->picture());
        m.trapped([&] { children.moveFirst(); });

        // The photographs of the first 35 children, slot k for the record at
        // position k. A class with more children than slots shows the first
        // 35 only, so that every photograph selects its own child.
        int k = 0;
        while (!m.programEnded()) {
            bool atEnd = true;
            if (!m.trapped([&] { atEnd = children.eof(); }) || atEnd)
                break;
            if (k < Feuilleclasse::kPhotos) {
                QString matricule;
                m.trapped([&] { matricule = context().données().Etiquette3().text(); });
                Picture photo = Picture::fromFile(fichierPhotoEnfant(m.CheminEcole(), matricule),
                                                  classe.Dessin1(k)->displaySize());
                if (photo.isNull())
                    photo = classe.Dessin3()->picture();
                classe.Dessin1(k)->setPicture(photo);
                classe.Dessin1(k)->show();
            }
            if (!m.trapped([&] { children.moveNext(); }))
                break;
            ++k;
        }

        pointer.arrow();
        if (!m.programEnded())
            ouvrirModal(classe);
        return;
    }
    pointer.arrow();
}

void Feuilleécole::SSCommand1_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
    hide();
}

void Feuilleécole::Picture3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
}

void Feuilleécole::Panel3D1_DblClick()
{
    module().APropos();
}
