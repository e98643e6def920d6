#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QAudioFormat;
class QTimer;

// The sound of a picture request, as the kiosk plays it: a WAV file of the
// data folder's SONS, plain 16-bit PCM, mono. Samples are kept as 16-bit
// signed integers in the machine's byte order (what espeak-ng and the
// microphone give here).
namespace SonRequete {

// Qt has no public WAV reader or writer (QWaveDecoder is private), and the
// format needed is one fixed header: the few lines below do it.
QByteArray wav(const QByteArray &echantillons, int frequence);

struct Son
{
    int frequence = 0;
    QByteArray echantillons; // 16-bit mono
    double secondes() const { return frequence > 0 ? double(echantillons.size() / 2) / frequence : 0.0; }
};

// Reads a PCM WAV file (8, 16 or 32-bit integers, or 32-bit floats, any
// number of channels, mixed down to mono 16-bit). Throws AppError 5 with a
// French description for anything else.
Son lis(const QByteArray &wav);

// Interleaved frames of `canaux` channels, in one of the sample formats a
// sound card gives, as 16-bit mono.
enum class Format { Octet, Entier16, Entier32, Flottant32 };
QByteArray versMono16(const char *donnees, qsizetype taille, Format format, int canaux);

// The recording without the silence before and after what was said: the
// level is measured over windows of 10 ms, and anything below -40 dBFS is
// silence; 100 ms of margin stay on either side so that the first consonant
// and the last breath are kept. Empty when nothing was heard.
QByteArray sansSilences(const QByteArray &echantillons, int frequence);
inline constexpr double kSeuilDbfs = -40.0;
inline constexpr int kMargeMs = 100;

// Writes the file whole, atomically (the data folder's way).
void enregistreWav(const QByteArray &wav, const QString &nativePath);

// The kiosk's voice saying the text, as a WAV file; empty when espeak-ng or
// its French voice is missing, or the text has no words.
QByteArray wavDeLaVoix(const QString &texte);
bool voixDisponible();

} // namespace SonRequete

// Where the recorded samples come from: the microphone, or for the tests and
// a computer without one, a WAV file played as if it were spoken into it.
class SourceAudio
{
public:
    virtual ~SourceAudio() = default;

    // Empty when the source can record; else why not, in French.
    virtual QString indisponible() const = 0;
    // Samples per second of what surEchantillons receives.
    virtual int frequence() const = 0;
    virtual void demarre() = 0;
    virtual void arrete() = 0;

    // 16-bit mono samples, as they come.
    std::function<void(const QByteArray &)> surEchantillons;
    // A failure while recording (a microphone unplugged), in French.
    std::function<void(const QString &)> surErreur;
};

// The system's default microphone, through Qt Multimedia.
std::unique_ptr<SourceAudio> sourceMicro();
// A WAV file's samples, at the pace of a microphone (`vitesse` times faster
// for the tests), then silence, as a quiet room gives, until stopped.
std::unique_ptr<SourceAudio> sourceFichier(const QString &chemin, double vitesse = 1.0);
// The program's: the file LUMA_MICRO_FICHIER names when it is set, else the
// microphone.
std::unique_ptr<SourceAudio> sourceAudioSysteme();

// A take: the samples of a source from demarre() to arrete(), at most
// kDureeMax seconds (then it stops by itself: a forgotten recording does not
// fill the memory).
class Prise
{
public:
    explicit Prise(std::unique_ptr<SourceAudio> source);
    ~Prise();

    static constexpr int kDureeMax = 30;

    QString indisponible() const { return m_source->indisponible(); }
    bool enCours() const { return m_enCours; }
    void demarre();
    // The take, trimmed, as a WAV file; empty when nothing was heard.
    QByteArray arrete();
    double secondes() const;
    // The loudest sample of the last block, in dBFS (-96 for silence).
    double niveauDbfs() const { return m_niveau; }

    // After each block of samples (for a level meter and a clock).
    std::function<void()> surProgres;
    // When the take ended by itself: its length was reached, or the source
    // failed (the message, in French; empty for the length).
    std::function<void(const QString &)> surFin;

private:
    void recoit(const QByteArray &echantillons);

    std::unique_ptr<SourceAudio> m_source;
    QByteArray m_echantillons;
    bool m_enCours = false;
    double m_niveau = -96.0;
};
