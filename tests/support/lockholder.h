#pragma once

// Header only. Another program that holds a lock of a whole file: a child
// process (POSIX record locks belong to a process, so a second descriptor of
// this one would not do) that takes the lock and keeps it until it is killed.

#include <QFile>
#include <QString>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

class LockHolder
{
public:
    enum class Kind {
        Read,    // a read lock, as any account that can read the file can take
        Write,   // another kiosk in the middle of its loan
        Stopped, // a kiosk stopped (SIGSTOP) while it held the lock
    };

    // The child lets the lock go after `releaseAfterMs` (0: only when killed).
    LockHolder(const QString &path, Kind kind, int releaseAfterMs = 0)
    {
        const QByteArray name = QFile::encodeName(path);
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls in the child of a threaded program.
            ::close(ready[0]);
            const int fd = ::open(name.constData(), kind == Kind::Read ? O_RDONLY : O_RDWR | O_CREAT, 0666);
            struct flock lock {};
            lock.l_type = kind == Kind::Read ? F_RDLCK : F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            if (releaseAfterMs > 0) {
                ::usleep(useconds_t(releaseAfterMs) * 1000);
                ::_exit(0);
            }
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char ok = '0';
        if (pid > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1') {
            m_pid = pid;
            if (kind == Kind::Stopped)
                ::kill(pid, SIGSTOP);
        } else if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(ready[0]);
    }
    ~LockHolder() { release(); }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

    bool holds() const { return m_pid > 0; }
    void release()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    // Whether another program could take the exclusive lock of the file now.
    static bool freeForAnother(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(name.constData(), O_RDWR);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            ::_exit(fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
        }
        int status = 0;
        return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t m_pid = -1;
};
