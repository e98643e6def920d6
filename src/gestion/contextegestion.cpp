#include "gestion/contextegestion.h"

#include <QApplication>
#include <QMessageBox>

LockWait ContexteGestion::attenteVerrou()
{
    LockWait wait;
    wait.waiting = [] {
        if (!QApplication::overrideCursor())
            QApplication::setOverrideCursor(Qt::BusyCursor);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    wait.finished = [] {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    };
    return wait;
}

void ContexteGestion::GestionErreur(const AppError &error)
{
    QMessageBox::warning(m_fenetre, QStringLiteral("La LUMA – Gestion"), error.description());
}
