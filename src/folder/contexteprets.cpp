#include "folder/contexteprets.h"

#include "folder/descriptionerreur.h"

bool ErreursDifferees::essaie(const std::function<void()> &step)
{
    if (m_module.programEnded())
        return false;
    try {
        step();
        return true;
    } catch (const AppError &error) {
        m_erreurs.push_back(error);
    } catch (const std::exception &error) {
        m_erreurs.emplace_back(51, descriptionErreur(51) + QStringLiteral(" : ") + QString::fromLocal8Bit(error.what()));
    }
    return false;
}

void ErreursDifferees::signale()
{
    const std::vector<AppError> erreurs = std::exchange(m_erreurs, {});
    for (const AppError &error : erreurs) {
        if (m_module.programEnded())
            break;
        m_module.GestionErreur(error);
    }
}
