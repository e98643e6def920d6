// Latency of the voice: the words read aloud when a child touches them.
//
//   bench_speech [runs]
//
// Builds a small data folder in a temporary directory, creates the program
// context with the real voice (libespeak-ng) and the real sound player, and
// prints the median, in milliseconds, of:
//  - the synthesis of a 40-character title, and of 2000 characters;
//  - a digit touched on the document entry pad, from the touch until the
//    samples of "un, " + the 40-character title found are handed to the sound
//    player, target < 100 ms; and, with a sound device, until the sound
//    server has taken the first samples, target < 100 ms;
//  - the same touch until the title band is repainted, with the voice and
//    without it (--sans-voix): the screen does not wait for the voice.
// Without a sound device (no PulseAudio) the figures that need one are left
// out.

#include "kiosk/kioskcontext.h"
#include "benchsupport.h"
#include "lending/feuilledocument.h"
#include "platform/espeakspeech.h"
#include "platform/qtservices.h"

#include <QApplication>
#include <QAudioSink>
#include <QDir>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using namespace bench;

const QString kTitle = QStringLiteral("Le petit chaperon rouge et le grand loup"); // 40 characters

// The sound player, and when each text's samples reached it.
class TimedOutput : public SampleOutput
{
public:
    explicit TimedOutput(QtSoundPlayer &player) : m_player(player) {}
    quint64 claim() override
    {
        QElapsedTimer timer;
        timer.start();
        const quint64 claimed = m_player.claim();
        claiming.push_back(msSince(timer));
        return claimed;
    }
    bool playSamples(quint64 claim, const QByteArray &samples, int rate) override
    {
        if (touch)
            handed = msSince(*touch);
        QElapsedTimer timer;
        timer.start();
        const bool taken = m_player.playSamples(claim, samples, rate);
        starting.push_back(msSince(timer));
        return taken;
    }
    const QElapsedTimer *touch = nullptr;
    double handed = -1;
    // Time the screen's thread spends cutting the sound playing, and starting the voice.
    std::vector<double> claiming, starting;

private:
    QtSoundPlayer &m_player;
};

void makeFolder(const QString &root)
{
    QDir(root).mkpath(QStringLiteral("LALUMA/SONS"));
    sqlite3 *catalogue = openNew(root + QStringLiteral("/LALUMA/LUMA.MDB"));
    exec(catalogue, "CREATE TABLE luma(inventaire TEXT UNIQUE, titre TEXT, éditeur TEXT, dewey TEXT, motsclés TEXT, "
                    "emprunt TEXT, emprunté TEXT, emprunteur TEXT, catégorieemprunteur TEXT, dateemprunt TEXT, "
                    "cumul TEXT)");
    Inserter document(catalogue, "INSERT INTO luma(inventaire, titre, emprunt, emprunté) VALUES(?1, ?2, 'O', 'N')");
    document.row({QStringLiteral("00001"), kTitle});
    sqlite3_close(catalogue);
}

void report(const char *what, const std::vector<double> &ms, double target = 0)
{
    const double worst = ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    std::printf("%-62s median %7.2f ms  max %7.2f ms  (%zu runs", what, median(ms), worst, ms.size());
    if (target > 0)
        std::printf(", target < %g ms) %s\n", target, median(ms) < target ? "ok" : "TOO SLOW");
    else
        std::printf(")\n");
}

// Runs the event loop until `done` or two seconds.
bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    return done();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 30;

    // The synthesis alone.
    {
        const EspeakSynthesizer voice;
        if (!voice.available()) {
            std::fprintf(stderr, "libespeak-ng or its French voice is missing\n");
            return 1;
        }
        QString long2000;
        while (long2000.size() < 2000)
            long2000 += QStringLiteral("Le petit ours brun va à l'école avec l'éléphant. ");
        long2000.truncate(2000);
        std::vector<double> title, longText;
        double seconds = 0;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const QByteArray samples = voice.synthesize(kTitle);
            title.push_back(msSince(timer));
            seconds = double(samples.size()) / 2 / voice.sampleRate();
        }
        for (int run = 0; run < std::max(1, runs / 5); ++run) {
            QElapsedTimer timer;
            timer.start();
            voice.synthesize(long2000);
            longText.push_back(msSince(timer));
        }
        std::printf("voice: %d Hz, the 40-character title lasts %.2f s\n", voice.sampleRate(), seconds);
        report("synthesis of a 40-character title", title);
        report("synthesis of 2000 characters", longText);
    }

    const bool device = !QMediaDevices::defaultAudioOutput().isNull();
    QTemporaryDir dir;
    makeFolder(dir.path());
    Messages messages;
    QtSoundPlayer sound;
    TimedOutput output(sound);
    EspeakSpeech speech(output);
    speech.waitUntilLoaded();
    Clock1 clock;
    Display1 display;
    End programEnd;
    Pointer pointer;
    KioskContext context{PlatformServices{messages, sound, clock, display, programEnd, pointer, speech}};
    Module11 &module = context.module();
    module.setCheminBase(dir.path() + QStringLiteral("/LALUMA"));
    Cursor &catalogue = context.données().Donnée2();
    catalogue.setDatabaseName(module.CheminBase() + QStringLiteral("/LUMA.MDB"));
    catalogue.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
    catalogue.refresh();

    feuilledocument &doc = context.FeuilleDocument();
    PaintCounter bandPaints;
    doc.Panel3D1()->installEventFilter(&bandPaints);
    doc.show();
    waitFor([] { return false; }); // shown and painted once
    Button3D *one = doc.findChild<Button3D *>(QStringLiteral("Command3D1_1"));

    std::vector<double> handed, served, repaintVoice, repaintSilent;
    int notServed = 0;
    for (int run = 0; run < runs; ++run) {
        for (const bool voice : {true, false}) {
            module.setVoix(voice);
            doc.Command3D2_Click(); // erased: the next digit shows the title again
            waitFor([] { return false; });
            const int paintsBefore = bandPaints.paints;
            QElapsedTimer touch;
            output.touch = &touch;
            output.handed = -1;
            touch.start();
            one->click();
            waitFor([&] { return bandPaints.paints > paintsBefore; });
            (voice ? repaintVoice : repaintSilent).push_back(msSince(touch));
            if (!voice)
                continue;
            if (waitFor([&] { return output.handed >= 0; }))
                handed.push_back(output.handed);
            if (device) {
                if (waitFor([&] { return sound.voiceOutput() && sound.voiceOutput()->processedUSecs() > 0; }))
                    served.push_back(msSince(touch));
                else
                    ++notServed;
            }
            output.touch = nullptr;
        }
    }
    if (doc.Panel3D1()->text() != QStringLiteral(" ") + kTitle)
        std::fprintf(stderr, "the title was not shown: %s\n", qPrintable(doc.Panel3D1()->text()));

    report("digit touched until the voice's samples reach the player", handed, 100);
    if (device) {
        report("digit touched until the sound server takes the first samples", served, 100);
        if (notServed)
            std::printf("  (%d run(s) where the sound server took nothing within 2 s)\n", notServed);
    } else {
        std::printf("no sound device: the time until the sound server takes the samples is not measured\n");
    }
    report("  of which, on the screen's thread: cutting the sound playing", output.claiming);
    report("  of which, on the screen's thread: starting the voice's output", output.starting);
    report("digit touched until the title is repainted, with the voice", repaintVoice);
    report("digit touched until the title is repainted, without it", repaintSilent);
    return 0;
}
