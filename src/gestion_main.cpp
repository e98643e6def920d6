// La LUMA - Gestion: the teachers' program, on the data folder given or ~/LALUMA.

#include "gestion/bibliotheque.h"
#include "gestion/contextegestion.h"
#include "gestion/fenetreprincipale.h"
#include "platform/qtservices.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

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

    if (!QFileInfo(QDir(dossier).filePath(QStringLiteral("LUMA.MDB"))).isFile()) {
        QMessageBox::warning(nullptr, QStringLiteral("La LUMA – Gestion"),
                             QStringLiteral("Le dossier « %1 » ne contient pas de bibliothèque (LUMA.MDB).")
                                 .arg(QDir::toNativeSeparators(dossier)));
        return 1;
    }
    ContexteGestion contexte(QDir::toNativeSeparators(dossier));
    Bibliotheque bibliotheque(contexte, trouveDossiers(QDir::toNativeSeparators(dossier)));
    FenetrePrincipale fenetre(bibliotheque);
    contexte.setFenetre(&fenetre);
    fenetre.show();
    fenetre.montreSection(2);
    return application.exec();
}
