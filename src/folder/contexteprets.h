#pragma once

#include "platform/apperror.h"
#include "platform/lockwait.h"

#include <QString>
#include <functional>
#include <vector>

// What the loans of a data folder need from the program that makes them:
// the kiosk's shared module, or any other program that lends or takes a book
// back on the same folder, under the same lock.
class ContextePrets
{
public:
    virtual ~ContextePrets() = default;

    // The data folder, a native path without a trailing separator; its files
    // are named from it the Windows way (CheminBase() + "\\LUMA.MDB"),
    // resolved by nativePath().
    virtual const QString &CheminBase() const = 0;
    // How a lock another program holds is waited for.
    virtual LockWait attenteVerrou() = 0;
    // Reports an error to whoever uses the program.
    virtual void GestionErreur(const AppError &error) = 0;
    // True once the program is ending: nothing more is attempted.
    virtual bool programEnded() const = 0;
};

// Errors of steps run while a lock other kiosks wait for is held: kept, and
// reported only once the lock is let go, so that a box left open on one
// kiosk never holds up the others.
class ErreursDifferees
{
public:
    explicit ErreursDifferees(ContextePrets &module) : m_module(module) {}

    // Runs one step; a failure is kept for later. Returns false when the step
    // failed or did not run (the program has ended).
    bool essaie(const std::function<void()> &step);
    void ajoute(const AppError &error) { m_erreurs.push_back(error); }
    bool vide() const { return m_erreurs.empty(); }
    // Reports each error kept, in order, through GestionErreur; the caller
    // holds no lock any more.
    void signale();

private:
    ContextePrets &m_module;
    std::vector<AppError> m_erreurs;
};
