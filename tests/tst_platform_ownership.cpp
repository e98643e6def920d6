// A file put in place of another gets what decides who may use it, never more.

#include "platform/ownership.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome
{
    bool done = false;
    mode_t mode = 0;
    gid_t group = 0;
    gid_t ownGroup = 0;
};

// Makes a file in `folder` as an ordinary account (the administrator's
// process steps down to "nobody" in a child) and gives it what `original`
// has; the group is the account's own when `ownGroup`, else one it is not in.
Outcome giveAsAnAccount(const QString &folder, mode_t originalMode, bool ownGroup)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        Outcome outcome;
        outcome.ownGroup = ::getegid();
        const QByteArray name = QFile::encodeName(folder + QStringLiteral("/nouveau-%1").arg(::getpid()));
        const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR, 0600);
        if (fd < 0)
            ::_exit(3);
        struct stat original {};
        original.st_mode = S_IFREG | originalMode;
        original.st_uid = 4321;
        original.st_gid = ownGroup ? ::getegid() : 4321;
        outcome.done = takeOwnershipOf(fd, original);
        struct stat after {};
        ::fstat(fd, &after);
        outcome.mode = after.st_mode & 07777;
        outcome.group = after.st_gid;
        const bool sent = ::write(channel[1], &outcome, sizeof outcome) == sizeof outcome;
        ::_exit(sent ? 0 : 4);
    }
    ::close(channel[1]);
    Outcome outcome;
    const bool received = ::read(channel[0], &outcome, sizeof outcome) == sizeof outcome;
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return outcome;
}

} // namespace

class OwnershipTest : public QObject
{
    Q_OBJECT

private slots:
    void neverMoreThanTheOriginal_data()
    {
        QTest::addColumn<int>("originalMode");
        QTest::addColumn<bool>("ownGroup");
        QTest::addColumn<int>("expectedMode");
        QTest::newRow("its own group: the mode as it was") << 0660 << true << 0660;
        QTest::newRow("a group it is not in: no group bits") << 0664 << false << 0604;
        QTest::newRow("owner alone") << 0600 << false << 0600;
        QTest::newRow("set-id and sticky bits never given") << 07770 << true << 0770;
    }

    void neverMoreThanTheOriginal()
    {
        QFETCH(int, originalMode);
        QFETCH(bool, ownGroup);
        QFETCH(int, expectedMode);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);

        const Outcome outcome = giveAsAnAccount(folder.path(), mode_t(originalMode), ownGroup);
        QVERIFY(outcome.done);
        QCOMPARE(int(outcome.mode), expectedMode);
        QCOMPARE(outcome.group, outcome.ownGroup); // a foreign group is never taken
    }
};

QTEST_GUILESS_MAIN(OwnershipTest)
#include "tst_platform_ownership.moc"
