#pragma once

// Header only: what the teachers' program gives the loans, for its tests.

#include "folder/contexteprets.h"
#include "platform/apperror.h"

#include <QStringList>

// What the teachers' program gives the loans: its folder, a short wait, the
// errors it would show.
struct ContexteEssai : ContextePrets
{
    explicit ContexteEssai(QString base) : base(std::move(base)) {}
    const QString &CheminBase() const override { return base; }
    LockWait attenteVerrou() override
    {
        LockWait wait;
        wait.deadline = std::chrono::milliseconds(300);
        return wait;
    }
    void GestionErreur(const AppError &error) override { erreurs << error.description(); }
    bool programEnded() const override { return false; }
    QString base;
    QStringList erreurs;
};
