// The teachers' book list on a large catalogue: how long the section takes to
// open (catalogue and children read, every title folded for the filter, the
// list laid out), and each key typed in the filter box.
//
// bench_gestion_livres [DOCUMENTS]   (100000 by default)

#include "benchsupport.h"
#include "contextebanc.h"

#include "gestion/bibliotheque.h"
#include "gestion/pagelivres.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

using namespace bench;

namespace {

void makeSchool(const QString &root)
{
    QDir(root).mkpath(QStringLiteral("ALTEMARE"));
    sqlite3 *db = openNew(root + QStringLiteral("/ALTEMARE/ALTEMARE.MDB"));
    exec(db, "CREATE TABLE enfants(matricule, nomenfant, prénomenfant, classe, niveau)");
    exec(db, "CREATE TABLE équipe(équipenuméro, équipeinstituteur)");
    exec(db, "BEGIN");
    for (int i = 1; i <= 300; ++i)
        exec(db, QStringLiteral("INSERT INTO enfants VALUES('%1', 'NOM%1', 'Prénom', '%2', 'MS')")
                     .arg(i)
                     .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                     .toUtf8()
                     .constData());
    exec(db, "UPDATE enfants SET matricule = matricule"); // a few books are lent below
    exec(db, "COMMIT");
    sqlite3_close(db);
    sqlite3 *catalogue = openNew(root + QStringLiteral("/LALUMA/LUMA.MDB"));
    exec(catalogue, "UPDATE luma SET emprunté = 'O', emprunteur = rowid % 300 + 1 WHERE rowid % 50 = 0");
    sqlite3_close(catalogue);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int documents = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkpath(QStringLiteral("LALUMA/LIVRES"));
    makeCatalogue(root, documents);
    makeSchool(root);

    ContexteBanc contexte(root + QStringLiteral("/LALUMA"));
    Bibliotheque bibliotheque(contexte, {root + QStringLiteral("/LALUMA"), root + QStringLiteral("/ALTEMARE")});
    PageLivres page(bibliotheque);
    page.resize(1000, 600);
    page.show();

    std::vector<double> ouvertures;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        page.recharge();
        QCoreApplication::processEvents();
        ouvertures.push_back(msSince(timer));
    }
    report(QStringLiteral("open the book list, %1 books").arg(documents), ouvertures, 1000);

    // A teacher types a title, takes a word back, types a number.
    const QString frappes[] = {QStringLiteral("le petit loup"), QStringLiteral("le petit"), QStringLiteral("0421")};
    std::vector<double> touches;
    for (const QString &texte : frappes) {
        for (int n = 1; n <= texte.size(); ++n) {
            QElapsedTimer timer;
            timer.start();
            page.filtre()->setText(texte.left(n));
            QCoreApplication::processEvents();
            touches.push_back(msSince(timer));
        }
        for (int n = int(texte.size()) - 1; n >= 0; --n) {
            QElapsedTimer timer;
            timer.start();
            page.filtre()->setText(texte.left(n));
            QCoreApplication::processEvents();
            touches.push_back(msSince(timer));
        }
    }
    report(QStringLiteral("one key in the filter, %1 books").arg(documents), touches, 50);
    return 0;
}
