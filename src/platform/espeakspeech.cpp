#include "platform/espeakspeech.h"

#include "platform/qtservices.h"

#include <QLibrary>
#include <QMetaObject>
#include <QObject>

#include <espeak-ng/espeak_ng.h>

#include <utility>

namespace {

// libespeak-ng keeps one state per process and is not reentrant: it is loaded
// and initialised once, and every call into it is made under one lock. It is
// never terminated (its terminate call can wait forever on a thread of its
// own). It is loaded at run time, so that a kiosk without it still runs,
// silently.
struct Engine
{
    std::mutex lock;
    std::unique_ptr<QLibrary> library;
    QString loadedAs;
    bool ready = false;
    int rate = 0;
    QByteArray voice; // the voice last set

    decltype(&espeak_ng_InitializePath) initializePath = nullptr;
    decltype(&espeak_ng_Initialize) initialize = nullptr;
    decltype(&espeak_ng_ClearErrorContext) clearErrorContext = nullptr;
    decltype(&espeak_ng_InitializeOutput) initializeOutput = nullptr;
    decltype(&espeak_ng_GetSampleRate) getSampleRate = nullptr;
    decltype(&espeak_ng_SetVoiceByName) setVoiceByName = nullptr;
    decltype(&espeak_ng_SetParameter) setParameter = nullptr;
    decltype(&espeak_ng_Synthesize) synthesize = nullptr;
    decltype(&espeak_SetSynthCallback) setSynthCallback = nullptr;

    // The synthesis under way: where its samples go, and when to stop.
    QByteArray *samples = nullptr;
    const std::function<bool()> *stop = nullptr;

    // Loads and initialises the library if it is not yet. Under the lock.
    bool open(const QString &name);
    // Under the lock.
    bool setVoice(const QByteArray &name);
};

Engine &engine()
{
    static Engine theEngine; // the library's own state is per process
    return theEngine;
}

// Called by the library, on the synthesizing thread, under the engine's lock.
int receiveSamples(short *wav, int count, espeak_EVENT *)
{
    Engine &e = engine();
    if (!e.samples)
        return 1;
    if (wav && count > 0)
        e.samples->append(reinterpret_cast<const char *>(wav), qsizetype(count) * qsizetype(sizeof(short)));
    return e.stop && *e.stop && (*e.stop)() ? 1 : 0;
}

template <typename F> bool resolve(QLibrary &library, F &function, const char *symbol)
{
    function = reinterpret_cast<F>(library.resolve(symbol));
    return function != nullptr;
}

bool Engine::open(const QString &name)
{
    if (ready) // one library per process
        return name == loadedAs;
    auto candidate = std::make_unique<QLibrary>(name, 1);
    if (!candidate->load())
        return false;
    QLibrary &l = *candidate;
    if (!(resolve(l, initializePath, "espeak_ng_InitializePath") && resolve(l, initialize, "espeak_ng_Initialize") &&
          resolve(l, clearErrorContext, "espeak_ng_ClearErrorContext") &&
          resolve(l, initializeOutput, "espeak_ng_InitializeOutput") &&
          resolve(l, getSampleRate, "espeak_ng_GetSampleRate") &&
          resolve(l, setVoiceByName, "espeak_ng_SetVoiceByName") &&
          resolve(l, setParameter, "espeak_ng_SetParameter") && resolve(l, synthesize, "espeak_ng_Synthesize") &&
          resolve(l, setSynthCallback, "espeak_SetSynthCallback")))
        return false;

    initializePath(nullptr); // the system's voices, or ESPEAK_DATA_PATH
    espeak_ng_ERROR_CONTEXT context = nullptr;
    const espeak_ng_STATUS status = initialize(&context);
    if (context)
        clearErrorContext(&context);
    if (status != ENS_OK)
        return false;
    // Synchronous: the samples come back to receiveSamples, nothing is played.
    if (initializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK)
        return false;
    setSynthCallback(receiveSamples);
    rate = getSampleRate();
    library = std::move(candidate);
    loadedAs = name;
    ready = rate > 0;
    return ready;
}

bool Engine::setVoice(const QByteArray &name)
{
    if (voice == name)
        return true;
    if (setVoiceByName(name.constData()) != ENS_OK) {
        voice.clear(); // whatever the library now holds, the next voice is set afresh
        return false;
    }
    voice = name;
    setParameter(espeakRATE, EspeakSynthesizer::kWordsPerMinute, 0);
    return true;
}

} // namespace

EspeakSynthesizer::EspeakSynthesizer(const QString &voice, const QString &library) : m_voice(voice.toUtf8())
{
    try {
        Engine &e = engine();
        std::lock_guard guard(e.lock);
        if (e.open(library) && e.setVoice(m_voice)) {
            m_available = true;
            m_rate = e.rate;
        }
    } catch (...) {
        m_available = false;
    }
}

QByteArray EspeakSynthesizer::synthesize(const QString &text, const std::function<bool()> &stop) const
{
    QByteArray samples;
    const QByteArray utf8 = text.trimmed().toUtf8();
    if (!m_available || utf8.isEmpty())
        return samples;
    Engine &e = engine();
    std::lock_guard guard(e.lock);
    if (!e.setVoice(m_voice))
        return samples;
    e.samples = &samples;
    e.stop = &stop;
    e.synthesize(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                 nullptr);
    e.samples = nullptr;
    e.stop = nullptr;
    return samples;
}

// ----------------------------------------------------------------- voice

EspeakSpeech::EspeakSpeech(SampleOutput &output, const QString &voice, const QString &library)
    : m_output(output), m_receiver(std::make_unique<QObject>())
{
    m_worker = std::thread([this, voice, library] { run(voice, library); });
}

EspeakSpeech::~EspeakSpeech()
{
    {
        std::lock_guard guard(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_worker.join();
    // Samples still queued for the output go with their receiver.
    m_receiver.reset();
}

void EspeakSpeech::say(const QString &text)
{
    if (text.trimmed().isEmpty() || m_state.load() == State::Unavailable)
        return;
    try {
        const quint64 claim = m_output.claim();
        {
            std::lock_guard guard(m_lock);
            m_latest = claim;
            m_pending = Request{text, claim};
        }
        m_wake.notify_one();
    } catch (...) {
        // A word is never worth an error.
    }
}

void EspeakSpeech::waitUntilLoaded()
{
    std::unique_lock guard(m_lock);
    m_loaded.wait(guard, [this] { return m_state.load() != State::Loading; });
}

void EspeakSpeech::run(const QString &voice, const QString &library)
{
    const EspeakSynthesizer synthesizer(voice, library);
    {
        std::lock_guard guard(m_lock);
        m_state = synthesizer.available() ? State::Ready : State::Unavailable;
    }
    m_loaded.notify_all();

    for (;;) {
        Request request;
        {
            std::unique_lock guard(m_lock);
            m_wake.wait(guard, [this] { return m_quit || m_pending; });
            if (m_quit)
                return;
            request = std::move(*m_pending);
            m_pending.reset();
        }
        if (!synthesizer.available())
            continue;
        const quint64 claim = request.claim;
        const std::function<bool()> superseded = [this, claim] { return m_quit || m_latest.load() != claim; };
        QByteArray samples;
        try {
            samples = synthesizer.synthesize(request.text, superseded);
        } catch (...) {
            continue;
        }
        if (samples.isEmpty() || superseded())
            continue;
        const int rate = synthesizer.sampleRate();
        QMetaObject::invokeMethod(
            m_receiver.get(), [this, claim, samples, rate] { m_output.playSamples(claim, samples, rate); },
            Qt::QueuedConnection);
    }
}
