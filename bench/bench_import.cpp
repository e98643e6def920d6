// Time of the folder conversion of luma-import, in rows per second.
//
//   bench_import [ACCESS_FILE] [RUNS]
//
// Each run copies the Access file (by default the largest sample Access file)
// under the four names of a school, ALTEMARE/ALTEMARE.MDB beside
// LALUMA/LUMA.MDB, COTATION.MDB and MEMBRES.MDB, in a fresh temporary folder,
// then converts the data folder in place as `luma-import LALUMA` does: the
// four conversions, the originals' second names in ACCESS, the renames and the
// syncs to disk. Prints the median and fastest run, the rows per second and
// the Access bytes per second, and the share of the conversions alone.

#include "folderimport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QString largestSample()
{
    const QFileInfoList files = QDir(QStringLiteral(LUMA_ACCESS_SAMPLES))
                                    .entryInfoList({QStringLiteral("*.mdb"), QStringLiteral("*.accdb")}, QDir::Files,
                                                   QDir::Size);
    return files.isEmpty() ? QString() : files.first().absoluteFilePath();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString source = args.size() > 1 ? args[1] : largestSample();
    const int runs = args.size() > 2 ? std::max(1, args[2].toInt()) : 21;
    if (source.isEmpty() || !QFileInfo(source).isFile()) {
        std::fprintf(stderr, "no Access file to convert: %s\n", qPrintable(source));
        return 1;
    }

    std::vector<double> totals;
    std::vector<double> conversions;
    qint64 rows = 0;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir dir;
        for (const char *name : {"ALTEMARE/ALTEMARE.MDB", "LALUMA/LUMA.MDB", "LALUMA/COTATION.MDB",
                                 "LALUMA/MEMBRES.MDB"}) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (!QFile::copy(source, path)) {
                std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
                return 1;
            }
        }
        QElapsedTimer timer;
        timer.start();
        const FolderImportResult result = importDataFolder(dir.filePath(QStringLiteral("LALUMA")));
        totals.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (result.converted() != 4) {
            std::fprintf(stderr, "only %d files converted\n", result.converted());
            return 1;
        }
        qint64 converting = 0;
        rows = 0;
        for (const FolderFile &file : result.files) {
            converting += file.milliseconds;
            rows += file.result.rows;
        }
        conversions.push_back(double(converting));
    }

    const double bytes = 4.0 * double(QFileInfo(source).size());
    const double ms = median(totals);
    std::printf("folder conversion of %s under the four names: %.0f KB of Access files, %lld rows, %d runs\n",
                qPrintable(QFileInfo(source).fileName()), bytes / 1024, static_cast<long long>(rows), runs);
    std::printf("  whole run   median %.1f ms, fastest %.1f ms\n", ms,
                *std::min_element(totals.begin(), totals.end()));
    std::printf("  conversions median %.0f ms (the rest: second names, renames, syncs)\n", median(conversions));
    std::printf("  %.0f rows/s, %.1f MB/s of Access file\n", double(rows) / (ms / 1000), bytes / 1e6 / (ms / 1000));
    return 0;
}
