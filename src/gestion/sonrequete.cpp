#include "gestion/sonrequete.h"

#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/durablefile.h"
#include "platform/espeakspeech.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace SonRequete {

namespace {

constexpr int kEnTete = 44;

[[noreturn]] void pasUnWav(const QString &raison)
{
    throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("Ce fichier n'est pas un son WAV lisible : %1.").arg(raison));
}

template<typename T> T lu(const char *p)
{
    return qFromLittleEndian<T>(p);
}

} // namespace

QByteArray wav(const QByteArray &echantillons, int frequence)
{
    const quint32 taille = quint32(echantillons.size() & ~qsizetype(1)); // whole samples only
    QByteArray octets(kEnTete + qsizetype(taille), Qt::Uninitialized);
    char *p = octets.data();
    const auto mot = [&p](quint32 v) { qToLittleEndian(v, p); p += 4; };
    const auto demi = [&p](quint16 v) { qToLittleEndian(v, p); p += 2; };
    const auto balise = [&p](const char *b) { std::memcpy(p, b, 4); p += 4; };
    balise("RIFF");
    mot(36 + taille);
    balise("WAVE");
    balise("fmt ");
    mot(16);
    demi(1); // PCM
    demi(1); // mono
    mot(quint32(frequence));
    mot(quint32(frequence) * 2);
    demi(2);
    demi(16);
    balise("data");
    mot(taille);
    qToLittleEndian<qint16>(echantillons.constData(), taille / 2, p);
    return octets;
}

Son lis(const QByteArray &wav)
{
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        pasUnWav(QStringLiteral("il ne commence pas comme un fichier WAV"));
    const char *fmt = nullptr;
    qsizetype tailleFmt = 0;
    QByteArray donnees;
    bool aDesDonnees = false;
    for (qsizetype pos = 12; pos + 8 <= wav.size();) {
        const QByteArray id = wav.mid(pos, 4);
        const qsizetype taille = std::min<qsizetype>(lu<quint32>(wav.constData() + pos + 4), wav.size() - pos - 8);
        if (id == "fmt ") {
            fmt = wav.constData() + pos + 8;
            tailleFmt = taille;
        } else if (id == "data") {
            donnees = wav.mid(pos + 8, taille); // a file cut short keeps what it has
            aDesDonnees = true;
            break;
        }
        pos += 8 + taille + (taille & 1); // chunks are padded to an even length
    }
    if (!fmt || tailleFmt < 16 || !aDesDonnees)
        pasUnWav(QStringLiteral("sa description ou ses échantillons manquent"));

    quint16 sorte = lu<quint16>(fmt);
    const int canaux = lu<quint16>(fmt + 2);
    const qint64 frequence = lu<quint32>(fmt + 4);
    const int bits = lu<quint16>(fmt + 14);
    if (sorte == 0xFFFE && tailleFmt >= 26) // extensible: the real format starts its sub-format
        sorte = lu<quint16>(fmt + 24);
    Format format;
    if (sorte == 1 && bits == 8)
        format = Format::Octet;
    else if (sorte == 1 && bits == 16)
        format = Format::Entier16;
    else if (sorte == 1 && bits == 32)
        format = Format::Entier32;
    else if (sorte == 3 && bits == 32)
        format = Format::Flottant32;
    else
        pasUnWav(QStringLiteral("son codage (%1, %2 bits) n'est pas pris en charge").arg(sorte).arg(bits));
    if (canaux < 1 || canaux > 16 || frequence < 1000 || frequence > 384000)
        pasUnWav(QStringLiteral("%1 canaux à %2 Hz").arg(canaux).arg(frequence));
    return {int(frequence), versMono16(donnees.constData(), donnees.size(), format, canaux)};
}

QByteArray versMono16(const char *donnees, qsizetype taille, Format format, int canaux)
{
    const int largeur = format == Format::Octet ? 1 : format == Format::Entier16 ? 2 : 4;
    const qsizetype trames = canaux > 0 ? taille / (qsizetype(largeur) * canaux) : 0;
    QByteArray sortie(trames * 2, Qt::Uninitialized);
    auto *mono = reinterpret_cast<qint16 *>(sortie.data());
    const auto valeur = [format](const char *p) -> double { // in [-1, 1]
        switch (format) {
        case Format::Octet:
            return (quint8(*p) - 128) / 128.0;
        case Format::Entier16:
            return qFromLittleEndian<qint16>(p) / 32768.0;
        case Format::Entier32:
            return qFromLittleEndian<qint32>(p) / 2147483648.0;
        case Format::Flottant32:
            return double(qFromLittleEndian<float>(p));
        }
        return 0.0;
    };
    for (qsizetype t = 0; t < trames; ++t) {
        double somme = 0;
        for (int c = 0; c < canaux; ++c)
            somme += valeur(donnees + (t * canaux + c) * largeur);
        const double v = std::isfinite(somme) ? somme / canaux : 0.0;
        mono[t] = qint16(std::clamp(std::lround(v * 32768.0), -32768L, 32767L));
    }
    return sortie;
}

QByteArray sansSilences(const QByteArray &echantillons, int frequence)
{
    const auto *s = reinterpret_cast<const qint16 *>(echantillons.constData());
    const qsizetype n = echantillons.size() / 2;
    const qsizetype fenetre = std::max(1, frequence / 100);
    const double seuil = 32768.0 * std::pow(10.0, kSeuilDbfs / 20.0);
    // A sound is three windows in a row above the threshold: the click of the
    // mouse that started or stopped the take is shorter than that, a syllable
    // is longer.
    constexpr int kFenetresDeSuite = 3;
    qsizetype premiere = -1, derniere = -1, deSuite = 0;
    for (qsizetype w = 0; w * fenetre < n; ++w) {
        const qsizetype debut = w * fenetre, fin = std::min(n, debut + fenetre);
        double somme = 0, carres = 0;
        for (qsizetype i = debut; i < fin; ++i) {
            somme += s[i];
            carres += double(s[i]) * s[i];
        }
        const double moyenne = somme / double(fin - debut);
        // Without the window's mean: a microphone's steady offset is no sound.
        const double efficace = std::sqrt(std::max(0.0, carres / double(fin - debut) - moyenne * moyenne));
        deSuite = efficace >= seuil ? deSuite + 1 : 0;
        if (deSuite == kFenetresDeSuite && premiere < 0)
            premiere = w - kFenetresDeSuite + 1;
        if (deSuite >= kFenetresDeSuite)
            derniere = w;
    }
    if (premiere < 0)
        return {};
    const qsizetype marge = qsizetype(frequence) * kMargeMs / 1000;
    const qsizetype debut = std::max<qsizetype>(0, premiere * fenetre - marge);
    const qsizetype fin = std::min(n, (derniere + 1) * fenetre + marge);
    return echantillons.mid(debut * 2, (fin - debut) * 2);
}

void enregistreWav(const QByteArray &wav, const QString &nativePath)
{
    DurableFile::writeFileAtomically(nativePath, wav);
}

bool voixDisponible()
{
    return EspeakSynthesizer().available();
}

QByteArray wavDeLaVoix(const QString &texte)
{
    const EspeakSynthesizer voix;
    const QByteArray echantillons = voix.synthesize(texte);
    return echantillons.isEmpty() ? QByteArray() : wav(echantillons, voix.sampleRate());
}

} // namespace SonRequete

using SonRequete::Format;

namespace {

class SourceMicro : public SourceAudio
{
public:
    SourceMicro() : m_appareil(QMediaDevices::defaultAudioInput())
    {
        if (m_appareil.isNull())
            return;
        // 16-bit mono at a rate fit for speech, if the card gives it as it is;
        // else what it prefers, converted as it comes.
        for (int hz : {22050, 44100, 48000}) {
            QAudioFormat format;
            format.setSampleRate(hz);
            format.setChannelCount(1);
            format.setSampleFormat(QAudioFormat::Int16);
            if (m_appareil.isFormatSupported(format)) {
                m_format = format;
                return;
            }
        }
        m_format = m_appareil.preferredFormat();
    }
    ~SourceMicro() override { SourceMicro::arrete(); }

    QString indisponible() const override
    {
        if (m_appareil.isNull())
            return QStringLiteral("Aucun micro n'est branché sur cet ordinateur.");
        if (!m_format.isValid() || m_format.sampleFormat() == QAudioFormat::Unknown)
            return QStringLiteral("Le micro « %1 » ne donne aucun format de son connu.").arg(m_appareil.description());
        return {};
    }
    int frequence() const override { return m_format.sampleRate(); }

    void demarre() override
    {
        arrete();
        m_source = std::make_unique<QAudioSource>(m_appareil, m_format);
        QObject::connect(m_source.get(), &QAudioSource::stateChanged, m_source.get(), [this](QAudio::State etat) {
            if (etat == QAudio::StoppedState && m_source && m_source->error() != QAudio::NoError && surErreur)
                surErreur(QStringLiteral("Le micro ne répond plus : est-il toujours branché ?"));
        });
        m_flux = m_source->start();
        if (!m_flux) {
            if (surErreur)
                surErreur(QStringLiteral("Le micro « %1 » ne peut pas être ouvert.").arg(m_appareil.description()));
            return;
        }
        QObject::connect(m_flux, &QIODevice::readyRead, m_source.get(), [this] { lit(m_flux); });
    }

    void arrete() override
    {
        if (!m_source)
            return;
        // Its state change sees no source: a stop is no error.
        const auto source = std::move(m_source);
        lit(std::exchange(m_flux, nullptr));
        source->stop();
    }

private:
    void lit(QIODevice *flux)
    {
        if (!flux)
            return;
        const QByteArray octets = flux->readAll();
        if (octets.isEmpty() || !surEchantillons)
            return;
        Format format = Format::Entier16;
        switch (m_format.sampleFormat()) {
        case QAudioFormat::UInt8:
            format = Format::Octet;
            break;
        case QAudioFormat::Int32:
            format = Format::Entier32;
            break;
        case QAudioFormat::Float:
            format = Format::Flottant32;
            break;
        default:
            break;
        }
        if (format == Format::Entier16 && m_format.channelCount() == 1)
            surEchantillons(octets); // the card's byte order is the machine's
        else
            surEchantillons(SonRequete::versMono16(octets.constData(), octets.size(), format, m_format.channelCount()));
    }

    QAudioDevice m_appareil;
    QAudioFormat m_format;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice *m_flux = nullptr;
};

class SourceFichier : public SourceAudio
{
public:
    SourceFichier(const QString &chemin, double vitesse) : m_vitesse(vitesse)
    {
        try {
            m_son = SonRequete::lis(DataFile::readAll(chemin, DataFile::kMediaLimit));
        } catch (const AppError &erreur) {
            m_erreur = QStringLiteral("Le son qui remplace le micro (%1) ne peut pas être lu : %2")
                           .arg(chemin, erreur.description());
        }
        m_minuterie.setInterval(20);
        QObject::connect(&m_minuterie, &QTimer::timeout, [this] { donne(); });
    }

    QString indisponible() const override { return m_erreur; }
    int frequence() const override { return m_son.frequence; }

    void demarre() override
    {
        m_donnes = 0;
        m_horloge.start();
        m_minuterie.start();
    }
    void arrete() override
    {
        if (!m_minuterie.isActive())
            return;
        m_minuterie.stop();
        donne();
    }

private:
    void donne()
    {
        const qint64 dus = qint64(double(m_horloge.nsecsElapsed()) * 1e-9 * m_vitesse * m_son.frequence);
        if (dus <= m_donnes || !surEchantillons)
            return;
        QByteArray bloc = m_son.echantillons.mid(m_donnes * 2, (dus - m_donnes) * 2);
        bloc.append(QByteArray((dus - m_donnes) * 2 - bloc.size(), '\0'));
        m_donnes = dus;
        surEchantillons(bloc);
    }

    SonRequete::Son m_son;
    QString m_erreur;
    double m_vitesse;
    QTimer m_minuterie;
    QElapsedTimer m_horloge;
    qint64 m_donnes = 0;
};

} // namespace

std::unique_ptr<SourceAudio> sourceMicro()
{
    return std::make_unique<SourceMicro>();
}

std::unique_ptr<SourceAudio> sourceFichier(const QString &chemin, double vitesse)
{
    return std::make_unique<SourceFichier>(chemin, vitesse);
}

std::unique_ptr<SourceAudio> sourceAudioSysteme()
{
    const QString fichier = qEnvironmentVariable("LUMA_MICRO_FICHIER");
    if (!fichier.isEmpty())
        return sourceFichier(fichier);
    return sourceMicro();
}

// ----------------------------------------------------------------- a take

Prise::Prise(std::unique_ptr<SourceAudio> source) : m_source(std::move(source))
{
    m_source->surEchantillons = [this](const QByteArray &echantillons) { recoit(echantillons); };
    m_source->surErreur = [this](const QString &message) {
        if (!m_enCours)
            return;
        m_source->arrete();
        if (surFin)
            surFin(message);
    };
}

Prise::~Prise()
{
    m_source->surEchantillons = nullptr;
    m_source->surErreur = nullptr;
    m_source->arrete();
}

void Prise::demarre()
{
    if (m_enCours || !indisponible().isEmpty())
        return;
    m_echantillons.clear();
    m_niveau = -96.0;
    m_enCours = true;
    m_source->demarre();
}

QByteArray Prise::arrete()
{
    if (!m_enCours)
        return {};
    m_source->arrete(); // its last samples still come in
    m_enCours = false;
    const QByteArray parole = SonRequete::sansSilences(m_echantillons, m_source->frequence());
    m_echantillons.clear();
    return parole.isEmpty() ? QByteArray() : SonRequete::wav(parole, m_source->frequence());
}

double Prise::secondes() const
{
    const int hz = m_source->frequence();
    return hz > 0 ? double(m_echantillons.size() / 2) / hz : 0.0;
}

void Prise::recoit(const QByteArray &echantillons)
{
    if (!m_enCours)
        return;
    const qsizetype place = qsizetype(kDureeMax) * m_source->frequence() * 2 - m_echantillons.size();
    if (place <= 0)
        return;
    const QByteArray bloc = echantillons.left(std::max<qsizetype>(0, place));
    m_echantillons.append(bloc);
    int crete = 0;
    const auto *s = reinterpret_cast<const qint16 *>(bloc.constData());
    for (qsizetype i = 0; i < bloc.size() / 2; ++i)
        crete = std::max(crete, std::abs(int(s[i])));
    m_niveau = crete > 0 ? 20.0 * std::log10(crete / 32768.0) : -96.0;
    if (surProgres)
        surProgres();
    if (place <= echantillons.size()) {
        m_source->arrete();
        if (surFin)
            surFin(QString());
    }
}
