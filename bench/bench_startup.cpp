// Time from process start to the main menu on screen, on a data folder.
//
//   bench_startup DATA_FOLDER [RUNS]
//
// Each run is a fresh process (this program starts itself again with
// --once): it starts exactly as luma-cycle1 does, with the real Qt services,
// and prints the time since the process was created when the main menu is
// shown. Run it with QT_QPA_PLATFORM=offscreen or under Xvfb.

#include "kiosk/kioskcontext.h"
#include "kiosk/feuillechoix.h"
#include "kiosk/presentation.h"
#include "platform/espeakspeech.h"
#include "platform/qtservices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

// Seconds since this process was created, from /proc (clock-tick resolution).
double secondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double started = fields.value(19).toDouble() / sysconf(_SC_CLK_TCK);
    return uptime.readAll().split(' ').value(0).toDouble() - started;
}

class NoEnd : public ProgramEnd
{
public:
    void endProgram() override { std::_Exit(2); }
};

int once(int argc, char *argv[])
{
    QApplication application(argc, argv);
    installFrenchTranslation(application);
    QtMessageBoxes messages;
    QtSoundPlayer sound;
    SystemClock clock;
    QtDisplay display;
    QtMousePointer pointer;
    NoEnd programEnd;
    EspeakSpeech speech(sound); // loads in the background, as in the program
    KioskContext context(PlatformServices{messages, sound, clock, display, programEnd, pointer, speech});

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QStringLiteral("Feuillechoix") && w->isVisible()) {
                std::printf("%.3f\n", secondsSinceProcessStart());
                std::fflush(stdout);
                std::_Exit(0);
            }
        }
    });
    poll.start(0);
    context.Présentation();
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && QByteArray(argv[1]) == "--once")
        return once(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_startup DATA_FOLDER [RUNS]\n");
        return 2;
    }
    const int runs = argc >= 3 ? std::max(1, atoi(argv[2])) : 7;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        process.setWorkingDirectory(QString::fromLocal8Bit(argv[1]));
        process.start(QString::fromLocal8Bit(argv[0]).startsWith('/') ? QString::fromLocal8Bit(argv[0])
                                                                       : QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[0])),
                      {QStringLiteral("--once")});
        process.waitForFinished(30000);
        bool ok = false;
        const double t = process.readAllStandardOutput().trimmed().toDouble(&ok);
        if (process.exitCode() != 0 || !ok) {
            std::fprintf(stderr, "run %d failed: %s\n", i, process.readAllStandardError().constData());
            return 1;
        }
        times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    std::printf("start to main menu over %d runs: median %.0f ms, min %.0f ms, max %.0f ms\n", runs,
                times[times.size() / 2] * 1000, times.front() * 1000, times.back() * 1000);
    return 0;
}
