#include "search/recherchedocuments.h"

#include "module/appcontext.h"
#include "module/lumascreen.h"
#include "data/jetliteral.h"
#include "platform/paths.h"
#include "search/feuilleaffichage.h"

#include <QPushButton>

QString requeteTitreOuMotsCles(const QString &mot, const QString &filtreDewey, int blancsAvantAnd)
{
    const QString motif = jetSearchWord(mot.trimmed());
    return QStringLiteral("SELECT * FROM luma WHERE (titre LIKE '*") + motif + QStringLiteral("*' OR motsclés LIKE '*") +
           motif + QStringLiteral("*')") + QString(blancsAvantAnd, QLatin1Char(' ')) + QStringLiteral("AND (") +
           filtreDewey + QStringLiteral(") ORDER BY inventaire ASC");
}

bool afficheResultat(LumaScreen &opener, const QString &recordSource)
{
    AppContext &context = opener.context();
    Module11 &m = context.module();
    MousePointer &pointer = context.services().pointer;
    Cursor &catalogue = context.données().Donnée2();

    pointer.hourglass();
    const bool ran = m.trapped([&] {
        catalogue.setDatabaseName(nativePath(m.CheminBase() + QStringLiteral("\\LUMA.MDB")));
        catalogue.setRecordSource(recordSource);
        catalogue.refresh();
    });
    // A rejected query leaves no result: the search ends after its report,
    // rather than showing whatever the cursor held before.
    if (!ran) {
        pointer.arrow();
        return false;
    }
    if (catalogue.bof() && catalogue.eof()) {
        pointer.arrow();
        m.services().messages.show(QStringLiteral("Aucun livre n'a été trouvé..."), Module11::titreProgramme(),
                                   MsgIcon::Exclamation, MsgButtons::Ok);
        return false;
    }
    if (!m.trapped([&] { catalogue.moveFirst(); })) {
        pointer.arrow();
        return false;
    }
    pointer.arrow();
    opener.ouvrirModal(context.FeuilleAffichage());
    return true;
}

JeCherche makeJeCherche(LumaScreen &screen, const QRectF &dog, const QRectF &button,
                        const std::function<void()> &onDog, const std::function<void()> &onButton)
{
    auto *chien = new PictureImage(&screen);
    chien->setObjectName(QStringLiteral("Dessin3"));
    chien->setAccessibleName(QStringLiteral("je cherche"));
    chien->setCursor(Qt::PointingHandCursor);
    chien->setPicture(Picture::fromResource(asset(QStringLiteral("dog"))));
    screen.place(chien, dog.left(), dog.top(), dog.width(), dog.height());
    QObject::connect(chien, &PictureImage::clicked, &screen, onDog);

    QPushButton *bouton = screen.makePushButton(QStringLiteral("Commande2"), QStringLiteral("je cherche"), 20.25,
                                                button.left(), button.top(), button.width(), button.height());
    QObject::connect(bouton, &QPushButton::clicked, &screen, onButton);
    return {chien, bouton};
}
