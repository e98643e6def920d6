// The durable files of the data folder: locks and their deadlines, held
// files, appends that take back their own bytes, errors as the platform
// numbers them, links never followed, files shared as the catalogue.

#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/durablefile.h"

#include "errors.h"
#include "files.h"
#include "groups.h"
#include "lockholder.h"
#include "planted.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// One write of each kind the program makes in the data folder (waiting for
// another program's lock as `wait` says), or a read. Returns whether the
// write was made, or the file taken.
bool writeAs(const QString &writer, const QString &path, const LockWait &wait = {})
{
    if (writer == "append")
        return DurableFile::appendLocked(path, "x\r\n", [](const QByteArray &content) { return content.size(); }, wait);
    if (writer == "atomic replace")
        DurableFile::writeFileAtomically(path, "x");
    else if (writer == "lock")
        DurableFile::FileLock::take(path, wait);
    else if (writer == "held file")
        DurableFile::HeldFile::create(path, "x");
    else if (writer == "claim")
        return DurableFile::HeldFile::claim(path, wait).isHeld();
    else if (writer == "folder")
        DurableFile::makeFolder(path);
    else if (writer == "measure")
        DurableFile::sizeBeforeAppend(path);
    else
        DataFile::readAll(path, DataFile::kTextLimit);
    return true;
}

} // namespace

class PlatformFilesTest : public QObject
{
    Q_OBJECT

private slots:
    // An intent file is left alone while the program that wrote it lives,
    // and can be taken over once it died.
    void heldFileIsTakenOnlyFromTheDead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("A.PRET");
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                DurableFile::HeldFile held = DurableFile::HeldFile::create(path, "contenu");
                (void)!::write(ready[1], "1", 1);
                ::pause();
            } catch (...) {
            }
            ::_exit(1);
        }
        char signal = 0;
        QCOMPARE(::read(ready[0], &signal, 1), ssize_t(1));
        QVERIFY(!DurableFile::HeldFile::claim(path).isHeld());
        QVERIFY_THROWS_EXCEPTION(AppError, DurableFile::HeldFile::create(path, "autre"));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        DurableFile::HeldFile taken = DurableFile::HeldFile::claim(path);
        QVERIFY(taken.isHeld());
        QCOMPARE(taken.content(), QByteArray("contenu"));
        taken.done();
        QVERIFY(!QFile::exists(path));
    }

    // A lock another program keeps (a read lock any account can take, a
    // kiosk in its loan, a kiosk stopped in its loan) is waited for until the
    // deadline, with the wait's callback running meanwhile, then given up
    // with 3218, nothing written; a lock let go during the wait is taken.
    void lockWaitsEndAtTheirDeadline_data()
    {
        QTest::addColumn<QString>("wait");
        QTest::addColumn<int>("holder");
        QTest::addColumn<int>("releaseAfterMs");
        const std::pair<const char *, LockHolder::Kind> holders[] = {
            {"read lock", LockHolder::Kind::Read},
            {"write lock", LockHolder::Kind::Write},
            {"stopped holder", LockHolder::Kind::Stopped},
        };
        for (const char *wait : {"lock", "claim", "append"}) {
            for (const auto &[name, kind] : holders)
                QTest::addRow("%s, %s", wait, name) << wait << int(kind) << 0;
            QTest::addRow("%s, let go during the wait", wait) << wait << int(LockHolder::Kind::Write) << 150;
        }
    }
    void lockWaitsEndAtTheirDeadline()
    {
        QFETCH(QString, wait);
        QFETCH(int, holder);
        QFETCH(int, releaseAfterMs);
        QTemporaryDir dir;
        const QString path = dir.filePath("PRETS.LCK");
        QVERIFY(writeFileBytes(path, "avant\r\n"));
        LockHolder other(path, LockHolder::Kind(holder), releaseAfterMs);
        QVERIFY(other.holds());

        int waits = 0, finished = 0;
        const LockWait lockWait{std::chrono::milliseconds(300), [&] { ++waits; }, [&] { ++finished; }};
        bool held = false;
        QElapsedTimer timer;
        timer.start();
        const int error = errorNumberOf([&] { held = writeAs(wait, path, lockWait); });
        const qint64 elapsed = timer.elapsed();
        QVERIFY(waits > 0);
        QCOMPARE(finished, 1);
        const bool released = releaseAfterMs > 0;
        QCOMPARE(error, released ? 0 : ErrorNumber::OtherKioskBusy);
        QCOMPARE(held, released);
        QVERIFY2(released ? elapsed < 1000 : elapsed >= 300 && elapsed < 2000, qPrintable(QString::number(elapsed)));
        QCOMPARE(fileContents(path), QByteArray(released && wait == "append" ? "avant\r\nx\r\n" : "avant\r\n"));
    }

    // The lock file removed while a kiosk waits for it (a conversion that
    // changed nothing takes back the one it made): the lock taken must be on
    // the file at that name, or another program could take it at once.
    void lockIsOnTheFileStillThere()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("PRETS.LCK");
        auto other = std::make_unique<LockHolder>(path, LockHolder::Kind::Write);
        QVERIFY(other->holds());
        LockWait lockWait;
        lockWait.deadline = std::chrono::milliseconds(2000);
        lockWait.waiting = [&] {
            if (!other)
                return;
            QFile::remove(path);
            other.reset();
        };
        const DurableFile::FileLock lock = DurableFile::FileLock::take(path, lockWait);
        QVERIFY(!other);
        const LockHolder another(path, LockHolder::Kind::Write);
        QVERIFY(!another.holds());
    }

    // A write that fails half way (the disk full when the file grows) takes
    // back its own bytes, and only those.
    void failedAppendLeavesTheJournalAsItWas()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("26-12-05.JNL");
        QVERIFY(writeFileBytes(path, "\"a\"\r\n"));
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit limit = {10, 10};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const int error = errorNumberOf([&] {
                DurableFile::appendLocked(path, QByteArray(100, 'x'), [](const QByteArray &c) { return c.size(); });
            });
            ::_exit(error == ErrorNumber::DiskFull ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(fileContents(path), QByteArray("\"a\"\r\n"));
    }

    // The system's errors become the platform's numbers.
    void fileErrorsCarryPlatformNumbers_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("path"); // %T: a temporary folder
        QTest::addColumn<int>("error");
        for (const char *writer : {"append", "atomic replace", "lock", "held file"})
            QTest::addRow("%s, missing folder", writer) << writer << "%T/ABSENT/26-12-05.JNL" << ErrorNumber::PathNotFound;
        for (const char *writer : {"append", "lock", "held file"})
            QTest::addRow("%s, no name", writer) << writer << "" << ErrorNumber::BadFileName;
        QTest::newRow("read, missing file") << "read" << "%T/ABSENT.RQT" << ErrorNumber::FileNotFound;
        QTest::newRow("read, missing folder") << "read" << "%T/ABSENT/A.RQT" << ErrorNumber::PathNotFound;
        QTest::newRow("read, pipe") << "read" << "%T/FIFO" << 75;
        QTest::newRow("read, over the limit") << "read" << "%T/GROS.RQT" << 75;
        if (QFileInfo::exists("/dev/full"))
            QTest::newRow("append, full disk") << "append" << "/dev/full" << ErrorNumber::DiskFull;
        // A loan measures its journal before saving anything: only a file
        // (or a device) will take the entry.
        QTest::newRow("measure, pipe") << "measure" << "%T/FIFO" << 75;
        QTest::newRow("measure, folder") << "measure" << "%T" << 75;
        QTest::newRow("measure, missing file") << "measure" << "%T/26-12-05.JNL" << 0;
        QTest::newRow("measure, missing folder") << "measure" << "%T/ABSENT/26-12-05.JNL" << ErrorNumber::PathNotFound;
    }
    void fileErrorsCarryPlatformNumbers()
    {
        QFETCH(QString, writer);
        QFETCH(QString, path);
        QFETCH(int, error);
        QTemporaryDir dir;
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("FIFO")).constData(), 0666), 0);
        QVERIFY(plant(Planted::TooBigText, dir.filePath("GROS.RQT")));
        path.replace("%T", dir.path());
        QCOMPARE(errorNumberOf([&] { writeAs(writer, path); }), error);
        QVERIFY(!QFileInfo::exists(dir.filePath("ABSENT")));
    }

    // In a folder the account may not write (the administrator acts as an
    // ordinary kiosk account), nothing is written and nothing left behind.
    void readOnlyFolderIsLeftAsItWas()
    {
        QTemporaryDir dir;
        const QString locked = dir.filePath("locked");
        QVERIFY(QDir().mkpath(locked));
        QVERIFY(writeFileBytes(locked + "/COULEURS.INI", "0\r\n"));
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
        const auto writable = qScopeGuard([&] { ::chmod(QFile::encodeName(locked).constData(), 0755); });
        QCOMPARE(asAccount(65534, 65534, 65534, [&] {
                     for (const QString writer : {"append", "atomic replace", "lock", "held file", "folder"}) {
                         const QString name = writer == "atomic replace" ? "/COULEURS.INI" : "/NEW";
                         if (errorNumberOf([&] { writeAs(writer, locked + name); }) != ErrorNumber::PermissionDenied)
                             return false;
                     }
                     return true;
                 }),
                 0);
        QCOMPARE(fileContents(locked + "/COULEURS.INI"), QByteArray("0\r\n"));
        QCOMPARE(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"COULEURS.INI"});
    }

    // Whatever writes a file of the data folder refuses a link in its place
    // (even one whose target is missing), and leaves the target as it was.
    void writesNeverFollowLinks_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<bool>("dangling");
        for (const char *writer : {"append", "lock", "held file", "atomic replace", "folder"}) {
            QTest::newRow(writer) << writer << false;
            QTest::newRow(qPrintable(QString(writer) + ", dangling")) << writer << true;
        }
    }
    void writesNeverFollowLinks()
    {
        QFETCH(QString, writer);
        QFETCH(bool, dangling);
        QTemporaryDir data, elsewhere;
        const QString target = elsewhere.filePath("cible");
        const QByteArray precious("ne pas toucher\r\n");
        if (!dangling && writer == "folder")
            QVERIFY(QDir().mkpath(target));
        else if (!dangling)
            QVERIFY(writeFileBytes(target, precious));
        const QString link = data.filePath("LIEN");
        QVERIFY(QFile::link(target, link));
        const std::optional<AppError> error = errorOf([&] { writeAs(writer, link); });
        QVERIFY(error);
        // Creating a held file fails as any existing name does; the others say why.
        if (writer != "held file")
            QVERIFY2(error->description().contains("lien"), qPrintable(error->description()));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QDir(data.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"LIEN"});
        if (dangling)
            QVERIFY(!QFileInfo::exists(target));
        else if (writer == "folder")
            QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        else
            QCOMPARE(fileContents(target), precious);
    }

    // What the program creates in a data folder is shared as the catalogue
    // is: its group, its read and write bits (a folder adds search and
    // setgid), whatever the umask, and never more.
    void createdFilesAreSharedAsTheCatalogue_data()
    {
        QTest::addColumn<int>("catalogueMode");
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("folderMode");
        QTest::newRow("group may write, umask 077") << 0660 << 077 << 0660 << 02770;
        QTest::newRow("group may read, umask 0") << 0640 << 0 << 0640 << 02750;
        QTest::newRow("owner only, umask 0") << 0600 << 0 << 0600 << 02700;
        QTest::newRow("all may write, umask 022") << 0666 << 022 << 0666 << 02777;
    }
    void createdFilesAreSharedAsTheCatalogue()
    {
        QFETCH(int, catalogueMode);
        QFETCH(int, umask);
        QFETCH(int, fileMode);
        QFETCH(int, folderMode);
        QTemporaryDir temporary;
        // A folder name is joined, never read as a format.
        const QDir data(temporary.filePath("LaLuma %1 %2"));
        QVERIFY(data.mkpath("."));
        const QString catalogue = data.filePath("LUMA.MDB");
        QVERIFY(writeFileBytes(catalogue, "SQLite format 3"));
        QCOMPARE(::chmod(QFile::encodeName(catalogue).constData(), mode_t(catalogueMode)), 0);
        // As root, a group this process is not in: only an explicit change gives it.
        const gid_t group = ::geteuid() == 0 ? gid_t(4242) : ::getegid();
        if (::geteuid() == 0)
            QCOMPARE(::chown(QFile::encodeName(catalogue).constData(), uid_t(-1), group), 0);
        const mode_t previous = ::umask(mode_t(umask));
        const auto restore = qScopeGuard([&] { ::umask(previous); });

        const QString folder = data.filePath("EN-COURS");
        DurableFile::makeFolder(folder);
        DurableFile::FileLock::take(folder + "/PRETS.LCK");
        DurableFile::HeldFile held = DurableFile::HeldFile::create(folder + "/A.PRET", "x");
        writeAs("append", data.filePath("26-12-05.JNL"));
        DurableFile::writeFileAtomically(data.filePath("COULEURS.INI"), "0\r\n");
        const auto modeOf = [](const QString &path) {
            struct stat status {};
            return ::lstat(QFile::encodeName(path).constData(), &status) == 0
                       ? QPair<int, gid_t>(int(status.st_mode & 07777), status.st_gid)
                       : QPair<int, gid_t>(-1, 0);
        };
        QCOMPARE(modeOf(folder), qMakePair(folderMode, group));
        for (const QString &file : {folder + "/PRETS.LCK", folder + "/A.PRET", data.filePath("26-12-05.JNL"),
                                    data.filePath("COULEURS.INI")})
            QCOMPARE(modeOf(file), qMakePair(fileMode, group));

        // A file that exists keeps what it has, replaced or appended to.
        QCOMPARE(::chmod(QFile::encodeName(data.filePath("COULEURS.INI")).constData(), 0604), 0);
        DurableFile::writeFileAtomically(data.filePath("COULEURS.INI"), "1\r\n");
        QCOMPARE(modeOf(data.filePath("COULEURS.INI")).first, 0604);
        QCOMPARE(fileContents(data.filePath("COULEURS.INI")), QByteArray("1\r\n"));
        QCOMPARE(::chmod(QFile::encodeName(data.filePath("26-12-05.JNL")).constData(), 0604), 0);
        writeAs("append", data.filePath("26-12-05.JNL"));
        QCOMPARE(modeOf(data.filePath("26-12-05.JNL")).first, 0604);
        // No temporary file is left behind.
        QCOMPARE(data.entryList(QDir::Files | QDir::Hidden), (QStringList{"26-12-05.JNL", "COULEURS.INI", "LUMA.MDB"}));
    }

};

QTEST_MAIN(PlatformFilesTest)
#include "tst_platform_files.moc"
