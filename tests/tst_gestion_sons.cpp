// The sounds of picture requests: a take from the microphone (here a WAV file
// played as one), trimmed of its silences, and the kiosk's voice, both saved
// as the plain PCM WAV the kiosk plays; the form's sound chooser.

#include "files.h"

#include "gestion/choixson.h"
#include "gestion/sonrequete.h"
#include "platform/espeakspeech.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSoundEffect>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>

#include <cmath>

namespace {

// Silence with a little room noise, a 440 Hz tone at -10 dBFS, silence again;
// in [-1, 1], or as 16-bit samples.
QList<double> tonEntreSilences(int hz, double avant, double ton, double apres)
{
    QList<double> s;
    quint32 alea = 1;
    for (int i = 0; i < int(std::lround((avant + ton + apres) * hz)); ++i) {
        alea = alea * 1103515245 + 12345;
        const double bruit = (int(alea >> 16 & 0xff) - 128) / 128.0 * 0.003; // about -56 dBFS
        const bool dansLeTon = i >= std::lround(avant * hz) && i < std::lround((avant + ton) * hz);
        s.append(dansLeTon ? 0.3 * std::sin(2 * M_PI * 440 * i / hz) : bruit);
    }
    return s;
}

QByteArray en16(const QList<double> &s)
{
    QByteArray o(s.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i)
        reinterpret_cast<qint16 *>(o.data())[i] = qint16(std::lround(s[i] * 32767));
    return o;
}

// A WAV file as a sound card or another program writes it: 16-bit mono, or
// 32-bit float stereo.
QByteArray fichierWav(const QList<double> &s, int hz, bool stereoFlottant)
{
    if (!stereoFlottant)
        return SonRequete::wav(en16(s), hz);
    QByteArray f = SonRequete::wav({}, hz) + QByteArray(s.size() * 8, Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size() * 2; ++i)
        qToLittleEndian(float(s[i / 2]), f.data() + 44 + 4 * i);
    for (auto [at, v] : {std::pair(20, 3), {22, 2}, {34, 32}}) // float, stereo, 32 bits
        qToLittleEndian<quint16>(quint16(v), f.data() + at);
    qToLittleEndian<quint32>(quint32(s.size() * 8), f.data() + 40);
    return f;
}

// The header fields the kiosk's player reads, read here on their own: the
// data's length, whole, and the format (PCM, mono, 16 bits) with its rate.
void verifieEnTete(const QByteArray &wav, int hz)
{
    const auto u32 = [&](int at) { return qint64(qFromLittleEndian<quint32>(wav.constData() + at)); };
    const auto u16 = [&](int at) { return qint64(qFromLittleEndian<quint16>(wav.constData() + at)); };
    QVERIFY(wav.size() > 44 && wav.size() % 2 == 0);
    QCOMPARE(wav.left(4) + wav.mid(8, 8) + wav.mid(36, 4), "RIFFWAVEfmt data");
    const qint64 n = wav.size();
    QCOMPARE(QList<qint64>({u32(4), u32(16), u16(20), u16(22), u32(24), u32(28), u16(32), u16(34), u32(40)}),
             QList<qint64>({n - 8, 16, 1, 1, hz, hz * 2, 2, 16, n - 44}));
}

// The loudest sample between two moments.
int crete(const SonRequete::Son &son, double de, double a)
{
    int c = 0;
    for (qsizetype i = qsizetype(de * son.frequence); i < qsizetype(a * son.frequence); ++i)
        c = std::max(c, std::abs(int(reinterpret_cast<const qint16 *>(son.echantillons.constData())[i])));
    return c;
}

} // namespace

class GestionSonsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // A take left running through the fake microphone stops by itself at its
    // length, and comes out trimmed, 16-bit mono at the source's rate, for the
    // kiosk's player to load.
    void forgottenTakeIsPlainWav_data()
    {
        QTest::addColumn<int>("hz");
        QTest::addColumn<bool>("stereoFlottant");
        QTest::newRow("16-bit mono") << 22050 << false;
        QTest::newRow("float stereo") << 48000 << true;
    }
    void forgottenTakeIsPlainWav()
    {
        QFETCH(int, hz);
        QFETCH(bool, stereoFlottant);
        const QString micro = m_dir.filePath(QStringLiteral("micro-%1.wav").arg(hz));
        QVERIFY(writeFileBytes(micro, fichierWav(tonEntreSilences(hz, 0.5, 0.6, 0.7), hz, stereoFlottant)));

        Prise prise(sourceFichier(micro, 300.0)); // the file, then the room's silence
        QString fin = QStringLiteral("pas finie");
        prise.surFin = [&fin](const QString &raison) { fin = raison; };
        prise.demarre();
        QTRY_VERIFY(fin.isEmpty());
        QTest::qWait(50);
        QCOMPARE(prise.secondes(), double(Prise::kDureeMax));
        QVERIFY(prise.niveauDbfs() < -40);
        const QByteArray wav = prise.arrete();
        verifieEnTete(wav, hz);
        // The tone and 100 ms on either side (its windows are 10 ms).
        QVERIFY2(std::abs((wav.size() - 44) / 2.0 / hz - 0.8) < 0.011, qPrintable(QString::number(wav.size())));
        const SonRequete::Son son = SonRequete::lis(wav);
        QVERIFY(crete(son, 0.0, 0.09) < 1000);
        QVERIFY(crete(son, 0.1, 0.7) > 9000);

        const QString fichier = m_dir.filePath(QStringLiteral("SON-%1.WAV").arg(hz));
        SonRequete::enregistreWav(wav, fichier);
        QSoundEffect effet;
        effet.setSource(QUrl::fromLocalFile(fichier));
        QTRY_COMPARE(effet.status(), QSoundEffect::Ready);
    }

    // Silence is cut at both ends with 100 ms of margin, whatever the room's
    // noise, a click or a microphone's offset; nothing heard is nothing.
    void trimming_data()
    {
        QTest::addColumn<double>("avant");
        QTest::addColumn<double>("ton");
        QTest::addColumn<double>("apres");
        QTest::addColumn<int>("decalage"); // added to every sample
        QTest::newRow("both ends") << 0.5 << 0.4 << 0.5 << 0;
        QTest::newRow("sound from the start") << 0.0 << 0.4 << 0.5 << 0;
        QTest::newRow("sound to the end") << 0.3 << 0.4 << 0.0 << 0;
        QTest::newRow("offset microphone") << 0.5 << 0.4 << 0.5 << 2000;
        QTest::newRow("all silent") << 1.0 << 0.0 << 0.0 << 0;
        QTest::newRow("silent with offset") << 1.0 << 0.0 << 0.0 << -3000;
        QTest::newRow("a click only") << 0.5 << 0.02 << 0.5 << 0;
    }
    void trimming()
    {
        QFETCH(double, avant);
        QFETCH(double, ton);
        QFETCH(double, apres);
        QFETCH(int, decalage);
        const int hz = 16000;
        QByteArray prise = en16(tonEntreSilences(hz, avant, ton, apres));
        for (qsizetype i = 0; i < prise.size() / 2; ++i)
            reinterpret_cast<qint16 *>(prise.data())[i] += qint16(decalage);
        const QByteArray garde = SonRequete::sansSilences(prise, hz);
        if (ton < 0.03) {
            QVERIFY(garde.isEmpty());
            return;
        }
        const qsizetype debut = std::lround(std::max(0.0, avant - 0.1) * hz);
        const qsizetype fin = std::lround(std::min(avant + ton + apres, avant + ton + 0.1) * hz);
        QCOMPARE(garde.size(), (fin - debut) * 2);
        QVERIFY(garde == prise.mid(debut * 2, (fin - debut) * 2));
    }

    // The kiosk's voice saying a title: a plain WAV at the voice's rate.
    void voiceIsPlainWav()
    {
        QElapsedTimer temps;
        temps.start();
        if (!SonRequete::voixDisponible())
            QSKIP("espeak-ng or its French voice is not installed");
        const qint64 chargement = temps.restart();
        const QString titre = QStringLiteral("Les animaux de la ferme");
        const QByteArray wav = SonRequete::wavDeLaVoix(titre);
        qInfo("espeak-ng loaded in %lld ms, a title said in %lld ms", chargement, temps.elapsed());
        const EspeakSynthesizer voix;
        verifieEnTete(wav, voix.sampleRate());
        const SonRequete::Son son = SonRequete::lis(wav);
        const SonRequete::Son brut{voix.sampleRate(), voix.synthesize(titre)};
        QVERIFY(brut.secondes() > 0.8); // the voice varies a little from one time to the next
        QVERIFY(std::abs(son.secondes() - brut.secondes()) < 0.1);
    }

    // The form's chooser: the current sound kept until a heard take replaces
    // it; a silent take, a pipe or a missing microphone leave things as they are.
    void chooser()
    {
        const QString actuel = m_dir.filePath(QStringLiteral("ACTUEL.WAV"));
        const QByteArray ancien = SonRequete::wav(en16(tonEntreSilences(22050, 0, 0.3, 0)), 22050);
        QVERIFY(writeFileBytes(actuel, ancien));
        const QString tube = m_dir.filePath(QStringLiteral("TUBE.WAV"));
        QCOMPARE(mkfifo(QFile::encodeName(tube).constData(), 0600), 0);
        QString micro = m_dir.filePath(QStringLiteral("silence.wav"));
        QVERIFY(writeFileBytes(micro, SonRequete::wav(en16(tonEntreSilences(22050, 1.0, 0, 0)), 22050)));

        ChoixSon choix;
        const auto fabrique = [&micro] { return sourceFichier(micro, 20.0); };
        choix.setFabriqueSource(fabrique);
        int changes = 0;
        choix.setQuandChange([&changes] { ++changes; });
        choix.setSonActuel(actuel);
        QVERIFY(choix.aUnSon() && !choix.modifie());
        QCOMPARE(choix.wav(), ancien);

        choix.enregistre();
        QTest::qWait(100);
        choix.arrete();
        QVERIFY(!choix.message().isEmpty());
        QCOMPARE(choix.wav(), ancien);
        QCOMPARE(changes, 0);

        micro = m_dir.filePath(QStringLiteral("parole.wav"));
        QVERIFY(writeFileBytes(micro, SonRequete::wav(en16(tonEntreSilences(16000, 0.5, 0.6, 0.5)), 16000)));
        choix.setFabriqueSource(fabrique);
        choix.enregistre();
        QTest::qWait(150);
        choix.arrete();
        QVERIFY(choix.aUnSon() && choix.modifie());
        QVERIFY(std::abs(SonRequete::lis(choix.wav()).secondes() - 0.8) < 0.011);
        QCOMPARE(changes, 1);
        choix.setTitre(QStringLiteral("Les loups"));
        choix.setChoix(ChoixSon::Choix::Voix);
        QCOMPARE(choix.aUnSon(), SonRequete::voixDisponible());
        QCOMPARE(choix.wav().size() > 10000, SonRequete::voixDisponible()); // a second or so
        choix.setChoix(ChoixSon::Choix::Aucun);
        QVERIFY(!choix.aUnSon() && choix.wav().isEmpty());

        choix.setSonActuel(tube);
        QVERIFY(!choix.aUnSon());

        // "Écouter" plays the sound as the kiosk would, and says when it cannot.
        choix.setSonActuel(actuel);
        choix.ecoute();
        QTest::qWait(300);
        QVERIFY(choix.message().isEmpty());
        QVERIFY(writeFileBytes(actuel, ancien.left(20) + char(2) + ancien.mid(21))); // ADPCM
        choix.setSonActuel(actuel);
        choix.ecoute();
        QTRY_VERIFY(!choix.message().isEmpty());

        // The program's microphone replaced by a file, here a missing one.
        const QString absent = m_dir.filePath(QStringLiteral("ABSENT.WAV"));
        qputenv("LUMA_MICRO_FICHIER", QFile::encodeName(absent));
        const ChoixSon sansMicro;
        qunsetenv("LUMA_MICRO_FICHIER");
        const auto *enregistrer = sansMicro.findChild<QPushButton *>(QStringLiteral("enregistrer"));
        QVERIFY(enregistrer && !enregistrer->isEnabled() && enregistrer->toolTip().contains(absent));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(GestionSonsTest)
#include "tst_gestion_sons.moc"
