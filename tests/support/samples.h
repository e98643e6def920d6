#pragma once

#include <QString>
#include <QTest>

// The Access sample files of the folder-conversion tests: a folder given to
// the build (LUMA_ACCESS_SAMPLES). The build may also require them
// (LUMA_REQUIRE_ACCESS_SAMPLES, as CI does): their absence then fails the
// tests instead of skipping them.
namespace AccessSamples {
QString folder();
QString file(const QString &name);
// Why the samples cannot be read; empty when they can.
QString missing();
bool required();
} // namespace AccessSamples

// In a test function or its data function: fails or skips it when the samples are missing.
#define NEED_ACCESS_SAMPLES()                                                                                     \
    do {                                                                                                          \
        const QString why_ = AccessSamples::missing();                                                            \
        if (!why_.isEmpty()) {                                                                                    \
            if (AccessSamples::required())                                                                        \
                QFAIL(qPrintable(why_));                                                                          \
            QSKIP(qPrintable(why_));                                                                              \
        }                                                                                                         \
    } while (false)
