// Time to index Tux Paint's stamps for the picture library.
//
//   bench_gestion_bibliotheque [folder] [runs] [--froid]
//
// Indexes the folder (default the system's, /usr/share/tuxpaint/stamps; an
// extracted package's usr/share/tuxpaint/stamps does as well) `runs` times
// (default 10) and prints the median and the maximum. With --froid, the
// folder's files are dropped from the page cache before each run (their
// folders stay cached: a truly cold disk is slower still). The dialog
// indexes on a thread whatever the time; it only says how long the
// "Lecture des images…" line stays.

#include "gestion/bibliothequeimages.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

void oublie(const QString &dossier)
{
    QDirIterator fichiers(dossier, QDir::Files, QDirIterator::Subdirectories);
    while (fichiers.hasNext()) {
        const int fd = ::open(QFile::encodeName(fichiers.next()).constData(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool froid = arguments.removeAll(QStringLiteral("--froid")) > 0;
    const QString dossier = arguments.value(0, BibliothequeImages::dossierSysteme());
    const int tours = std::max(1, arguments.value(1, QStringLiteral("10")).toInt());
    std::vector<double> temps;
    qsizetype trouves = 0;
    for (int i = 0; i < tours; ++i) {
        if (froid)
            oublie(dossier);
        QElapsedTimer chrono;
        chrono.start();
        const BibliothequeImages bibliotheque(dossier);
        temps.push_back(double(chrono.nsecsElapsed()) / 1e6);
        trouves = bibliotheque.tampons().size();
    }
    std::sort(temps.begin(), temps.end());
    std::printf("%lld stamps in %s%s: median %.1f ms, max %.1f ms over %d runs\n", static_cast<long long>(trouves),
                qPrintable(dossier), froid ? " (files not cached)" : "", temps[temps.size() / 2], temps.back(), tours);
    return trouves > 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
