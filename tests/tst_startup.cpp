// Start-up, main menu and the error report's fatal cases, run on temporary
// data folders with fake platform services.

#include "datafolder.h"
#include "planted.h"
#include "testcontext.h"
#include "testdb.h"

#include "kiosk/feuillechoix.h"
#include "kiosk/presentation.h"
#include "platform/folderclock.h"
#include "lending/feuilleecole.h"
#include "search/feuilledescripteurs.h"
#include "search/requetes.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <unistd.h>

namespace {

const QString kNoChild = QStringLiteral(
    "Aucune fiche d'enfant n'a été créée...\n\nL'exploitation du module Cycle 1 n'est pas possible...");
const QString kNoClass = QStringLiteral(
    "Aucune classe n'a été créée...\n\nL'exploitation du module Cycle 1 n'est pas possible...");
const QString kDamaged = QStringLiteral(
    "Certains fichiers sont endommagés ou corrompus !!!\n(...suite à une opération d'écriture incomplète...)");

QWidget *visibleTopLevel(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Runs the start-up from `folder` as the current folder. While the main menu
// is up, runs atMenu and then closes the menu. Returns whether the menu came.
bool runStartup(TestContext &t, const QString &folder, const std::function<void()> &atMenu = {})
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    QObject guard;
    bool menuShown = false;
    auto *poll = new QTimer(&guard);
    QObject::connect(poll, &QTimer::timeout, &guard, [&] {
        QWidget *menu = visibleTopLevel(QStringLiteral("Feuillechoix"));
        if (!menu)
            return;
        poll->stop();
        menuShown = true;
        if (atMenu)
            atMenu();
        menu->hide();
    });
    poll->start(0);
    t.context.Présentation();
    QDir::setCurrent(previous);
    return menuShown;
}

QByteArray sha(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// A catalogue spread over many pages, its index built after the rows so the
// table's leaf pages come first in the file; page 10 is then overwritten.
int makeDamagedCatalogue(const QString &path)
{
    TestDb::exec(path, "CREATE TABLE luma(inventaire TEXT, titre TEXT, éditeur TEXT, dewey TEXT, motsclés TEXT, "
                       "emprunt TEXT, emprunté TEXT, emprunteur TEXT, catégorieemprunteur TEXT, "
                       "dateemprunt TEXT, cumul TEXT)");
    QString sql = "BEGIN;";
    const int rows = 2000;
    for (int i = 1; i <= rows; ++i)
        sql += QStringLiteral("INSERT INTO luma VALUES('%1','Un titre assez long pour remplir les pages %1',"
                              "'Éditeur','843','mots','O','N','','','','');")
                   .arg(i, 5, 10, QLatin1Char('0'));
    sql += "COMMIT; CREATE UNIQUE INDEX inv ON luma(inventaire);";
    TestDb::exec(path, sql);
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    file.seek(9 * 4096);
    file.write(QByteArray(4096, '\xA5'));
    return rows;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void normalStartFillsClassesAndWritesColours()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        TestDb::addClass(folder.schoolDb(), "15", "Mme Quinze");
        TestDb::addClass(folder.schoolDb(), "16", "M. Seize");
        TestDb::addClass(folder.schoolDb(), "2", "M. Remplaçant"); // same number: the later one wins
        TestContext t;
        const bool menu = runStartup(t, folder.base(), [&] {
            QVERIFY(!visibleTopLevel(QStringLiteral("présentation")));
            QCOMPARE(t.context.FeuilleChoix().findChild<QLabel *>("Label1")->text(),
                     QStringLiteral("Version 32 bits du 30/11/2009"));
        });
        QVERIFY(menu);
        QCOMPARE(t.programEnd.ended, 0);
        QVERIFY(t.messages.shown.isEmpty());
        QCOMPARE(t.module().CheminBase(), folder.base());
        QCOMPARE(t.module().CheminEcole(), folder.school());

        Feuilleécole &école = t.context.FeuilleÉcole();
        QCOMPARE(école.Etiquette2(0)->text(), QStringLiteral("Mme Lefèvre"));
        QVERIFY(école.Etiquette2(0)->isVisibleTo(&école));
        QVERIFY(école.Dessin1(0)->isVisibleTo(&école));
        QCOMPARE(école.Etiquette2(1)->text(), QStringLiteral("M. Remplaçant"));
        QCOMPARE(école.Etiquette2(14)->text(), QStringLiteral("Mme Quinze"));
        QVERIFY(!école.Dessin1(2)->isVisibleTo(&école));
        for (int i = 0; i < 15; ++i)
            QVERIFY(école.Etiquette2(i)->text() != QStringLiteral("M. Seize"));

        // The catalogue is left on its working query, the colours in force.
        QCOMPARE(t.context.données().Donnée2().recordSource(), QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
        QCOMPARE(t.context.données().Donnée2().field("inventaire"), QStringLiteral("00001"));
        const QByteArray colours = folder.readFile("LALUMA/COULEURS.INI");
        QVERIFY(colours.startsWith("0\r\n0\r\n0\r\n128\r\n64\r\n0\r\n256\r\n"));
        QCOMPARE(colours.count("\r\n"), 30);
        QCOMPARE(t.module().couleurClasse(9), QColor(255, 255, 255));
        // The descriptor list is read, once, for the search screens.
        QCOMPARE(t.context.FeuilleDescripteurs().Liste1()->count(), 1);
        QCOMPARE(t.context.données().Donnée3().recordSource(),
                 QStringLiteral("SELECT descripteur FROM [luma+] ORDER BY descripteur ASC"));

        // The next start reads the file back unchanged.
        TestContext again;
        QVERIFY(runStartup(again, folder.base()));
        QCOMPARE(folder.readFile("LALUMA/COULEURS.INI"), colours);
        QCOMPARE(again.module().Rouge(4), short(256));
    }

    void schoolFolderIsFoundBesideADataFolderNamedInAnyCase()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        QVERIFY(QDir(folder.root()).rename("LALUMA", "laluma"));
        TestContext t;
        QVERIFY(runStartup(t, folder.root() + "/laluma"));
        QCOMPARE(t.module().CheminEcole(), folder.school());
    }

    void folderCopiedFromWindowsWithNamesInOtherCases()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        QImage picture(40, 50, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QVERIFY(picture.save(folder.school() + "/classe01.bmp", "BMP"));
        QVERIFY(QFile::rename(folder.catalogue(), folder.base() + "/luma.mdb"));
        QVERIFY(QFile::rename(folder.descriptors(), folder.base() + "/Cotation.Mdb"));
        QVERIFY(QFile::rename(folder.schoolDb(), folder.school() + "/altemare.mdb"));
        QVERIFY(QDir(folder.root()).rename("ALTEMARE", "Altemare"));
        TestContext t;
        QVERIFY(runStartup(t, folder.base()));
        QVERIFY(t.messages.shown.isEmpty());
        QCOMPARE(t.module().CheminEcole(), folder.root() + "/Altemare");
        QVERIFY(!t.context.FeuilleÉcole().Dessin1(0)->picture().isNull());
        QCOMPARE(t.context.données().Donnée2().field("titre"), QStringLiteral("Le loup"));
        QVERIFY(!QFile::exists(folder.base() + "/LUMA.MDB")); // nothing created under the other spelling
    }

    void schoolDatabaseInTheDataFolderWhenNoSchoolFolder()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        QVERIFY(QDir(folder.root()).rename("LALUMA", "DONNEES"));
        QVERIFY(QFile::rename(folder.schoolDb(), folder.root() + "/DONNEES/ALTEMARE.MDB"));
        TestContext t;
        QVERIFY(runStartup(t, folder.root() + "/DONNEES"));
        QCOMPARE(t.module().CheminEcole(), folder.root() + "/DONNEES");
    }

    void noChildOrNoClassRefusesToStart_data()
    {
        QTest::addColumn<bool>("children");
        QTest::addColumn<QString>("message");
        QTest::newRow("no child") << false << kNoChild;
        QTest::newRow("no class") << true << kNoClass;
    }
    void noChildOrNoClassRefusesToStart()
    {
        QFETCH(bool, children);
        QFETCH(QString, message);
        DataFolder folder;
        TestDb::createSchool(folder.schoolDb());
        if (children)
            TestDb::addChild(folder.schoolDb(), "1", "A", "B", "01");
        TestDb::createCatalogue(folder.catalogue());
        TestDb::createDescriptors(folder.descriptors());
        TestContext t;
        QVERIFY(!runStartup(t, folder.base()));
        QCOMPARE(t.programEnd.ended, 1);
        QCOMPARE(t.messages.shown.size(), 1);
        QCOMPARE(t.messages.shown[0].text, message);
        QCOMPARE(t.messages.shown[0].title, QStringLiteral("La LUMA - cycle 1"));
        QCOMPARE(t.messages.shown[0].icon, MsgIcon::Exclamation);
        QVERIFY(!folder.exists("LALUMA/COULEURS.INI"));
    }

    void missingDatabaseEndsSilentlyWithoutCreatingIt_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("catalogue") << "LALUMA/LUMA.MDB";
        QTest::newRow("descriptors") << "LALUMA/COTATION.MDB";
    }
    void missingDatabaseEndsSilentlyWithoutCreatingIt()
    {
        QFETCH(QString, file);
        DataFolder folder;
        folder.fillSmallSchool();
        QVERIFY(QFile::remove(folder.root() + "/" + file));
        TestContext t;
        QVERIFY(!runStartup(t, folder.base()));
        QCOMPARE(t.programEnd.ended, 1);
        QVERIFY(t.messages.shown.isEmpty());
        QVERIFY(!folder.exists(file));
        QVERIFY(!folder.exists("LALUMA/COULEURS.INI"));
    }

    void damagedCatalogueRefusedRepairEnds()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        QFile::remove(folder.catalogue());
        makeDamagedCatalogue(folder.catalogue());
        const QByteArray before = sha(folder.catalogue());
        TestContext t;
        t.messages.answers = {MsgAnswer::No};
        QVERIFY(!runStartup(t, folder.base()));
        QCOMPARE(t.programEnd.ended, 1);
        QCOMPARE(t.messages.shown.size(), 2);
        QCOMPARE(t.messages.shown[0].text, kDamaged);
        QCOMPARE(t.messages.shown[1].text, QStringLiteral("Voulez-vous que «La LUMA» essaie de les réparer ?"));
        QCOMPARE(t.messages.shown[1].buttons, MsgButtons::YesNo);
        QCOMPARE(sha(folder.catalogue()), before);
    }

    void damagedCatalogueRepairedKeepsReadableRowsAndABackup()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        QFile::remove(folder.catalogue());
        const int rows = makeDamagedCatalogue(folder.catalogue());
        const QByteArray damaged = sha(folder.catalogue());
        TestContext t;
        t.messages.answers = {MsgAnswer::Yes};
        QVERIFY(runStartup(t, folder.base()));
        QCOMPARE(t.programEnd.ended, 0);
        QCOMPARE(t.messages.shown.size(), 4);
        QCOMPARE(t.messages.shown[3].text, kDamaged); // told once more after the repair

        const QStringList backups = QDir(folder.base()).entryList({"LUMA.MDB.endommage*"});
        QCOMPARE(backups.size(), 1);
        QCOMPARE(sha(folder.base() + "/" + backups[0]), damaged);
        const int kept = TestDb::scalar(folder.catalogue(), "SELECT count(*) FROM luma").toInt();
        QVERIFY2(kept > rows - 100 && kept < rows, qPrintable(QString::number(kept)));
        QCOMPARE(TestDb::scalar(folder.catalogue(), "PRAGMA integrity_check"), QStringLiteral("ok"));
        // The catalogue opened again after the repair, on its working query.
        QCOMPARE(t.context.données().Donnée2().field("inventaire"), QStringLiteral("00001"));
    }

    void accessCatalogueIsToldAndLeftUntouched()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        QByteArray access(8192, '\0');
        access.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
        folder.writeFile("LALUMA/LUMA.MDB", access);
        TestContext t;
        runStartup(t, folder.base());
        QVERIFY(!t.messages.shown.isEmpty());
        QVERIFY2(t.messages.shown[0].text.contains(QStringLiteral("Access")), qPrintable(t.messages.shown[0].text));
        // The command that converts it, with this data folder.
        QVERIFY(t.messages.shown[0].text.contains(QStringLiteral("\nluma-import ") + folder.base() + ")"));
        QCOMPARE(folder.readFile("LALUMA/LUMA.MDB"), access);
    }

    void malformedColourFileIsReportedAndStartGoesOn_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("redOfClass2");
        QTest::addColumn<int>("redOfClass9");
        QByteArray all;
        for (int i = 0; i < 30; ++i)
            all += QByteArray::number(i + 1) + ",";
        QTest::newRow("commas on one line") << all << QString() << 7 << 28;
        QTest::newRow("not a number") << QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\nrouge\r\n")
                                      << QStringLiteral("L'erreur 13 est survenue .\n(Type incompatible)") << 7 << 0;
        QTest::newRow("fewer than 30") << QByteArray("1,2,3,4,5,6,7,8,9\r\n")
                                       << QStringLiteral("L'erreur 62 est survenue .\n(L'entrée dépasse la fin du fichier)")
                                       << 7 << 0;
        QTest::newRow("beyond 16 bits") << QByteArray("1,2,3,4,5,6,70000\r\n")
                                        << QStringLiteral("L'erreur 6 est survenue .\n(Dépassement de capacité)") << 0 << 0;
    }
    void malformedColourFileIsReportedAndStartGoesOn()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(int, redOfClass2);
        QFETCH(int, redOfClass9);
        DataFolder folder;
        folder.fillSmallSchool();
        folder.writeFile("LALUMA/COULEURS.INI", content);
        TestContext t;
        QVERIFY(runStartup(t, folder.base()));
        if (message.isEmpty()) {
            QVERIFY(t.messages.shown.isEmpty());
        } else {
            QCOMPARE(t.messages.shown.size(), 1);
            QCOMPARE(t.messages.shown[0].text, message);
        }
        QCOMPARE(int(t.module().Rouge(2)), redOfClass2);
        QCOMPARE(int(t.module().Rouge(9)), redOfClass9);
        QCOMPARE(folder.readFile("LALUMA/COULEURS.INI"), content); // never rewritten
    }

    // Odd files under every name the start reads (a request, the colour
    // file, a class picture) and under a cover, a sound and a request
    // picture: the start finishes at once; the request and the colour file
    // are each reported once, the colour file is left as it is and the
    // classes get their usual colours.
    void plantedFilesDoNotHoldTheStart_data()
    {
        QTest::addColumn<Planted>("kind");
        QTest::newRow("fifo") << Planted::Fifo;
        QTest::newRow("link to /dev/zero") << Planted::DeviceLink;
        QTest::newRow("folder") << Planted::Folder;
        QTest::newRow("over 64 KB") << Planted::TooBigText;
        QTest::newRow("over 32 MB") << Planted::TooBigMedia;
    }
    void plantedFilesDoNotHoldTheStart()
    {
        QFETCH(Planted, kind);
        DataFolder folder;
        folder.fillSmallSchool();
        for (const QString name : {"LALUMA/REQUETES/ZZ.RQT", "LALUMA/COULEURS.INI", "ALTEMARE/CLASSE01.BMP",
                                   "LALUMA/LIVRES/00001.BMP", "LALUMA/SONS/FERME.WAV", "LALUMA/IMAGES/X.BMP"})
            QVERIFY2(plant(kind, QFileInfo(folder.base()).path() + "/" + name), qPrintable(name));
        // The one request is a link to a regular file: that is read.
        folder.writeFile("LALUMA/A.TXT", "SELECT * FROM luma WHERE 1 = 1,Tout,X.BMP,FERME.WAV\r\n");
        QVERIFY(QFile::link(folder.base() + "/A.TXT", folder.base() + "/REQUETES/A.RQT"));
        ::alarm(20); // a start that blocks ends the run rather than hanging it
        const auto noAlarm = qScopeGuard([] { ::alarm(0); });
        QElapsedTimer timer;
        timer.start();
        TestContext t;
        QVERIFY(runStartup(t, folder.base()));
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(t.messages.shown.size(), 2);
        QVERIFY2(t.messages.shown[0].text.count("ZZ.RQT") == 1, qPrintable(t.messages.shown[0].text));
        QVERIFY2(t.messages.shown[1].text.contains("COULEURS.INI"), qPrintable(t.messages.shown[1].text));
        QCOMPARE(t.context.requêtes().NbRequetes(), 1);
        QCOMPARE(t.module().couleurClasse(2), QColor(255, 0, 0));
        QVERIFY(!QFileInfo(folder.base() + "/COULEURS.INI").isFile() ||
                QFileInfo(folder.base() + "/COULEURS.INI").size() > 64 * 1024);
        QVERIFY(t.context.FeuilleÉcole().Dessin1(0)->picture().isNull());
    }

    void unwritableColourFileIsReportedAndStartGoesOn()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        if (geteuid() == 0) {
            // Root writes anywhere: a folder in the colour file's place stands for the refusal.
            QDir(folder.base()).mkdir("COULEURS.INI");
        } else {
            QFile::setPermissions(folder.base(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        TestContext t;
        QVERIFY(runStartup(t, folder.base()));
        QFile::setPermissions(folder.base(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(t.messages.shown.size(), 1);
        QVERIFY(t.messages.shown[0].text.startsWith(QStringLiteral("Accès refusé")) ||
                t.messages.shown[0].text.startsWith(QStringLiteral("L'erreur")));
        QCOMPARE(t.module().couleurClasse(2), QColor(255, 0, 0)); // the defaults are in force
    }

    // Journals are named by the date: a kiosk whose clock is far from the
    // data folder's server says so once, with both dates, and starts.
    void wrongClockIsToldOnce_data()
    {
        QTest::addColumn<qint64>("offset"); // of this computer's clock, seconds
        QTest::addColumn<bool>("told");
        QTest::newRow("two days behind") << qint64(-2 * 86400) << true;
        QTest::newRow("two days ahead") << qint64(2 * 86400) << true;
        QTest::newRow("thirteen hours ahead") << qint64(13 * 3600) << true;
        QTest::newRow("one hour behind") << qint64(-3600) << false;
        QTest::newRow("eleven hours ahead") << qint64(11 * 3600) << false;
    }

    void wrongClockIsToldOnce()
    {
        QFETCH(qint64, offset);
        QFETCH(bool, told);
        DataFolder folder;
        folder.fillSmallSchool();
        const QStringList filesBefore = QDir(folder.base()).entryList(QDir::AllEntries | QDir::Hidden);
        TestContext t;
        t.context.setHorlogeDossier(folderClock); // the file system's own time
        const QDateTime server = QDateTime::currentDateTime();
        t.clock.current = server.addSecs(offset);

        QVERIFY(runStartup(t, folder.base()));
        QCOMPARE(t.programEnd.ended, 0);
        QCOMPARE(t.messages.shown.size(), told ? 1 : 0);
        // The file written to read the server's time is gone.
        QStringList filesAfter = QDir(folder.base()).entryList(QDir::AllEntries | QDir::Hidden);
        filesAfter.removeOne("COULEURS.INI"); // written by the first start
        QCOMPARE(filesAfter, filesBefore);
        if (!told)
            return;
        const ShownMessage &box = t.messages.shown.first();
        QCOMPARE(box.title, QStringLiteral("La LUMA - cycle 1"));
        QCOMPARE(box.buttons, MsgButtons::Ok);
        QVERIFY2(box.text.contains("Cet ordinateur : le " + t.clock.current.toString("dd/MM/yyyy")), qPrintable(box.text));
        QVERIFY2(box.text.contains("Le serveur : le " + server.toString("dd/MM/yyyy")), qPrintable(box.text));
        QVERIFY(box.text.contains("journaux"));
    }

    void mainMenuQuitQuestion()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        folder.writeFile("LALUMA/SONS/QUITTE.WAV", "RIFF");
        TestContext t;
        t.messages.answers = {MsgAnswer::No};
        QVERIFY(runStartup(t, folder.base(), [&] {
            Feuillechoix &menu = t.context.FeuilleChoix();
            QTest::mouseClick(menu.findChild<QWidget *>("Command3D3"), Qt::LeftButton);
            QCOMPARE(t.programEnd.ended, 0);
            QVERIFY(menu.isVisible());
            QCOMPARE(t.module().Reponse(), MsgAnswer::No);
            QCOMPARE(t.messages.shown.last().text, QStringLiteral("Veux-tu vraiment quitter le programme ?"));
            QCOMPARE(t.messages.shown.last().title, QStringLiteral("La LUMA - Cycle 1"));
            QCOMPARE(t.messages.shown.last().icon, MsgIcon::Question);
            QCOMPARE(t.sound.played.size(), 1);
            QVERIFY(t.sound.played[0].endsWith("SONS/QUITTE.WAV"));

            t.messages.answers = {MsgAnswer::Yes};
            menu.Command3D3_Click();
            QCOMPARE(t.programEnd.ended, 1);
        }));
    }

    void mainMenuLoudspeakersOnlySpeak()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        folder.writeFile("LALUMA/SONS/EMP_REST.WAV", "RIFF");
        TestContext t;
        QVERIFY(runStartup(t, folder.base(), [&] {
            Feuillechoix &menu = t.context.FeuilleChoix();
            QTest::mouseClick(menu.findChild<QWidget *>("Picture1"), Qt::LeftButton);
            QTest::mouseClick(menu.findChild<QWidget *>("Picture2"), Qt::LeftButton); // no CHERCHE.WAV: silence
            QCOMPARE(t.sound.played.size(), 1);
            QVERIFY(t.sound.played[0].endsWith("SONS/EMP_REST.WAV"));
            QVERIFY(t.messages.shown.isEmpty());
            QVERIFY(menu.isVisible());

            QTest::mouseDClick(menu.findChild<QWidget *>("Panel3D1"), Qt::LeftButton);
            QCOMPARE(t.messages.shown.size(), 1);
            QCOMPARE(t.messages.shown[0].icon, MsgIcon::Information);
            QCOMPARE(t.messages.shown[0].title, QStringLiteral("La LUMA - Cycle 1"));
        }));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
