// Time to save a book's cover from a camera's photograph.
//
//   bench_gestion_images [runs]
//
// Makes a 12-megapixel JPEG (4000 x 3000, a noisy picture, so that it weighs
// at least what a camera's does: 6.5 MB), then saves it as a cover (read at a
// reduced size, scaled to 480 high, written as a 24-bit BMP in a temporary
// LIVRES folder, atomically) `runs` times (default 15) and prints the median
// and the maximum, target < 300 ms. The same picture as a progressive JPEG
// (as web pages have them; every scan must be decoded whatever the size
// asked) and as a PNG (decoded whole) is timed beside it, without a target.

#include "gestion/imagesbmp.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <time.h>

namespace {

QImage photograph()
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.bounded(64));
            line[x] = qRgb((x / 16 + noise) & 0xff, (y / 12 + noise) & 0xff, ((x + y) / 28 + noise) & 0xff);
        }
    }
    QPainter painter(&image);
    painter.setBrush(Qt::yellow);
    painter.drawEllipse(QRect(1200, 600, 1600, 1600));
    return image;
}

bool write(const QString &path, const QImage &image, const char *format, bool progressive)
{
    QImageWriter writer(path, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

// The processor time of this process: what the run would take on an idle
// machine, when other programs share the processor.
double cpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("LALUMA/LIVRES")));
    const QImage source = photograph();
    struct Case
    {
        const char *what;
        QString file;
        double target;
    };
    const std::vector<Case> cases = {
        {"cover from a 12 MP JPEG", dir.filePath(QStringLiteral("photo.jpg")), 300},
        {"cover from a 12 MP progressive JPEG", dir.filePath(QStringLiteral("progressive.jpg")), 0},
        {"cover from a 12 MP PNG", dir.filePath(QStringLiteral("photo.png")), 0},
    };
    if (!write(cases[0].file, source, "jpeg", false) || !write(cases[1].file, source, "jpeg", true) ||
        !write(cases[2].file, source, "png", false)) {
        std::fprintf(stderr, "cannot write the source pictures\n");
        return 2;
    }
    bool pass = true;
    for (const Case &c : cases) {
        std::vector<double> ms, reading, writing, cpu;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            const double cpuStart = cpuMs();
            timer.start();
            const QImage read = ImagesBmp::litFichier(c.file, ImagesBmp::Sorte::Couverture);
            const qint64 readNs = timer.nsecsElapsed();
            ImagesBmp::enregistre(ImagesBmp::prepare(read, ImagesBmp::Sorte::Couverture),
                                  dir.filePath(QStringLiteral("LALUMA\\LIVRES\\00042.BMP")));
            const qint64 allNs = timer.nsecsElapsed();
            ms.push_back(double(allNs) / 1e6);
            cpu.push_back(cpuMs() - cpuStart);
            reading.push_back(double(readNs) / 1e6);
            writing.push_back(double(allNs - readNs) / 1e6);
        }
        const double med = median(ms);
        std::printf("%-40s %6.1f MB  median %8.2f ms  max %8.2f ms", c.what, double(QFile(c.file).size()) / 1e6, med,
                    *std::max_element(ms.begin(), ms.end()));
        std::printf("  (read %.1f, scaled and written %.1f; processor %.1f)", median(reading), median(writing),
                    median(cpu));
        if (c.target > 0) {
            std::printf("  target < %g ms  %s\n", c.target, med < c.target ? "PASS" : "FAIL");
            pass = pass && med < c.target;
        } else {
            std::printf("  (no target)\n");
        }
    }
    return pass ? 0 : 1;
}
