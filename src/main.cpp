// La LUMA - Cycle 1: started in the library's data folder, with no argument.

#include "kiosk/kioskcontext.h"
#include "kiosk/feuillechoix.h"
#include "kiosk/fondkiosque.h"
#include "kiosk/kioskoptions.h"
#include "kiosk/presentation.h"
#include "kiosk/retouraccueil.h"
#include "data/engineversion.h"
#include "platform/espeakspeech.h"
#include "platform/qtservices.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

// The screens are drawn for 9720 x 7320 twips (648 x 488 pixels); on a larger
// display they are enlarged, by quarter steps, to nearly fill it.
double scaleForDisplay(QSize display)
{
    const double fit = std::min(display.width() / 648.0, display.height() / 488.0) * 0.98;
    return std::max(1.0, std::floor(fit * 4.0) / 4.0);
}

} // namespace

int main(int argc, char *argv[])
{
    // Read before the display is opened, so that --help and a wrong option
    // answer on a terminal without one.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const KioskOptionsParse parse = parseKioskOptions(arguments);
    if (parse.outcome != KioskOptionsParse::Outcome::Run) {
        const bool help = parse.outcome == KioskOptionsParse::Outcome::Help;
        std::fputs(qPrintable(parse.text + QLatin1Char('\n')), help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const KioskOptions &options = parse.options;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("luma-cycle1"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/chick.svg")));
    installFrenchTranslation(application);

    QtMessageBoxes messages;
    QtSoundPlayer sound;
    SystemClock clock;
    QtDisplay display;
    QtMousePointer pointer;
    // The voice is loaded in the background, so the first word is ready
    // before the first touch; without it the words stay silent.
    std::optional<EspeakSpeech> voice;
    SilentSpeech silence;
    if (!options.sansVoix)
        voice.emplace(sound);
    Speech &speech = voice ? static_cast<Speech &>(*voice) : silence;
    KioskContext *running = nullptr;
    QtProgramEnd programEnd([&running] {
        if (running)
            running->closeAll();
    });

    // Checked before any file is opened: an older SQLite would misread them.
    if (const QString tooOld = sqliteTooOld(); !tooOld.isEmpty()) {
        messages.show(tooOld, QStringLiteral("La LUMA - cycle 1"), MsgIcon::Exclamation, MsgButtons::Ok);
        return 1;
    }

    const double scale = scaleForDisplay(display.sizePixels());
    KioskContext context(PlatformServices{messages, sound, clock, display, programEnd, pointer, speech}, scale);
    context.module().setVoix(!options.sansVoix);
    // Message boxes grow with the screens, so the teacher reading over a
    // child's shoulder reads them as easily.
    QFont boxFont = QApplication::font();
    boxFont.setPointSizeF(boxFont.pointSizeF() * scale * 1.25);
    QApplication::setFont(boxFont, "QMessageBox");
    running = &context;

    FondKiosque fond(Feuillechoix::couleurFond());
    if (options.pleinEcran) {
        context.setFond(&fond);
        fond.couvreEcran();
    }
    std::unique_ptr<RetourAccueil> retour;
    if (options.retourAccueilSecondes > 0)
        retour = std::make_unique<RetourAccueil>(clock, options.retourAccueilSecondes,
                                                 [&context] { return context.module().attendUnVerrou(); });

    // The start-up screen's load step is the whole run: it returns only if
    // the main menu is ever closed without ending the program.
    context.Présentation();
    context.closeAll();
    return 0;
}
