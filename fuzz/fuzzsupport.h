#pragma once

// Shared by the fuzz targets: a finding stops the run with a message (the
// fuzzer then keeps the input that led to it), and the error numbers the
// program's readers may raise.

#include "platform/apperror.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace fuzz {

[[noreturn]] inline void finding(const QString &what)
{
    std::fprintf(stderr, "\n*** FINDING: %s\n", what.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const QString &what)
{
    if (!holds)
        finding(what);
}

// An error raised by a reader must be one of the numbers it documents, with
// a French description for the error report.
inline void expectNumber(const AppError &error, std::initializer_list<int> allowed)
{
    for (int n : allowed)
        if (error.number() == n && !error.description().isEmpty())
            return;
    finding(QStringLiteral("unexpected error %1: %2").arg(error.number()).arg(error.description()));
}

// A folder of the fuzz run's own, removed at the end.
inline const QString &workFolder()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        finding(QStringLiteral("no temporary folder"));
    static const QString path = dir.path();
    return path;
}

// How an input shows a text: printable, with the rest escaped.
inline QString shown(const QString &text)
{
    QString out;
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\')
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace fuzz
