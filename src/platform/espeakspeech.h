#pragma once

#include "platform/services.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QObject;
class SampleOutput;

// French speech from libespeak-ng, synthesized into memory: no daemon, no
// playback of its own. The library is loaded when first needed; without it,
// or without the voice, the synthesizer is unavailable and makes no sound.
class EspeakSynthesizer
{
public:
    // `library`: the shared library's name without "lib" and suffix.
    explicit EspeakSynthesizer(const QString &voice = QStringLiteral("fr"),
                               const QString &library = QStringLiteral("espeak-ng"));

    bool available() const { return m_available; }
    // Samples per second of what synthesize() returns (0 when unavailable).
    int sampleRate() const { return m_rate; }

    // The text said, as 16-bit mono samples in the machine's byte order;
    // empty for a text without words or when unavailable. `stop`, asked
    // between blocks of samples, ends the synthesis early. Callable from any
    // thread: the library's one state is shared under a lock.
    QByteArray synthesize(const QString &text, const std::function<bool()> &stop = {}) const;

    // Words per minute: as the recorded sounds of the demo folder.
    static constexpr int kWordsPerMinute = 140;

private:
    QByteArray m_voice;
    bool m_available = false;
    int m_rate = 0;
};

// The program's voice: each text is synthesized on a thread of its own, so
// the screen never waits, and its samples are played through the sound
// player, which lets a new sound or text cut them. A newer text supersedes
// one still being synthesized. Silent when the synthesizer is unavailable.
class EspeakSpeech : public Speech
{
public:
    explicit EspeakSpeech(SampleOutput &output, const QString &voice = QStringLiteral("fr"),
                          const QString &library = QStringLiteral("espeak-ng"));
    ~EspeakSpeech() override;
    EspeakSpeech(const EspeakSpeech &) = delete;
    EspeakSpeech &operator=(const EspeakSpeech &) = delete;

    void say(const QString &text) override;

    // Whether the voice was found; false too while the library is loading.
    bool available() const { return m_state.load() == State::Ready; }
    // Waits until the library is loaded or found missing (tests, benchmarks).
    void waitUntilLoaded();

private:
    enum class State { Loading, Ready, Unavailable };
    struct Request
    {
        QString text;
        quint64 claim = 0;
    };
    void run(const QString &voice, const QString &library);

    SampleOutput &m_output;
    // Lives on the creating thread: the samples are handed to the output
    // through its event queue.
    std::unique_ptr<QObject> m_receiver;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_loaded;
    std::optional<Request> m_pending;
    std::atomic<bool> m_quit{false};
    std::atomic<quint64> m_latest{0};
    std::atomic<State> m_state{State::Loading};
    std::thread m_worker; // last: started once everything above exists
};
