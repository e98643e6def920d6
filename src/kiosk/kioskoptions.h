#pragma once

#include <QString>
#include <QStringList>

// The kiosk's command-line options. The program is started in the library's
// data folder; the options only change how it sits on the display, when it
// goes back to the main menu by itself and whether it reads words aloud,
// never what the screens do.
struct KioskOptions
{
    // Seconds without a touch or a key before every screen above the main
    // menu closes by itself; 0: never.
    int retourAccueilSecondes = 180;
    // A backdrop fills the display behind the screens, with no window frame.
    bool pleinEcran = false;
    // No synthesized voice: titles, subject words, first names and digits
    // are not read aloud; the recorded sounds still play.
    bool sansVoix = false;
};

struct KioskOptionsParse
{
    enum class Outcome { Run, Help, Error };
    Outcome outcome = Outcome::Run;
    KioskOptions options;
    // For Help, the text to print; for Error, the French message (with a hint
    // to --help).
    QString text;
};

// Reads the arguments after the program's name.
KioskOptionsParse parseKioskOptions(const QStringList &arguments);

// What --help prints, in French.
QString kioskHelp();
