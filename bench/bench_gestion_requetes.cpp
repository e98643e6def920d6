// The preview of a picture request in the teachers' program on a large
// catalogue: each change of the choices runs the head as the kiosk would
// (translated, checked read-only, the data cursor refreshed) and reads the
// first eight documents. Measured for a rare word, a common one, a word of
// the keywords only, and a word with two classes.
//
// bench_gestion_requetes [DOCUMENTS]   (100000 by default)

#include "benchsupport.h"

#include "gestion/conditionrequete.h"

#include <QGuiApplication>
#include <QDir>
#include <QTemporaryDir>

using namespace bench;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int documents = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("LALUMA/LIVRES"));
    makeCatalogue(dir.path(), documents);
    const QString catalogue = dir.path() + QStringLiteral("/LALUMA/LUMA.MDB");
    std::printf("Preview of a picture request, %d documents (target < 200 ms: the preview follows the choices)\n",
                documents);
    std::vector<std::vector<double>> cases;
    const std::pair<QString, QList<int>> choix[] = {
        {kRare, {}}, {kCommon, {}}, {kKeywordOnly, {}}, {kCommon, {5, 8}}};
    for (const auto &[mot, classes] : choix) {
        const QString tete = teteDeChoix({{mot}, false, {}, classes, false});
        std::vector<double> ms;
        long long trouves = 0;
        for (int run = 0; run < 9; ++run) {
            QElapsedTimer timer;
            timer.start();
            trouves = apercuRequete(tete, catalogue, 8).nombre;
            ms.push_back(msSince(timer));
        }
        report(QStringLiteral("« %1 »%2, %3 found").arg(mot, classes.isEmpty() ? QString() : QStringLiteral(" in 5 and 8")).arg(trouves), ms, 200);
        cases.push_back(ms);
    }
    verdict("preview", cases, 200);
    return 0;
}
