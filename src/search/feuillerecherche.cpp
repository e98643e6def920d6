#include "search/feuillerecherche.h"

#include "app/appcontext.h"
#include "platform/paths.h"

Feuillerecherche::Feuillerecherche(AppContext &context)
    : LumaScreen(context, QStringLiteral("Feuillerecherche"), QColor(255, 128, 255))
{
    makeTitleBand(QStringLiteral(" Quels livres recherches-tu ?"), 27, QColor(0, 0, 255));
    PictureImage *speaker = makeSpeakerAt(QStringLiteral("Picture3"), QStringLiteral("Fermer"), 8100, 780);
    connect(speaker, &PictureImage::clicked, this, [this] { Picture3_Click(); });
    Button3D *door = makeButton(QStringLiteral("Command3D3"), asset(QStringLiteral("door")), QStringLiteral("Fermer"),
                                8640, 180, 825, 1125);
    connect(door, &Button3D::clicked, this, [this] { Command3D3_Click(); });
}

void Feuillerecherche::Form_Load()
{
    loadScreen();
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
    m.JoueSon(m.CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
    hide();
}

void Feuillerecherche::Picture3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
}
