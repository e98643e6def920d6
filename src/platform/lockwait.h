#pragma once

#include <QString>

#include <chrono>
#include <functional>

// A wait for a lock another program holds (another kiosk's loan, a journal
// open in another program, a database being written). It never lasts for
// ever: any account that can read a shared file can hold a lock on it. While
// it waits, `waiting` runs between two attempts (the program keeps its
// screen painted and shows the waiting pointer); past the deadline it gives
// up with AppError 3218, having written nothing.
struct LockWait
{
    static constexpr std::chrono::milliseconds kDefaultDeadline{10000};

    std::chrono::milliseconds deadline = kDefaultDeadline;
    std::function<void()> waiting;
    // Once, after a wait that called `waiting`, however it ended.
    std::function<void()> finished;
};

// Tries `attempt` until it succeeds, pausing between tries as `wait` says;
// throws AppError 3218 (naming `what`, a file) once the deadline is past.
void waitForLock(const std::function<bool()> &attempt, const LockWait &wait, const QString &what);

// The error of a wait given up.
[[noreturn]] void throwOtherKioskBusy(const QString &what);

// One wait, paused by pause() between attempts: false once the deadline is
// past. For waits whose attempts another library makes (SQLite's busy
// handler).
class LockWaiter
{
public:
    explicit LockWaiter(const LockWait &wait);
    ~LockWaiter();
    LockWaiter(const LockWaiter &) = delete;
    LockWaiter &operator=(const LockWaiter &) = delete;

    bool pause();

private:
    const LockWait &m_wait;
    std::chrono::steady_clock::time_point m_start;
    bool m_waited = false;
};
