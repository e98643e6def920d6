#pragma once

#include "platform/services.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class QAudioSink;
class QCoreApplication;
class QSoundEffect;

// The Qt implementations of the platform services.

// Loads Qt's own French translation, so that message boxes read "Oui" and
// "Non". Returns false when the translation is not installed.
bool installFrenchTranslation(QCoreApplication &application);

class QtMessageBoxes : public MessageBoxes
{
public:
    int show(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons) override;
};

// Where the synthesized voice is played: the program's one sound channel,
// shared with the WAV files, so that each new sound or text cuts the one
// playing. Used on the thread that plays the WAV files.
class SampleOutput
{
public:
    virtual ~SampleOutput() = default;
    // Cuts the sound playing and takes the channel for samples to come: any
    // later claim, or a WAV played meanwhile, makes this claim stale.
    virtual quint64 claim() = 0;
    // Plays 16-bit mono samples at `rate` Hz if `claim` is still the latest;
    // returns whether it was. Never throws, never waits.
    virtual bool playSamples(quint64 claim, const QByteArray &samples, int rate) = 0;
};

// One preloaded sound effect per WAV file, and an audio output fed from
// memory for the voice; a new sound or text stops the one playing. Silent,
// and still quick, on a machine without a sound device.
class QtSoundPlayer : public SoundPlayer, public SampleOutput
{
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    QtSoundPlayer(const QtSoundPlayer &) = delete;
    QtSoundPlayer &operator=(const QtSoundPlayer &) = delete;

    void play(const QString &nativePath) override;
    quint64 claim() override;
    bool playSamples(quint64 claim, const QByteArray &samples, int rate) override;

    // The voice's audio output, once it has played (for the benchmark).
    QAudioSink *voiceOutput() const { return m_voice.get(); }

private:
    void cut();

    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
    QSoundEffect *m_current = nullptr;
    quint64 m_claims = 0;
    std::unique_ptr<QAudioSink> m_voice;
    QBuffer m_voiceSamples;
};

// The voice when the kiosk is told to keep quiet (--sans-voix).
class SilentSpeech : public Speech
{
public:
    void say(const QString &) override {}
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override;
};

class QtDisplay : public DisplayScreen
{
public:
    QSize sizePixels() const override;
};

class QtMousePointer : public MousePointer
{
public:
    void hourglass() override;
    void arrow() override;
};

// Runs the cleanup (closing the databases), then leaves the process at once:
// no further step of the caller runs.
class QtProgramEnd : public ProgramEnd
{
public:
    explicit QtProgramEnd(std::function<void()> cleanup = {});

    void setCleanup(std::function<void()> cleanup);
    [[noreturn]] void endProgram() override;

private:
    std::function<void()> m_cleanup;
};
