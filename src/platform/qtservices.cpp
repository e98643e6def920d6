#include "platform/qtservices.h"

#include "platform/apperror.h"
#include "platform/datafile.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCursor>
#include <QLibraryInfo>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QTranslator>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <utility>

bool installFrenchTranslation(QCoreApplication &application)
{
    auto *translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

// ----------------------------------------------------------- message boxes

namespace {

QMessageBox::Icon toQtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

int QtMessageBoxes::show(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons)
{
    QMessageBox box(toQtIcon(icon), title, text, QMessageBox::NoButton, QApplication::activeWindow());
    QAbstractButton *yes = nullptr;
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        yes = box.button(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }

    // The child sees the ordinary pointer while the box waits, whatever the
    // program was showing; the pointer comes back afterwards.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QGuiApplication::restoreOverrideCursor();

    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
}

// ------------------------------------------------------------------- sound

QtSoundPlayer::QtSoundPlayer() = default;

QtSoundPlayer::~QtSoundPlayer()
{
    // The output reads from the buffer until it stops.
    if (m_voice)
        m_voice->stop();
}

void QtSoundPlayer::cut()
{
    if (m_current)
        m_current->stop();
    if (m_voice)
        m_voice->stop();
}

void QtSoundPlayer::play(const QString &nativePath)
{
    if (nativePath.isEmpty())
        return;
    try {
        // The effect opens the path itself: what it finds there must be a
        // sound file of sane size, not a pipe or /dev/zero.
        try {
            DataFile::check(nativePath, DataFile::kMediaLimit);
        } catch (const AppError &error) {
            DataFile::reportSkipped(nativePath, error.description());
            return;
        }
        auto found = m_effects.find(nativePath);
        if (found == m_effects.end()) {
            auto effect = std::make_unique<QSoundEffect>();
            effect->setSource(QUrl::fromLocalFile(nativePath));
            found = m_effects.emplace(nativePath, std::move(effect)).first;
        }
        QSoundEffect *effect = found->second.get();
        ++m_claims; // a voice still being prepared is not played after this
        cut();
        effect->stop();
        effect->play(); // waits for nothing: a sound still loading plays once loaded
        m_current = effect;
    } catch (...) {
        // A sound is never worth an error.
    }
}

quint64 QtSoundPlayer::claim()
{
    try {
        cut();
    } catch (...) {
    }
    return ++m_claims;
}

bool QtSoundPlayer::playSamples(quint64 claim, const QByteArray &samples, int rate)
{
    if (claim != m_claims)
        return false;
    try {
        cut();
        if (samples.isEmpty() || rate <= 0)
            return true;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return true; // no sound device: silence, as for the WAV files
        QAudioFormat format;
        format.setSampleRate(rate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        // A fresh output for each text: PulseAudio's restarted ones may stay silent.
        m_voice.reset();
        m_voice = std::make_unique<QAudioSink>(device, format);
        m_voiceSamples.close();
        m_voiceSamples.setData(samples);
        m_voiceSamples.open(QIODevice::ReadOnly);
        m_voice->start(&m_voiceSamples); // pulls the samples as it plays them
    } catch (...) {
        // Nor is a word.
    }
    return true;
}

// ------------------------------------------------- clock, display, pointer

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

QSize QtDisplay::sizePixels() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

void QtMousePointer::hourglass()
{
    // One level of override only, however often the hourglass is asked for.
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtMousePointer::arrow()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

// ----------------------------------------------------------------- the end

QtProgramEnd::QtProgramEnd(std::function<void()> cleanup) : m_cleanup(std::move(cleanup)) {}

void QtProgramEnd::setCleanup(std::function<void()> cleanup)
{
    m_cleanup = std::move(cleanup);
}

void QtProgramEnd::endProgram()
{
    if (m_cleanup) {
        try {
            m_cleanup();
        } catch (...) {
            // Ending anyway: nothing is left to report an error to.
        }
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
}
