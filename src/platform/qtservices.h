#pragma once

#include "platform/services.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>

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

// One preloaded sound effect per WAV file; a new sound stops the one playing.
// Silent, and still quick, on a machine without a sound device.
class QtSoundPlayer : public SoundPlayer
{
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    QtSoundPlayer(const QtSoundPlayer &) = delete;
    QtSoundPlayer &operator=(const QtSoundPlayer &) = delete;

    void play(const QString &nativePath) override;

private:
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
    QSoundEffect *m_current = nullptr;
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
