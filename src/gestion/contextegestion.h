#pragma once

#include "folder/contexteprets.h"

class QWidget;

// What the loans of the data folder need from the teachers' program: its
// folder, a wait for another station's lock that keeps the window painted
// with the busy pointer, and errors shown in a message box.
class ContexteGestion : public ContextePrets
{
public:
    explicit ContexteGestion(QString cheminBase) : m_cheminBase(std::move(cheminBase)) {}

    const QString &CheminBase() const override { return m_cheminBase; }
    LockWait attenteVerrou() override;
    void GestionErreur(const AppError &error) override;
    bool programEnded() const override { return false; }

    // The window the message boxes belong to.
    void setFenetre(QWidget *fenetre) { m_fenetre = fenetre; }

private:
    QString m_cheminBase;
    QWidget *m_fenetre = nullptr;
};
