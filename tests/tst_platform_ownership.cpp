// A file put in place of another gets what decides who may use it, never more.

#include "data/repair.h"
#include "platform/ownership.h"

#include "groups.h"
#include "testdb.h"

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

    // A database repaired by one of the school's kiosk accounts (its owner,
    // or another account of the group it is shared with) keeps its mode and
    // its group, whatever that account's umask: every kiosk can still open it.
    void repairedFileKeepsItsMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("byOwner");
        QTest::addColumn<int>("umask");
        QTest::newRow("0664, by its owner, umask 022") << 0664 << true << 022;
        QTest::newRow("0664, by another account of its group") << 0664 << false << 022;
        QTest::newRow("0660, by another account of its group, umask 077") << 0660 << false << 077;
        QTest::newRow("0644, by its owner, umask 077") << 0644 << true << 077;
    }

    void repairedFileKeepsItsMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, byOwner);
        QFETCH(int, umask);
        if (::geteuid() != 0)
            QSKIP("Needs the administrator to act as two kiosk accounts.");
        constexpr uid_t kKiosk = 65534, kOtherKiosk = 4321;
        constexpr gid_t kSchool = 4242;
        QTemporaryDir folder;
        QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
        const QString file = folder.filePath("LUMA.MDB");
        TestDb::createCatalogue(file);
        TestDb::addDocument(file, "00001", "Le loup");
        const QByteArray name = QFile::encodeName(file);
        QCOMPARE(::chown(name.constData(), byOwner ? kKiosk : kOtherKiosk, kSchool), 0);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);

        QCOMPARE(asAccount(kKiosk, kKiosk, kSchool, [&] {
                     ::umask(mode_t(umask));
                     RepairDatabase(file);
                     struct stat after {};
                     return ::stat(name.constData(), &after) == 0 && int(after.st_mode & 07777) == mode &&
                            after.st_gid == kSchool;
                 }),
                 0);
        QCOMPARE(TestDb::scalar(file, "SELECT titre FROM luma"), QString("Le loup"));
    }
};

QTEST_GUILESS_MAIN(OwnershipTest)
#include "tst_platform_ownership.moc"
