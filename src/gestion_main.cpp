// La LUMA - Gestion: the teachers' program, on the data folder given or ~/LALUMA.

#include "gestion/bibliotheque.h"
#include "gestion/contextegestion.h"
#include "gestion/dialoguedossier.h"
#include "gestion/fenetreprincipale.h"
#include "platform/qtservices.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("luma-gestion"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("luma-cycle1")));
    installFrenchTranslation(application);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("La LUMA – Gestion : les classes, les enfants, les livres et les prêts de la bibliothèque."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DOSSIER"), QStringLiteral("le dossier de la bibliothèque (par défaut ~/LALUMA)"));
    parser.process(application);
    const QStringList positional = parser.positionalArguments();
    const QString dossier = QDir::cleanPath(positional.isEmpty() ? QDir::home().filePath(QStringLiteral("LALUMA"))
                                                                 : QDir(positional.front()).absolutePath());

    // A missing or empty folder is offered a new library, Access files their
    // conversion; the teacher may also pick another folder, or give up.
    const QString bibliothequeOuverte = ouvreBibliotheque(dossier);
    if (bibliothequeOuverte.isEmpty())
        return 0;
    const QString base = QDir::toNativeSeparators(bibliothequeOuverte);
    ContexteGestion contexte(base);
    Bibliotheque bibliotheque(contexte, trouveDossiers(base));
    FenetrePrincipale fenetre(bibliotheque);
    contexte.setFenetre(&fenetre);
    fenetre.show();
    // A new library starts with its classes; one in use with its books.
    bool sansClasse = false;
    try {
        sansClasse = bibliotheque.classes().isEmpty();
    } catch (const AppError &) {
    }
    fenetre.montreSection(sansClasse ? 0 : 2);
    return application.exec();
}
