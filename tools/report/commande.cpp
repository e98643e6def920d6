#include "commande.h"

#include "rapport.h"

#include "platform/apperror.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kRetardMax = 100000;

bool finitPar(const QString &fichier, std::initializer_list<const char *> extensions)
{
    for (const char *extension : extensions)
        if (fichier.endsWith(QLatin1String(extension), Qt::CaseInsensitive))
            return true;
    return false;
}

bool estHtml(const QString &fichier)
{
    return finitPar(fichier, {".html", ".htm"});
}

} // namespace

QString aideRapport()
{
    return QStringLiteral(
        "Usage : luma-rapport [DOSSIER] [-o FICHIER.pdf|FICHIER.html] [--retard N] [--ouvrir]\n"
        "Qui a quel livre ? Écrit la liste des livres que les enfants ont empruntés, classe par classe,\n"
        "avec leur photo, la couverture, la date du prêt et les jours écoulés, puis le bilan et les\n"
        "dix livres les plus empruntés.\n"
        "\n"
        "  DOSSIER       le dossier de données LALUMA (par défaut, le dossier courant) ; l'école\n"
        "                (ALTEMARE.MDB) est cherchée comme La LUMA la cherche au démarrage\n"
        "  -o FICHIER    le fichier à écrire : .pdf pour imprimer, .html pour un écran\n"
        "                (par défaut prets-AAAA-MM-JJ.pdf dans le dossier courant)\n"
        "  --retard N    signale les prêts de plus de N jours (21 par défaut)\n"
        "  --ouvrir      ouvre ensuite le fichier avec la visionneuse du bureau\n"
        "  -h, --help    affiche cette aide\n"
        "\n"
        "Les bases de données sont seulement lues : le rapport peut se faire pendant que\n"
        "les enfants empruntent.");
}

QString analyseArguments(const QStringList &arguments, OptionsRapport &options)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        // "--retard=30" as well as "--retard 30".
        QString nom = arg;
        QString valeur;
        bool valeurJointe = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            nom = arg.section(QLatin1Char('='), 0, 0);
            valeur = arg.section(QLatin1Char('='), 1);
            valeurJointe = true;
        }
        const auto suivante = [&](const QString &attendu) -> QString {
            if (valeurJointe)
                return {};
            if (i + 1 >= arguments.size())
                return QStringLiteral("L'option %1 attend %2.").arg(nom, attendu);
            valeur = arguments[++i];
            return {};
        };

        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            options.aide = true;
        } else if (arg == QLatin1String("--ouvrir")) {
            options.ouvrir = true;
        } else if (nom == QLatin1String("-o")) {
            if (const QString erreur = suivante(QStringLiteral("un nom de fichier")); !erreur.isEmpty())
                return erreur;
            if (valeur.isEmpty())
                return QStringLiteral("L'option %1 attend un nom de fichier.").arg(nom);
            if (!finitPar(valeur, {".pdf", ".html", ".htm"}))
                return QStringLiteral("Le rapport s'écrit en PDF ou en HTML : le nom « %1 » doit finir par .pdf ou "
                                      ".html.")
                    .arg(valeur);
            options.sortie = valeur;
        } else if (nom == QLatin1String("--retard")) {
            if (const QString erreur = suivante(QStringLiteral("un nombre de jours")); !erreur.isEmpty())
                return erreur;
            bool ok = false;
            const int jours = valeur.toInt(&ok);
            if (!ok || jours < 0 || jours > kRetardMax)
                return QStringLiteral("L'option --retard attend un nombre de jours entre 0 et %1, pas « %2 ».")
                    .arg(QString::number(kRetardMax), valeur);
            options.retard = jours;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return QStringLiteral("Option inconnue : « %1 ».").arg(arg);
        } else if (!options.dossier.isEmpty()) {
            return QStringLiteral("Un seul dossier à la fois : « %1 » puis « %2 ».").arg(options.dossier, arg);
        } else {
            options.dossier = arg;
        }
    }
    return {};
}

int lanceRapport(const QStringList &arguments, const ServicesRapport &services)
{
    OptionsRapport options;
    const QString faute = analyseArguments(arguments, options);
    // Started from the desktop, there is no terminal to read a message in.
    const auto signale = [&](const QString &message) {
        services.erreur(QStringLiteral("luma-rapport : ") + message);
        if (options.ouvrir || arguments.contains(QStringLiteral("--ouvrir")))
            services.messages.show(message, TexteRapport::titre(), MsgIcon::Exclamation, MsgButtons::Ok);
    };
    if (!faute.isEmpty()) {
        signale(faute + QStringLiteral("\nEssayez « luma-rapport --help »."));
        return 2;
    }
    if (options.aide) {
        services.sortie(aideRapport());
        return 0;
    }

    const QDateTime maintenant = services.horloge.now();
    const QString dossier = QDir::current().absoluteFilePath(options.dossier.isEmpty() ? QStringLiteral(".")
                                                                                         : options.dossier);
    if (!QFileInfo(dossier).isDir()) {
        signale(QStringLiteral("Le dossier « %1 » n'existe pas.").arg(QDir::toNativeSeparators(dossier)));
        return 1;
    }
    const QString sortie = QDir::current().absoluteFilePath(
        options.sortie.isEmpty()
            ? QStringLiteral("prets-%1.pdf").arg(maintenant.date().toString(QStringLiteral("yyyy-MM-dd")))
            : options.sortie);

    RapportPrets rapport;
    try {
        rapport = lisRapport(dossiersDuRapport(QDir::cleanPath(dossier)), maintenant, options.retard);
        if (estHtml(sortie))
            ecrisHtml(rapport, sortie);
        else
            ecrisPdf(rapport, sortie);
    } catch (const AppError &erreur) {
        signale(erreur.description());
        return 1;
    }
    services.sortie(QStringLiteral("Rapport écrit dans « %1 » : %2")
                        .arg(QDir::toNativeSeparators(sortie), TexteRapport::resumeGeneral(rapport)));
    if (options.ouvrir && !services.ouvre(sortie)) {
        signale(QStringLiteral("Le rapport est écrit dans « %1 », mais aucune visionneuse n'a pu l'ouvrir.")
                    .arg(QDir::toNativeSeparators(sortie)));
        return 1;
    }
    return 0;
}
