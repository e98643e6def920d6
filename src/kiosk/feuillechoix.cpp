#include "kiosk/feuillechoix.h"

#include "module/appcontext.h"
#include "kiosk/version.h"
#include "lending/feuilleecole.h"
#include "search/feuillerecherche.h"

#include <QLabel>

Feuillechoix::Feuillechoix(AppContext &context)
    : LumaScreen(context, QStringLiteral("Feuillechoix"), couleurFond())
{
    const Geometry &geo = context.geometry();
    makeTitleBand(QStringLiteral(" Que veux-tu faire ?"), 36, QColor(0, 0, 255));

    Button3D *prêter = makeButton(QStringLiteral("Command3D1"), asset(QStringLiteral("borrow")),
                                  QStringLiteral("J'emprunte / Je rends"), 990, 2700, 3255, 2355);
    connect(prêter, &Button3D::clicked, this, [this] { Command3D1_Click(); });
    // The label is wider than its button, centred under it, so the words stay on one line.
    QLabel *prêterMots = makeLabel(QStringLiteral("Etiquette1"), QStringLiteral("J'emprunte / Je rends"), 300, 5130, 4650, 600,
              geo.font(QStringLiteral("Arial"), 20.25, true), QColor(255, 0, 0), Qt::AlignHCenter | Qt::AlignTop);
    prêterMots->setWordWrap(false);

    Button3D *chercher = makeButton(QStringLiteral("Command3D2"), asset(QStringLiteral("search")),
                                    QStringLiteral("Je cherche"), 5400, 2700, 3255, 2355);
    connect(chercher, &Button3D::clicked, this, [this] { Command3D2_Click(); });
    makeLabel(QStringLiteral("Etiquette2"), QStringLiteral("Je cherche"), 5400, 5130, 3255, 600,
              geo.font(QStringLiteral("Arial"), 20.25, true), QColor(0, 128, 0), Qt::AlignHCenter | Qt::AlignTop);

    Button3D *quitter = makeButton(QStringLiteral("Command3D3"), asset(QStringLiteral("door")),
                                   QStringLiteral("Quitter le programme"), 8640, 180, 825, 1095);
    connect(quitter, &Button3D::clicked, this, [this] { Command3D3_Click(); });

    // The loudspeakers sit on the upper left corner of their buttons.
    PictureImage *hp1 = makeSpeakerAt(QStringLiteral("Picture1"), QStringLiteral("J'emprunte ou je rends un livre"),
                                      990 - 240, 2700 - 240);
    connect(hp1, &PictureImage::clicked, this, [this] { Picture1_Click(); });
    PictureImage *hp2 =
        makeSpeakerAt(QStringLiteral("Picture2"), QStringLiteral("Je cherche un livre"), 5400 - 240, 2700 - 240);
    connect(hp2, &PictureImage::clicked, this, [this] { Picture2_Click(); });
    PictureImage *hp3 = makeSpeakerAt(QStringLiteral("Picture3"), QStringLiteral("Quitter le programme"), 8100, 780);
    connect(hp3, &PictureImage::clicked, this, [this] { Picture3_Click(); });

    const QFont small = geo.font(QStringLiteral("Times New Roman"), 8.25, true);
    makeLabel(QStringLiteral("Label1"), QStringLiteral("Version"), 120, 6480, 4500, 300, small, QColor(255, 0, 0),
              Qt::AlignLeft | Qt::AlignVCenter);
    makeLabel(QStringLiteral("Etiquette3"), QStringLiteral("Pour les petits lecteurs de l'école maternelle"), 4800,
              6480, 4680, 300, small, QColor(255, 0, 0), Qt::AlignRight | Qt::AlignVCenter);
}

void Feuillechoix::Form_Load()
{
    loadScreen();
    findChild<QLabel *>(QStringLiteral("Label1"))->setText(versionText());
}

void Feuillechoix::Command3D1_Click()
{
    ouvrirModal(context().FeuilleÉcole());
}

void Feuillechoix::Command3D2_Click()
{
    ouvrirModal(context().FeuilleRecherche());
}

void Feuillechoix::Command3D3_Click()
{
    Module11 &m = module();
    m.JoueSon(m.CheminBase() + QStringLiteral("\\SONS\\QUITTE.WAV"));
    m.setReponse(m.services().messages.show(QStringLiteral("Veux-tu vraiment quitter le programme ?"),
                                            Module11::titreProgramme(), MsgIcon::Question, MsgButtons::YesNo));
    if (m.Reponse() != MsgAnswer::No)
        m.endProgram();
}

void Feuillechoix::Picture1_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\EMP_REST.WAV"));
}

void Feuillechoix::Picture2_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\CHERCHE.WAV"));
}

void Feuillechoix::Picture3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\QUITTE.WAV"));
}
