// The voice: French speech synthesized into memory by libespeak-ng and handed
// to the sound player, which lets the latest sound or text win. Needs no
// sound device.

#include "platform/espeakspeech.h"
#include "platform/qtservices.h"

#include "files.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {

// Records what the voice hands to the sound player.
class RecordingOutput : public SampleOutput
{
public:
    quint64 claim() override { return ++claims; }
    bool playSamples(quint64 claim, const QByteArray &samples, int rate) override
    {
        played.append({claim, samples, rate});
        return claim == claims;
    }
    struct Played
    {
        quint64 claim;
        QByteArray samples;
        int rate;
    };
    quint64 claims = 0;
    QList<Played> played;
};

// The real sound player, and whether it took each text's samples.
class PlayerOutput : public SampleOutput
{
public:
    explicit PlayerOutput(QtSoundPlayer &player) : m_player(player) {}
    quint64 claim() override { return m_player.claim(); }
    bool playSamples(quint64 claim, const QByteArray &samples, int rate) override
    {
        taken.append(m_player.playSamples(claim, samples, rate));
        return taken.last();
    }
    QList<bool> taken;

private:
    QtSoundPlayer &m_player;
};

double seconds(const QByteArray &samples, int rate)
{
    return rate > 0 ? double(samples.size()) / 2.0 / rate : 0.0;
}

int peak(const QByteArray &samples)
{
    int highest = 0;
    const auto *s = reinterpret_cast<const qint16 *>(samples.constData());
    for (qsizetype i = 0; i < samples.size() / 2; ++i)
        highest = std::max(highest, std::abs(int(s[i])));
    return highest;
}

// About two thousand characters of French.
QString longText()
{
    QString text;
    while (text.size() < 2000)
        text += QStringLiteral("Le petit ours brun va à l'école avec l'éléphant ; ils chantent « bonjour » en chœur. ");
    text.truncate(2000);
    return text;
}

} // namespace

class SpeechTest : public QObject
{
    Q_OBJECT

private slots:
    void synthesizesIntoMemory_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("least"); // seconds of speech
        QTest::addColumn<double>("most");
        QTest::newRow("accents and apostrophes") << "L'ours et l'éléphant" << 0.5 << 5.0;
        QTest::newRow("a title of 40 characters") << "Le petit chaperon rouge et le grand loup" << 1.0 << 8.0;
        QTest::newRow("2000 characters") << longText() << 60.0 << 400.0;
        QTest::newRow("empty") << "" << 0.0 << 0.0;
    }
    void synthesizesIntoMemory()
    {
        QFETCH(QString, text);
        QFETCH(double, least);
        QFETCH(double, most);
        const EspeakSynthesizer voice;
        QVERIFY2(voice.available(), "libespeak-ng and its French voice are needed (libespeak-ng1, espeak-ng-data)");
        QVERIFY(voice.sampleRate() >= 8000);
        const QByteArray samples = voice.synthesize(text);
        const double length = seconds(samples, voice.sampleRate());
        QVERIFY2(length >= least && length <= most, qPrintable(QString::number(length)));
        if (most > 0)
            QVERIFY(peak(samples) > 3000); // speech, not silence
    }

    void stopsWhenAsked()
    {
        const EspeakSynthesizer voice;
        int asked = 0;
        const QByteArray samples = voice.synthesize(longText(), [&asked] { return ++asked > 3; });
        QVERIFY(seconds(samples, voice.sampleRate()) < 5.0);
        // The next text is whole.
        QVERIFY(seconds(voice.synthesize(QStringLiteral("L'ours et l'éléphant")), voice.sampleRate()) >= 0.5);
    }

    // Texts are synthesized in the background, one after the other; a newer
    // text supersedes one not yet played, so only the latest is heard: the
    // long text is either still waiting or, 50 ms later, being synthesized.
    void newerTextSupersedesOlder_data()
    {
        QTest::addColumn<int>("later"); // ms between the long text and the short one
        QTest::newRow("at once") << 0;
        QTest::newRow("50 ms later") << 50;
    }
    void newerTextSupersedesOlder()
    {
        QFETCH(int, later);
        RecordingOutput output;
        EspeakSpeech speech(output);
        speech.waitUntilLoaded();
        QVERIFY(speech.available());
        speech.say(longText());
        QTest::qWait(later);
        speech.say(QStringLiteral("Bonjour"));
        speech.say(QString()); // nothing to say: nothing cut
        QTRY_COMPARE(output.played.size(), 1);
        speech.say(QStringLiteral("Au revoir"));
        QTRY_COMPARE(output.played.size(), 2);
        QCOMPARE(output.claims, quint64(3));
        QCOMPARE(output.played[0].claim, quint64(2));
        QCOMPARE(output.played[1].claim, quint64(3));
        for (const RecordingOutput::Played &p : output.played) {
            const double length = seconds(p.samples, p.rate);
            QVERIFY2(length > 0.2 && length < 5.0, qPrintable(QString::number(length)));
        }
        // Left in the middle of a long text, the voice stops at once.
        speech.say(longText());
    }

    // A sound played while a text is being prepared cuts it: the text's
    // samples are refused; the next text plays.
    void soundCutsTheVoice()
    {
        QTemporaryDir dir;
        const QString wav = dir.filePath("FERME.WAV");
        QVERIFY(writeFileBytes(wav, QByteArray("RIFF\x64\x1F\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x40\x1F\0\0"
                                               "\x01\0\x08\0data\x40\x1F\0\0", 44) + QByteArray(8000, '\x80')));

        QtSoundPlayer player;
        PlayerOutput output(player);
        EspeakSpeech speech(output);
        speech.waitUntilLoaded();
        speech.say(QStringLiteral("Bonjour"));
        player.play(wav);
        QTRY_COMPARE(output.taken.size(), 1);
        speech.say(QStringLiteral("Au revoir"));
        QTRY_COMPARE(output.taken.size(), 2);
        QCOMPARE(output.taken, QList<bool>({false, true}));
    }

    // Without the library or the voice: silent, and the sound playing is not cut.
    void missingVoiceIsSilent_data()
    {
        QTest::addColumn<QString>("voice");
        QTest::addColumn<QString>("library");
        QTest::newRow("no such voice") << "xx-inconnue" << "espeak-ng";
        QTest::newRow("no library") << "fr" << "espeak-ng-absente";
    }
    void missingVoiceIsSilent()
    {
        QFETCH(QString, voice);
        QFETCH(QString, library);
        const EspeakSynthesizer synthesizer(voice, library);
        QVERIFY(!synthesizer.available());
        QVERIFY(synthesizer.synthesize(QStringLiteral("Bonjour")).isEmpty());

        RecordingOutput output;
        EspeakSpeech speech(output, voice, library);
        speech.waitUntilLoaded();
        QVERIFY(!speech.available());
        speech.say(QStringLiteral("Bonjour"));
        QCOMPARE(output.claims, quint64(0));
        // The French voice is still there for the others.
        QVERIFY(!EspeakSynthesizer().synthesize(QStringLiteral("Bonjour")).isEmpty());
    }
};

QTEST_MAIN(SpeechTest)
#include "tst_speech.moc"
