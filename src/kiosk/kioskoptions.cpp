#include "kiosk/kioskoptions.h"

namespace {

constexpr int kMaxSeconds = 24 * 60 * 60;

KioskOptionsParse error(const QString &message)
{
    KioskOptionsParse parse;
    parse.outcome = KioskOptionsParse::Outcome::Error;
    parse.text = QStringLiteral("luma-cycle1 : ") + message +
                 QStringLiteral("\nPour la liste des options : luma-cycle1 --help");
    return parse;
}

} // namespace

QString kioskHelp()
{
    return QStringLiteral(
        "Usage : luma-cycle1 [OPTIONS]\n"
        "La LUMA - Cycle 1 : le prêt et la recherche des livres de la bibliothèque, pour les enfants.\n"
        "À lancer depuis le dossier de données de la bibliothèque (LALUMA).\n"
        "\n"
        "Options :\n"
        "  --retour-accueil SECONDES  après SECONDES sans toucher l'écran ni le clavier, les écrans se\n"
        "                             ferment comme par leur porte et le menu principal revient\n"
        "                             (par défaut 180 ; 0 : jamais)\n"
        "  --plein-ecran              un fond couvre tout l'écran derrière les fenêtres, sans cadre :\n"
        "                             le bureau n'est plus accessible ; on quitte par la porte du menu\n"
        "  --sans-voix                ne lit pas à voix haute les titres, les mots, les prénoms et les\n"
        "                             chiffres (les sons enregistrés du dossier SONS restent)\n"
        "  -h, --help                 affiche cette aide\n");
}

KioskOptionsParse parseKioskOptions(const QStringList &arguments)
{
    KioskOptionsParse parse;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            parse.outcome = KioskOptionsParse::Outcome::Help;
            parse.text = kioskHelp();
            return parse;
        }
        if (arg == QLatin1String("--plein-ecran")) {
            parse.options.pleinEcran = true;
            continue;
        }
        if (arg == QLatin1String("--sans-voix")) {
            parse.options.sansVoix = true;
            continue;
        }
        QString value;
        bool hasValue = false;
        if (arg == QLatin1String("--retour-accueil")) {
            if (i + 1 < arguments.size()) {
                value = arguments[++i];
                hasValue = true;
            }
        } else if (arg.startsWith(QLatin1String("--retour-accueil="))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            hasValue = true;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return error(QStringLiteral("option inconnue « %1 ».").arg(arg));
        } else {
            return error(QStringLiteral("argument inattendu « %1 » : le programme se lance depuis le dossier "
                                        "de données, sans argument.")
                             .arg(arg));
        }
        if (!hasValue)
            return error(QStringLiteral("--retour-accueil attend un nombre de secondes."));
        bool ok = false;
        const int seconds = value.trimmed().toInt(&ok);
        if (!ok || seconds < 0 || seconds > kMaxSeconds)
            return error(QStringLiteral("--retour-accueil attend un nombre de secondes entre 0 et %1, pas « %2 ».")
                             .arg(kMaxSeconds)
                             .arg(value));
        parse.options.retourAccueilSecondes = seconds;
    }
    return parse;
}
