#pragma once

#include "platform/services.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Test doubles of the platform services.

struct ShownMessage
{
    QString text;
    QString title;
    MsgIcon icon;
    MsgButtons buttons;
};

class FakeMessageBoxes : public MessageBoxes
{
public:
    int show(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons) override
    {
        shown.append({text, title, icon, buttons});
        if (onShow)
            onShow(shown.back());
        if (buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return answers.isEmpty() ? MsgAnswer::Yes : answers.takeFirst();
    }

    QList<ShownMessage> shown;
    QList<int> answers; // answers to Yes/No questions, in order (Yes when empty)
    std::function<void(const ShownMessage &)> onShow; // runs while the box is "open"
};

class FakeSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &nativePath) override { played.append(nativePath); }
    QStringList played;
};

// Records each text said, in order.
class FakeSpeech : public Speech
{
public:
    void say(const QString &text) override { said.append(text); }
    QStringList said;
};

class FakeClock : public Clock
{
public:
    QDateTime now() const override { return current; }
    QDateTime current{QDate(2026, 12, 5), QTime(14, 30)};
};

class FakeDisplay : public DisplayScreen
{
public:
    QSize sizePixels() const override { return size; }
    QSize size{1024, 768};
};

class FakeProgramEnd : public ProgramEnd
{
public:
    void endProgram() override { ++ended; }
    int ended = 0;
};

class FakeMousePointer : public MousePointer
{
public:
    void hourglass() override { busy = true; }
    void arrow() override { busy = false; }
    bool busy = false;
};
