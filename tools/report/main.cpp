// luma-rapport: who has which book. Reads a data folder as the kiosk does,
// never writes it, and writes the list of loans as a PDF or an HTML page.

#include "commande.h"

#include "data/engineversion.h"
#include "platform/qtservices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include <cstdio>

namespace {

void ecris(FILE *flux, const QString &texte)
{
    std::fputs(texte.toLocal8Bit().constData(), flux);
    std::fputc('\n', flux);
}

class SansBoite : public MessageBoxes
{
public:
    int show(const QString &, const QString &, MsgIcon, MsgButtons) override { return MsgAnswer::Ok; }
};

} // namespace

int main(int argc, char *argv[])
{
    // The pages are drawn without a screen; only --ouvrir needs the desktop
    // (its viewer, and message boxes instead of a terminal).
    bool ouvrir = false;
    for (int i = 1; i < argc; ++i)
        ouvrir = ouvrir || qstrcmp(argv[i], "--ouvrir") == 0;
    const bool bureau = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && (!ouvrir || !bureau))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("luma-rapport"));
    installFrenchTranslation(application);

    // Without a desktop a box would wait for a click that cannot come: the
    // message on the error output is then the only one.
    QtMessageBoxes boites;
    SansBoite sansBoite;
    const QString plateforme = QGuiApplication::platformName();
    MessageBoxes &messages = (plateforme == QLatin1String("offscreen") || plateforme == QLatin1String("minimal"))
        ? static_cast<MessageBoxes &>(sansBoite)
        : boites;
    if (const QString tooOld = sqliteTooOld(); !tooOld.isEmpty()) {
        ecris(stderr, QStringLiteral("luma-rapport : ") + tooOld);
        if (ouvrir)
            messages.show(tooOld, QStringLiteral("Qui a quel livre ?"), MsgIcon::Exclamation, MsgButtons::Ok);
        return 1;
    }

    SystemClock horloge;
    const ServicesRapport services{
        horloge,
        messages,
        [](const QString &fichier) { return QDesktopServices::openUrl(QUrl::fromLocalFile(fichier)); },
        [](const QString &ligne) { ecris(stdout, ligne); },
        [](const QString &ligne) { ecris(stderr, ligne); },
    };
    return lanceRapport(application.arguments().mid(1), services);
}
