// La LUMA - Gestion: the teachers' program, on the data folder given or ~/LALUMA.

#include "gestion/fenetreprincipale.h"
#include "platform/qtservices.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("luma-gestion"));
    QApplication::setApplicationDisplayName(QStringLiteral("La LUMA – Gestion"));
    installFrenchTranslation(application);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("La LUMA – Gestion : les classes, les enfants, les livres et les prêts de la bibliothèque."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DOSSIER"), QStringLiteral("le dossier de la bibliothèque (par défaut ~/LALUMA)"));
    parser.process(application);
    const QStringList positional = parser.positionalArguments();
    const QString dossier = positional.isEmpty() ? QDir::home().filePath(QStringLiteral("LALUMA"))
                                                 : QDir(positional.front()).absolutePath();

    FenetrePrincipale fenetre;
    fenetre.montreDossier(QDir::toNativeSeparators(dossier));
    fenetre.show();
    return application.exec();
}
