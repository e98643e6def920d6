#pragma once

// What the teachers' program gives the loans, for its benchmarks: no wait,
// errors on the standard error.

#include "folder/contexteprets.h"
#include "platform/apperror.h"

#include <QString>
#include <cstdio>

struct ContexteBanc : ContextePrets
{
    explicit ContexteBanc(QString base) : base(std::move(base)) {}
    const QString &CheminBase() const override { return base; }
    LockWait attenteVerrou() override { return {}; }
    void GestionErreur(const AppError &error) override { std::fprintf(stderr, "%s\n", error.what()); }
    bool programEnded() const override { return false; }
    QString base;
};
