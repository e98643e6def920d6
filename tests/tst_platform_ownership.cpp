// A file put in place of another gets what decides who may use it, never more.

#include "platform/ownership.h"

#include "groups.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>

class OwnershipTest : public QObject
{
    Q_OBJECT

private slots:
    // As an ordinary account (the administrator steps down to "nobody"), a
    // new file is given what the original has; the original's group is the
    // account's own, or one it is not in.
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
        const QByteArray name = QFile::encodeName(folder.filePath("nouveau"));

        QCOMPARE(asAccount(65534, 65534, 65534, [&] {
                     const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR, 0600);
                     struct stat original {};
                     original.st_mode = S_IFREG | mode_t(originalMode);
                     original.st_uid = 4321;
                     original.st_gid = ownGroup ? ::getegid() : 4321;
                     struct stat after {};
                     // A foreign group is never taken.
                     return fd >= 0 && takeOwnershipOf(fd, original) && ::fstat(fd, &after) == 0 &&
                            int(after.st_mode & 07777) == expectedMode && after.st_gid == ::getegid();
                 }),
                 0);
    }
};

QTEST_GUILESS_MAIN(OwnershipTest)
#include "tst_platform_ownership.moc"
