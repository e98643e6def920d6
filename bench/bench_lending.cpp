// Latency of the lending screens on a large school library.
//
//   bench_lending [documents] [children] [runs]
//
// Builds a data folder in a temporary directory (100000 documents and 5000
// children in 15 classes by default, a few hundred of the documents lent to
// children), creates the program context and the lending screens offscreen,
// and prints the median, in milliseconds, of:
//  - touching a child's photograph until the action button is shown
//    (the mode decision searches the whole catalogue), target < 30 ms;
//  - the lookup after each digit typed on the pad, target < 5 ms;
//  - a borrow, from the touch of the borrow button until the child choice
//    screen is back, the catalogue saved and the journal written, target < 50 ms.

#include "app/appcontext.h"
#include "benchsupport.h"
#include "lending/feuilleclasse.h"
#include "lending/feuilledocument.h"
#include "lending/feuilleecole.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using namespace bench;

// The school: children spread over 15 classes, each child's photograph for
// the first 35 of class 01. The catalogue: documents inserted in a shuffled
// order, one in fifty lent to a child.
void makeFolder(const QString &root, int documents, int children)
{
    QDir(root).mkpath(QStringLiteral("LALUMA/LIVRES"));
    QDir(root).mkpath(QStringLiteral("LALUMA/SONS"));
    QDir(root).mkpath(QStringLiteral("ALTEMARE"));
    std::mt19937 random(1130);

    sqlite3 *school = openNew(root + QStringLiteral("/ALTEMARE/ALTEMARE.MDB"));
    exec(school, "CREATE TABLE enfants(matricule TEXT, nomenfant TEXT, prénomenfant TEXT, classe TEXT, niveau TEXT);"
                 "CREATE TABLE équipe(équipenuméro TEXT, équipeinstituteur TEXT); BEGIN");
    {
        Inserter classes(school, "INSERT INTO équipe VALUES(?1, ?2)");
        for (int c = 1; c <= 15; ++c)
            classes.row({QString::number(c), QStringLiteral("Maîtresse %1").arg(c)});
        Inserter child(school, "INSERT INTO enfants VALUES(?1, ?2, ?3, ?4, ?5)");
        for (int i = 0; i < children; ++i)
            child.row({QString::number(1000 + i), QStringLiteral("NOM%1").arg(int(random() % 100000)),
                       QStringLiteral("Prénom%1").arg(i), number(1 + i % 15, 2), QStringLiteral("MS")});
    }
    exec(school, "COMMIT");
    sqlite3_close(school);
    QImage photo(66, 95, QImage::Format_RGB32);
    photo.fill(QColor(250, 200, 150));
    for (int i = 0; i < children; i += 15)
        photo.save(root + QStringLiteral("/ALTEMARE/%1.BMP").arg(1000 + i), "BMP");

    sqlite3 *catalogue = openNew(root + QStringLiteral("/LALUMA/LUMA.MDB"));
    exec(catalogue, "CREATE TABLE luma(inventaire TEXT UNIQUE, titre TEXT, éditeur TEXT, dewey TEXT, motsclés TEXT, "
                    "emprunt TEXT, emprunté TEXT, emprunteur TEXT, catégorieemprunteur TEXT, dateemprunt TEXT, "
                    "cumul TEXT); BEGIN");
    {
        std::vector<int> order;
        order.resize(size_t(documents));
        for (int i = 0; i < documents; ++i)
            order[size_t(i)] = i + 1;
        std::shuffle(order.begin(), order.end(), random);
        Inserter document(catalogue, "INSERT INTO luma VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
        for (int n : order) {
            const bool lent = n % 50 == 0;
            document.row({number(n, 5), QStringLiteral("Le livre numéro %1").arg(n), QStringLiteral("Éditions du Pré"),
                          QString::number(n % 10) + QStringLiteral("00"), QStringLiteral("mots clés"),
                          n % 97 == 0 ? QStringLiteral("N") : QStringLiteral("O"),
                          lent ? QStringLiteral("O") : QStringLiteral("N"),
                          lent ? QString::number(1000 + int(random() % unsigned(children))) : QString(),
                          lent ? QStringLiteral("école") : QString(), QStringLiteral("01/09/2026"),
                          QString::number(n % 7)});
        }
    }
    exec(catalogue, "COMMIT");
    sqlite3_close(catalogue);
    QImage cover(233, 289, QImage::Format_RGB32);
    cover.fill(QColor(120, 160, 230));
    for (int n = 1; n <= documents; n += 97)
        cover.save(root + QStringLiteral("/LALUMA/LIVRES/%1.BMP").arg(number(n, 5)), "BMP");
}

void report(const char *what, const std::vector<double> &ms, double target)
{
    const double m = median(ms);
    const double worst = ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    std::printf("%-56s median %7.2f ms  max %7.2f ms  (%zu runs", what, m, worst, ms.size());
    if (target > 0)
        std::printf(", target < %g ms) %s\n", target, m < target ? "ok" : "TOO SLOW");
    else
        std::printf(")\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int documents = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int children = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 35;

    QTemporaryDir dir;
    QElapsedTimer build;
    build.start();
    makeFolder(dir.path(), documents, children);
    std::printf("data folder: %d documents, %d children, built in %.1f s\n", documents, children,
                double(build.elapsed()) / 1000);

    BenchRun run(dir.path() + QStringLiteral("/LALUMA"));
    AppContext &context = run.context;
    Module11 &module = context.module();
    Messages &messages = run.messages;
    module.setCheminEcole(dir.path() + QStringLiteral("/ALTEMARE"));
    Feuilleenfant &d = context.données();
    d.Donnée1().setDatabaseName(module.CheminEcole() + QStringLiteral("/ALTEMARE.MDB"));
    d.Donnée1().setRecordSource(QStringLiteral("SELECT * FROM enfants"));
    d.Donnée1().refresh();
    d.Donnée2().setDatabaseName(module.CheminBase() + QStringLiteral("/LUMA.MDB"));
    d.Donnée2().setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
    d.Donnée2().refresh();

    Feuilleécole &ecole = context.FeuilleÉcole();
    Feuilleclasse &classe = context.FeuilleClasse();
    feuilledocument &doc = context.FeuilleDocument();
    ecole.show();

    std::vector<double> classLoad, pick, digit, borrow, giveBack;
    int returnMode = 0;
    for (int run = 0; run < std::max(1, runs / 7); ++run) {
        ecole.Dessin1(run % 15)->show();
        ecole.Dessin1_Click(run % 15);
        QElapsedTimer timer;
        QTimer::singleShot(0, &classe, [&] {
            classLoad.push_back(msSince(timer));
            classe.hide();
        });
        timer.start();
        ecole.Command3D1_Click();
    }

    // The rest runs on class 01, the child choice screen up.
    ecole.Dessin1_Click(0);
    QTimer::singleShot(0, &classe, [&] {
        std::mt19937 random(7);
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            classe.Dessin1_Click(run % Feuilleclasse::kPhotos);
            pick.push_back(msSince(timer));
            if (classe.Command3D1()->picture().sameAs(doc.Command3D5()->picture()))
                ++returnMode;
        }

        // Borrow: a child with no loan composes a number digit by digit,
        // then borrows the document found if it is on the shelf.
        int borrowed = 0;
        for (int attempt = 0; borrowed < runs && attempt < runs * 20; ++attempt) {
            classe.Dessin1_Click(attempt % Feuilleclasse::kPhotos);
            if (!classe.Command3D1()->picture().sameAs(doc.Command3D4()->picture()))
                continue;
            doc.show();
            const QString wanted = number(1 + int(random() % unsigned(documents)), 5);
            for (QChar c : wanted) {
                QElapsedTimer timer;
                timer.start();
                doc.Text1()->setText(doc.Text1()->text() + c);
                digit.push_back(msSince(timer));
            }
            if (doc.Command3D4()->isHidden()) {
                doc.hide();
                continue;
            }
            QElapsedTimer timer;
            timer.start();
            doc.Command3D4_Click();
            borrow.push_back(msSince(timer));
            ++borrowed;

            // The same child brings it back, which frees the slot for the next run.
            classe.Dessin1_Click(attempt % Feuilleclasse::kPhotos);
            doc.show();
            timer.start();
            doc.Command3D5_Click();
            giveBack.push_back(msSince(timer));
        }
        classe.hide();
    });
    ecole.Command3D1_Click();

    report("class of ~333 children loaded, child screen up", classLoad, 0);
    report("photograph touched until the action button is shown", pick, 30);
    std::printf("  (%d of %zu touches found a loan: return mode)\n", returnMode, pick.size());
    report("lookup after one digit", digit, 5);
    report("borrow until the child choice screen is back", borrow, 50);
    report("return until the child choice screen is back", giveBack, 0);
    if (messages.shown)
        std::printf("%d error message(s) shown\n", messages.shown);
    return 0;
}
