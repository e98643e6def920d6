#pragma once

#include <QFile>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// A group a file of this process can be given other than the one its new
// files get: any as the administrator, else one of the account's other groups.
inline std::optional<gid_t> otherSettableGroup()
{
    if (::geteuid() == 0)
        return gid_t(4321);
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(count > 0 ? count : 0));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        for (gid_t g : groups)
            if (g != ::getegid())
                return g;
    return std::nullopt;
}

// Gives the file `mode` and, when `otherGroup`, a group its owner's new files
// do not get (and another owner as the administrator). Returns its status
// then, or nothing when this account has no other group to give.
inline std::optional<struct stat> giveAway(const QString &file, mode_t mode, bool otherGroup)
{
    const QByteArray name = QFile::encodeName(file);
    if (otherGroup) {
        const std::optional<gid_t> group = otherSettableGroup();
        if (!group || ::chown(name.constData(), ::geteuid() == 0 ? uid_t(4321) : uid_t(-1), *group) != 0)
            return std::nullopt;
    }
    struct stat status {};
    if (::chmod(name.constData(), mode) != 0 || ::stat(name.constData(), &status) != 0)
        return std::nullopt;
    return status;
}

// Whether the file at `file` is a new one serving the accounts `before` served.
inline bool replacedForTheSameAccounts(const QString &file, const struct stat &before)
{
    struct stat after {};
    return ::stat(QFile::encodeName(file).constData(), &after) == 0 && after.st_ino != before.st_ino &&
           (after.st_mode & 07777) == (before.st_mode & 07777) && after.st_gid == before.st_gid &&
           (::geteuid() != 0 || after.st_uid == before.st_uid);
}

// Runs `work` in a child process under another account when run as the
// administrator: `uid`, its own primary group, and `shared` as its one other
// group, as a second kiosk account of a school would be. Returns the child's
// exit code: 0 when `work` returned true.
inline int asAccount(uid_t uid, gid_t primary, gid_t shared, const std::function<bool()> &work)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 1;
        if (::geteuid() != 0 || (::setgroups(1, &shared) == 0 && ::setgid(primary) == 0 && ::setuid(uid) == 0)) {
            ::umask(022);
            try {
                code = work() ? 0 : 3;
            } catch (...) {
                code = 2;
            }
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
