#pragma once

#include <QDateTime>
#include <QSize>
#include <QString>

// The small interfaces behind which the program reaches the platform: message
// boxes, the sound player, the voice, the clock, the display and the end of
// the program.
// The program uses the Qt implementations (qtservices.h); tests use doubles.

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, YesNo };

// Answer codes of a message box, as the original platform numbered them.
namespace MsgAnswer {
constexpr int Ok = 1;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal box; returns MsgAnswer::Ok, ::Yes or ::No. For Yes/No the
    // default button (answered by Return) is Yes.
    virtual int show(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons) = 0;
};

class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // Starts playing an existing WAV file (native path) and returns at once;
    // a new sound cuts the one still playing. Never throws, never waits.
    virtual void play(const QString &nativePath) = 0;
};

// The voice that reads aloud, in French, the written words a child meets: a
// title, a subject word, a first name, a digit.
class Speech
{
public:
    virtual ~Speech() = default;
    // Starts saying the text through the sound player and returns at once: it
    // cuts the sound playing, and the next sound or text cuts it. Silent
    // without a voice or a sound device. Never throws, never waits.
    virtual void say(const QString &text) = 0;
};

class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// (Not "Display": Qt's X11 headers declare a global type of that name.)
class DisplayScreen
{
public:
    virtual ~DisplayScreen() = default;
    // Size of the whole display in pixels.
    virtual QSize sizePixels() const = 0;
};

// Ends the program "at once". The real one closes the databases and leaves the
// process; a test double only records that the program has ended, and the
// code that asked for the end returns without running a further step.
class ProgramEnd
{
public:
    virtual ~ProgramEnd() = default;
    virtual void endProgram() = 0;
};

// The mouse pointer: the hourglass while the database works.
class MousePointer
{
public:
    virtual ~MousePointer() = default;
    virtual void hourglass() = 0;
    virtual void arrow() = 0;
};

// The platform services one run works with: the real ones in the program,
// doubles in the tests.
struct PlatformServices
{
    MessageBoxes &messages;
    SoundPlayer &sound;
    Clock &clock;
    DisplayScreen &display;
    ProgramEnd &programEnd;
    MousePointer &pointer;
    Speech &speech;
};
