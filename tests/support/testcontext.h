#pragma once

// Header only: for the tests that link the whole program.

#include "kiosk/kioskcontext.h"
#include "datafolder.h"
#include "fakes.h"

#include <memory>

// A program context on fake platform services, thrown away after the test.
struct TestContext
{
    FakeMessageBoxes messages;
    FakeSoundPlayer sound;
    FakeClock clock;
    FakeDisplay display;
    FakeProgramEnd programEnd;
    FakeMousePointer pointer;
    FakeSpeech speech;
    KioskContext context{PlatformServices{messages, sound, clock, display, programEnd, pointer, speech}};

    // The data folder's file system agrees with the fake clock, unless a
    // test says otherwise.
    TestContext()
    {
        context.setHorlogeDossier([this](const QString &) { return std::optional<QDateTime>(clock.now()); });
    }

    Module11 &module() { return context.module(); }

    // The folders and the children's and catalogue's cursors as the
    // start-up leaves them on `folder`.
    void openAsStartUp(const DataFolder &folder)
    {
        module().setCheminBase(folder.base());
        module().setCheminEcole(folder.school());
        Feuilleenfant &d = context.données();
        d.Donnée1().setDatabaseName(folder.schoolDb());
        d.Donnée1().setRecordSource(QStringLiteral("SELECT * FROM enfants"));
        d.Donnée1().refresh();
        d.Donnée2().setDatabaseName(folder.catalogue());
        d.Donnée2().setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
        d.Donnée2().refresh();
    }
};
