#pragma once

// Header only: for the tests that link the whole program.

#include "app/appcontext.h"
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
    AppContext context{PlatformServices{messages, sound, clock, display, programEnd, pointer, speech}};

    Module11 &module() { return context.module(); }
};
