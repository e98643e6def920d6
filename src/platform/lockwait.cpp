#include "platform/lockwait.h"

#include "platform/apperror.h"

#include <QFileInfo>

#include <thread>

namespace {

// Short enough that the lock is taken soon after it goes, long enough that
// a waiting kiosk costs nothing.
constexpr std::chrono::milliseconds kPause{20};

} // namespace

void throwOtherKioskBusy(const QString &what)
{
    const QString name = QFileInfo(what).fileName();
    throw AppError(ErrorNumber::OtherKioskBusy,
                   QStringLiteral("Un autre poste est occupé (le fichier « %1 » est en cours d'utilisation) : rien "
                                  "n'a été enregistré. Réessayez dans un moment.")
                       .arg(name.isEmpty() ? what : name));
}

LockWaiter::LockWaiter(const LockWait &wait) : m_wait(wait), m_start(std::chrono::steady_clock::now()) {}

LockWaiter::~LockWaiter()
{
    if (m_waited && m_wait.finished)
        m_wait.finished();
}

bool LockWaiter::pause()
{
    if (std::chrono::steady_clock::now() - m_start >= m_wait.deadline)
        return false;
    m_waited = true;
    if (m_wait.waiting)
        m_wait.waiting();
    std::this_thread::sleep_for(kPause);
    return true;
}

void waitForLock(const std::function<bool()> &attempt, const LockWait &wait, const QString &what)
{
    LockWaiter waiter(wait);
    while (!attempt()) {
        if (!waiter.pause())
            throwOtherKioskBusy(what);
    }
}
