#include "platform/ownership.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool takeOwnershipOf(int fd, const struct stat &original)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return false;
    mode_t mode = original.st_mode & 0777;
    // Owner and group before the mode: a change of owner may clear bits.
    const bool root = ::geteuid() == 0;
    bool given = now.st_gid == original.st_gid && (!root || now.st_uid == original.st_uid);
    if (!given && root)
        given = ::fchown(fd, original.st_uid, original.st_gid) == 0;
    if (!given)
        given = ::fchown(fd, uid_t(-1), original.st_gid) == 0;
    if (::fstat(fd, &now) != 0)
        return false;
    if (now.st_gid != original.st_gid)
        mode &= ~mode_t(070);
    return ::fchmod(fd, mode) == 0;
}

bool takeOwnershipOf(const QString &nativePath, const struct stat &original)
{
    const int fd = ::open(QFile::encodeName(nativePath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool done = takeOwnershipOf(fd, original);
    const int error = errno;
    ::close(fd);
    errno = error;
    return done;
}
