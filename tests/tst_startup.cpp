// Start-up, main menu and the error report's fatal cases, run on temporary
// data folders with fake platform services.

#include "datafolder.h"
#include "files.h"
#include "planted.h"
#include "screens.h"
#include "startup.h"
#include "testcontext.h"
#include "testdb.h"

#include "kiosk/feuillechoix.h"
#include "kiosk/presentation.h"
#include "platform/folderclock.h"
#include "lending/feuilleecole.h"
#include "search/feuilledescripteurs.h"
#include "search/requetes.h"

#include <QApplication>
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
        QVERIFY(runStartup(t, folder.base(), [] { QVERIFY(!visibleTopLevel(QStringLiteral("présentation"))); }));
        QCOMPARE(t.programEnd.ended, 0);
        QVERIFY(t.messages.shown.isEmpty());
        QCOMPARE(t.module().CheminBase(), folder.base());
        QCOMPARE(t.module().CheminEcole(), folder.school());

        // Fifteen places: class 16 has none.
        Feuilleécole &école = t.context.FeuilleÉcole();
        QStringList classes;
        for (int i = 0; i < 15; ++i)
            classes << (école.Dessin1(i)->isVisibleTo(&école) ? école.Etiquette2(i)->text() : QString());
        QCOMPARE(classes, QStringList({"Mme Lefèvre", "M. Remplaçant", "", "", "", "", "", "", "", "", "", "", "",
                                       "", "Mme Quinze"}));

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
    }

    // Where the school folder is found, from the folder the kiosk starts in:
    // beside a data folder named in any case, or the data folder itself; and
    // a folder copied from Windows, every name in another case, is read as it
    // is, nothing created under the usual spelling.
    void schoolFolderIsFound_data()
    {
        QTest::addColumn<QString>("dataFolder");
        QTest::addColumn<QString>("schoolFolder");
        QTest::newRow("lower-case data folder") << "laluma" << "ALTEMARE";
        QTest::newRow("no school folder") << "DONNEES" << "DONNEES";
        QTest::newRow("copied from Windows") << "LALUMA" << "Altemare";
    }
    void schoolFolderIsFound()
    {
        QFETCH(QString, dataFolder);
        QFETCH(QString, schoolFolder);
        DataFolder folder;
        folder.fillSmallSchool();
        const QString base = folder.root() + "/" + dataFolder;
        if (dataFolder == "LALUMA") {
            writeBmp(folder.school() + "/classe01.bmp");
            QVERIFY(QFile::rename(folder.catalogue(), folder.base() + "/luma.mdb"));
            QVERIFY(QFile::rename(folder.descriptors(), folder.base() + "/Cotation.Mdb"));
            QVERIFY(QFile::rename(folder.schoolDb(), folder.school() + "/altemare.mdb"));
        } else if (dataFolder == "DONNEES") {
            QVERIFY(QFile::rename(folder.schoolDb(), folder.base() + "/ALTEMARE.MDB"));
        }
        QVERIFY(dataFolder == "LALUMA" || QDir(folder.root()).rename("LALUMA", dataFolder));
        QVERIFY(schoolFolder != "Altemare" || QDir(folder.root()).rename("ALTEMARE", schoolFolder));
        TestContext t;
        QVERIFY(runStartup(t, base));
        QVERIFY(t.messages.shown.isEmpty());
        QCOMPARE(t.module().CheminEcole(), folder.root() + "/" + schoolFolder);
        QCOMPARE(t.context.données().Donnée2().field("titre"), QStringLiteral("Le loup"));
        if (dataFolder == "LALUMA") {
            QVERIFY(!t.context.FeuilleÉcole().Dessin1(0)->picture().isNull());
            QVERIFY(!QFile::exists(base + "/LUMA.MDB"));
        }
    }

    // A school with no child or no class is told so; a missing database ends
    // the start silently and is not created; an Access catalogue is told
    // with the command that converts it, and the menu comes. Nothing is
    // written but the colours.
    void startRefused_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QString>("told"); // in the first message; empty: none
        QTest::addColumn<bool>("menu");
        QTest::newRow("no child") << "child" << "Aucune fiche d'enfant" << false;
        QTest::newRow("no class") << "class" << "Aucune classe" << false;
        QTest::newRow("catalogue") << "LALUMA/LUMA.MDB" << QString() << false;
        QTest::newRow("descriptors") << "LALUMA/COTATION.MDB" << QString() << false;
        QTest::newRow("Access catalogue") << "Access" << "\nluma-import %1)" << true;
    }
    void startRefused()
    {
        QFETCH(QString, missing);
        QFETCH(QString, told);
        QFETCH(bool, menu);
        DataFolder folder;
        if (missing == "Access") {
            folder.fillSmallSchool();
            QByteArray access(8192, '\0');
            access.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
            folder.writeFile("LALUMA/LUMA.MDB", access);
        } else if (missing.endsWith(".MDB")) {
            folder.fillSmallSchool();
            QVERIFY(QFile::remove(folder.root() + "/" + missing));
        } else {
            TestDb::createSchool(folder.schoolDb());
            if (missing == "class")
                TestDb::addChild(folder.schoolDb(), "1", "A", "B", "01");
            TestDb::createCatalogue(folder.catalogue());
            TestDb::createDescriptors(folder.descriptors());
        }
        const FileTree before = fileTree(folder.root());
        TestContext t;
        QCOMPARE(runStartup(t, folder.base()), menu);
        QCOMPARE(t.programEnd.ended, menu ? 0 : 1);
        QCOMPARE(t.messages.shown.isEmpty(), told.isEmpty());
        if (!told.isEmpty())
            QVERIFY2(t.messages.shown[0].text.contains(told.arg(folder.base())), qPrintable(t.messages.shown[0].text));
        QFile::remove(folder.base() + "/COULEURS.INI");
        COMPARE_TREES(fileTree(folder.root()), before);
    }

    // A damaged catalogue at start: the repair is offered; refused, the
    // program ends and the file is left as it is; accepted, the readable rows
    // are kept, the damaged file is copied aside and the start goes on.
    void damagedCatalogue_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("repair refused") << int(MsgAnswer::No);
        QTest::newRow("repaired") << int(MsgAnswer::Yes);
    }
    void damagedCatalogue()
    {
        QFETCH(int, answer);
        DataFolder folder;
        folder.fillSmallSchool();
        QFile::remove(folder.catalogue());
        const int rows = makeDamagedCatalogue(folder.catalogue());
        const QByteArray damaged = fileHash(folder.catalogue());
        TestContext t;
        t.messages.answers = {answer};
        const bool repaired = answer == MsgAnswer::Yes;
        QCOMPARE(runStartup(t, folder.base()), repaired);
        QCOMPARE(t.programEnd.ended, repaired ? 0 : 1);
        QCOMPARE(t.messages.shown.size(), repaired ? 4 : 2);
        QVERIFY(t.messages.shown[0].text.startsWith("Certains fichiers sont endommagés"));
        QCOMPARE(t.messages.shown[1].buttons, MsgButtons::YesNo);
        if (!repaired) {
            QCOMPARE(fileHash(folder.catalogue()), damaged);
            return;
        }
        QCOMPARE(t.messages.shown[3].text, t.messages.shown[0].text); // told once more after the repair
        const QStringList backups = QDir(folder.base()).entryList({"LUMA.MDB.endommage*"});
        QCOMPARE(backups.size(), 1);
        QCOMPARE(fileHash(folder.base() + "/" + backups[0]), damaged);
        const int kept = TestDb::scalar(folder.catalogue(), "SELECT count(*) FROM luma").toInt();
        QVERIFY2(kept > rows - 100 && kept < rows, qPrintable(QString::number(kept)));
        QCOMPARE(TestDb::scalar(folder.catalogue(), "PRAGMA integrity_check"), QStringLiteral("ok"));
        // The catalogue opened again after the repair, on its working query.
        QCOMPARE(t.context.données().Donnée2().field("inventaire"), QStringLiteral("00001"));
    }

    void malformedColourFileIsReportedAndStartGoesOn_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("error"); // reported, 0: none
        QTest::addColumn<int>("redOfClass2");
        QTest::addColumn<int>("redOfClass9");
        QByteArray all;
        for (int i = 0; i < 30; ++i)
            all += QByteArray::number(i + 1) + ",";
        QTest::newRow("commas on one line") << all << 0 << 7 << 28;
        QTest::newRow("not a number") << QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\nrouge\r\n") << 13 << 7 << 0;
        QTest::newRow("fewer than 30") << QByteArray("1,2,3,4,5,6,7,8,9\r\n") << 62 << 7 << 0;
        QTest::newRow("beyond 16 bits") << QByteArray("1,2,3,4,5,6,70000\r\n") << 6 << 0 << 0;
    }
    void malformedColourFileIsReportedAndStartGoesOn()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, error);
        QFETCH(int, redOfClass2);
        QFETCH(int, redOfClass9);
        DataFolder folder;
        folder.fillSmallSchool();
        folder.writeFile("LALUMA/COULEURS.INI", content);
        TestContext t;
        QVERIFY(runStartup(t, folder.base()));
        QCOMPARE(t.messages.shown.size(), error ? 1 : 0);
        if (error)
            QVERIFY(t.messages.shown[0].text.startsWith(QStringLiteral("L'erreur %1 est survenue").arg(error)));
        QCOMPARE(int(t.module().Rouge(2)), redOfClass2);
        QCOMPARE(int(t.module().Rouge(9)), redOfClass9);
        QCOMPARE(folder.readFile("LALUMA/COULEURS.INI"), content); // never rewritten
    }

    // Odd files under every name the start reads (a request, the colour
    // file, a class picture) and under a cover, a sound and a request
    // picture: the start finishes at once; the request and the colour file
    // are each reported once, the colour file is left as it is (a folder in
    // its place cannot be written) and the classes get their usual colours.
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

    // Journals are named by the date: a kiosk whose clock is far from the
    // data folder's server says so once, with both dates, and starts.
    void wrongClockIsToldOnce_data()
    {
        QTest::addColumn<qint64>("offset"); // of this computer's clock, seconds
        QTest::addColumn<bool>("told");
        QTest::newRow("two days behind") << qint64(-2 * 86400) << true;
        QTest::newRow("thirteen hours ahead") << qint64(13 * 3600) << true;
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
        QVERIFY2(box.text.contains("Cet ordinateur : le " + t.clock.current.toString("dd/MM/yyyy")), qPrintable(box.text));
        QVERIFY2(box.text.contains("Le serveur : le " + server.toString("dd/MM/yyyy")), qPrintable(box.text));
        QVERIFY(box.text.contains("journaux"));
    }

    // The main menu: its loudspeakers only speak (a missing sound is
    // silence), the title band gives the about box, and the door asks
    // before the program ends.
    void mainMenu()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        folder.writeFile("LALUMA/SONS/EMP_REST.WAV", "RIFF");
        folder.writeFile("LALUMA/SONS/QUITTE.WAV", "RIFF");
        TestContext t;
        QVERIFY(runStartup(t, folder.base(), [&] {
            Feuillechoix &menu = t.context.FeuilleChoix();
            QTest::mouseClick(menu.findChild<QWidget *>("Picture1"), Qt::LeftButton);
            QTest::mouseClick(menu.findChild<QWidget *>("Picture2"), Qt::LeftButton); // no CHERCHE.WAV
            QCOMPARE(t.sound.played.size(), 1);
            QVERIFY(t.sound.played[0].endsWith("SONS/EMP_REST.WAV"));
            QVERIFY(t.messages.shown.isEmpty());
            QTest::mouseDClick(menu.findChild<QWidget *>("Panel3D1"), Qt::LeftButton);
            QCOMPARE(t.messages.shown.size(), 1); // the about box

            t.messages.answers = {MsgAnswer::No};
            QTest::mouseClick(menu.findChild<QWidget *>("Command3D3"), Qt::LeftButton);
            QCOMPARE(t.programEnd.ended, 0);
            QVERIFY(menu.isVisible());
            QCOMPARE(t.messages.shown.last().buttons, MsgButtons::YesNo);
            QVERIFY(t.sound.played.last().endsWith("SONS/QUITTE.WAV"));
            t.messages.answers = {MsgAnswer::Yes};
            menu.Command3D3_Click();
            QCOMPARE(t.programEnd.ended, 1);
        }));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
