// Saved requests: their files, the picture requests screen with its pages,
// and a request run from its file, on temporary data folders with fake
// platform services.

#include "searchrun.h"

#include "files.h"
#include "planted.h"

#include "platform/textfile.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace {

const QString kTitle = QStringLiteral(" Recherche documentaire");

// A request file of the data folder, written as given.
void writeRequest(Search &run, const QString &name, const QByteArray &bytes)
{
    run.folder.writeFile(QStringLiteral("LALUMA/REQUETES/") + name, bytes);
}

// A request file whose head finds the documents with a keyword.
void keywordRequest(Search &run, const QString &name, const QString &keyword, const QString &title,
                    const QString &sound = QStringLiteral("LOUPS.WAV"))
{
    writeRequest(run, name,
                 TextFile::encode1252(QStringLiteral("\"SELECT * FROM luma WHERE motsclés LIKE '*%1*'\",%2,.BMP,%3\r\n")
                                          .arg(keyword, title, sound)));
}

int visibleSlots(Recherche1 &screen)
{
    int shown = 0;
    for (int k = 0; k < Recherche1::kCases; ++k)
        shown += screen.Dessin1(k)->isHidden() ? 0 : 1;
    return shown;
}

// What the program writes on the standard error while the call runs.
QByteArray standardErrorOf(const std::function<void()> &call)
{
    QTemporaryFile capture;
    if (!capture.open())
        return "<no capture>";
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(capture.handle(), 2);
    call();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}

} // namespace

class RequestsTest : public QObject
{
    Q_OBJECT

private slots:
    void requestFileValues_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("values");
        const QString head = "SELECT * FROM luma WHERE dewey LIKE '5*'";
        const QStringList animals{head, "Les animaux", "LION.BMP", "LION.WAV"};
        QTest::newRow("one value per line") << QByteArray("SELECT * FROM luma WHERE dewey LIKE '5*'\r\nLes animaux\r\n"
                                                          "LION.BMP\r\nLION.WAV\r\n")
                                            << animals;
        QTest::newRow("one line, quoted") << QByteArray("\"SELECT * FROM luma WHERE dewey LIKE '5*'\",\"Les animaux\","
                                                        "\"LION.BMP\",\"LION.WAV\"\r\n")
                                          << animals;
        QTest::newRow("line feeds alone, no end") << QByteArray("SELECT * FROM luma WHERE dewey LIKE '5*'\nLes animaux\n"
                                                                 "LION.BMP\nLION.WAV")
                                                  << animals;
        QTest::newRow("blanks around unquoted values")
            << QByteArray("  SELECT * FROM luma WHERE dewey LIKE '5*'  ,\tLes animaux , LION.BMP ,LION.WAV  ") << animals;
        QTest::newRow("quoted head keeps its commas")
            << QByteArray("\"SELECT * FROM luma WHERE dewey IN ('590', '591')\",\"Lions, tigres\",.BMP,A.WAV")
            << QStringList{"SELECT * FROM luma WHERE dewey IN ('590', '591')", "Lions, tigres", ".BMP", "A.WAV"};
        QTest::newRow("a fifth value is not read")
            << QByteArray("SELECT * FROM luma WHERE dewey LIKE '5*',Les animaux,LION.BMP,LION.WAV,\"encore\r\n")
            << animals;
        QTest::newRow("empty picture") << QByteArray("SELECT * FROM luma WHERE dewey LIKE '5*'\r\nLes animaux\r\n\r\n"
                                                     "LION.WAV\r\n")
                                       << QStringList{head, "Les animaux", "", "LION.WAV"};
        QTest::newRow("Windows-1252 title") << QByteArray("x,\xC0 la ferme \x9C\x75vre,F.BMP,F.WAV")
                                            << QStringList{"x", "À la ferme œuvre", "F.BMP", "F.WAV"};
        QTest::newRow("UTF-8 title") << QByteArray("x,\xC3\x80 la ferme \xC5\x93uvre,F.BMP,F.WAV")
                                     << QStringList{"x", "À la ferme œuvre", "F.BMP", "F.WAV"};
        QTest::newRow("UTF-8 with its mark") << QByteArray("\xEF\xBB\xBFx,\xC3\x80 la ferme,F.BMP,F.WAV")
                                             << QStringList{"x", "À la ferme", "F.BMP", "F.WAV"};
    }
    void requestFileValues()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, values);
        DataFolder folder;
        folder.writeFile("LALUMA/REQUETES/A.RQT", bytes);
        const ContenuRequete read = LitRequete(folder.base() + "\\REQUETES\\A.RQT");
        QCOMPARE((QStringList{read.tete, read.titre, read.image, read.son}), values);
    }

    // The pages of 18: their count, the page buttons and the caption, forth
    // to the last page and back.
    void pages_data()
    {
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("pages");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("18") << 18 << 1;
        QTest::newRow("19") << 19 << 2;
        QTest::newRow("37") << 37 << 3;
    }
    void pages()
    {
        QFETCH(int, requests);
        QFETCH(int, pages);
        Search run;
        searchCatalogue(run);
        for (int i = 0; i < requests; ++i)
            keywordRequest(run, QStringLiteral("R%1.RQT").arg(i, 2, 10, QLatin1Char('0')), "loup",
                           QStringLiteral("Requête %1").arg(i));
        if (requests == 0)
            QDir(run.folder.base()).mkpath("REQUETES");
        run.start();
        QCOMPARE(run.t->context.requêtes().NbRequetes(), requests);
        QCOMPARE(run.t->context.requêtes().NbPages(), pages);

        Recherche1 &screen = run.requêtes();
        const auto expectPage = [&](int page) {
            const int first = (page - 1) * Recherche1::kCases;
            QCOMPARE(visibleSlots(screen), std::min(Recherche1::kCases, requests - first));
            if (requests > 0)
                QCOMPARE(screen.Etiquette1(0)->text(), QStringLiteral("Requête %1").arg(first));
            QCOMPARE(screen.Panel3D1()->text(), pages > 1 ? kTitle + " - " + QString::number(page) : kTitle);
            QCOMPARE(!screen.Command3D1()->isHidden(), page < pages);
            QCOMPARE(!screen.Command3D2()->isHidden(), page > 1);
        };
        whileOpen(screen, [&] {
            expectPage(1);
            for (int page = 2; page <= pages; ++page) {
                QTest::mouseClick(screen.Command3D1(), Qt::LeftButton);
                expectPage(page);
            }
            for (int page = pages - 1; page >= 1; --page) {
                QTest::mouseClick(screen.Command3D2(), Qt::LeftButton);
                expectPage(page);
            }
        }, [&] { QTest::mouseClick(child<Button3D>(run.recherche(), "Command3D4"), Qt::LeftButton); });
        QVERIFY(run.t->messages.shown.isEmpty());
    }

    // One bad file is reported, naming it, and skipped; the files after it are
    // still listed, in name order whatever the case of their extension.
    void badFileAmongGoodOnes()
    {
        Search run;
        searchCatalogue(run);
        keywordRequest(run, "A.RQT", "loup", "Les loups");
        writeRequest(run, "B.RQT", "SELECT * FROM luma WHERE 1 = 1\r\nSans image\r\n");
        keywordRequest(run, "c.rqt", "ours", "Les ours");
        keywordRequest(run, "D.TXT", "mer", "Pas une requête");
        keywordRequest(run, "E.Rqt", "mer", "La mer");
        run.start();
        const RequetesSauvegardees &requests = run.t->context.requêtes();
        QStringList listed;
        for (int n = 0; n < requests.NbRequetes(); ++n)
            listed << requests.requete(n).fichier + " " + requests.requete(n).titre;
        QCOMPARE(listed, QStringList({"A.RQT Les loups", "c.rqt Les ours", "E.Rqt La mer"}));
        QCOMPARE(requests.NbPages(), 1);
        QCOMPARE(run.t->messages.shown.size(), 1);
        QVERIFY2(run.t->messages.shown[0].text.contains("62") && run.t->messages.shown[0].text.contains("B.RQT"),
                 qPrintable(run.t->messages.shown[0].text));
    }

    // A request's picture and sound may sit in subfolders of IMAGES and SONS,
    // each name matched whatever its case; a name that leads outside them is
    // never used, though a real file is there. A pipe in their place (other
    // odd files: tst_platform) is no picture and no sound either: the title
    // is said, no box for the child, one line for the teacher on the
    // standard error however often it is met.
    void requestPicturesAndSounds_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<bool>("used");
        QTest::addColumn<int>("planted"); // -1: none
        QTest::newRow("subfolder") << "ANIMAUX\\CHAT.BMP" << "ANIMAUX\\MIAOU.WAV" << true << -1;
        QTest::newRow("subfolder, other case") << "animaux\\chat.bmp" << "Animaux/Miaou.wav" << true << -1;
        QTest::newRow("parent") << "..\\DEHORS.BMP" << "..\\LUMA.MDB" << false << -1;
        QTest::newRow("down, then out") << "ANIMAUX\\..\\..\\DEHORS.BMP" << "ANIMAUX\\..\\..\\LUMA.MDB" << false << -1;
        QTest::newRow("absolute") << "%B/DEHORS.BMP" << "%B/LUMA.MDB" << false << -1;
        QTest::newRow("drive") << "C:%B\\DEHORS.BMP" << "C:%B\\LUMA.MDB" << false << -1;
        QTest::newRow("fifo") << "P.BMP" << "P.WAV" << false << int(Planted::Fifo);
    }
    void requestPicturesAndSounds()
    {
        QFETCH(QString, picture);
        QFETCH(QString, sound);
        QFETCH(bool, used);
        QFETCH(int, planted);
        Search run;
        searchCatalogue(run);
        picture.replace("%B", run.folder.base());
        sound.replace("%B", run.folder.base());
        writeBmp(run.folder.base() + "/IMAGES/Animaux/Chat.BMP");
        writeBmp(run.folder.base() + "/DEHORS.BMP");
        run.folder.writeFile("LALUMA/SONS/ANIMAUX/miaou.WAV", "RIFF");
        if (planted >= 0) {
            QVERIFY(plant(Planted(planted), run.folder.base() + "/IMAGES/" + picture));
            QVERIFY(plant(Planted(planted), run.folder.base() + "/SONS/" + sound));
        }
        writeRequest(run, "A.RQT",
                     "\"SELECT * FROM luma WHERE motsclés LIKE '*loup*'\",Les loups," + picture.toUtf8() + "," +
                         sound.toUtf8() + "\r\n");
        ::alarm(20); // a read that blocks ends the run rather than hanging it
        const auto noAlarm = qScopeGuard([] { ::alarm(0); });
        QElapsedTimer timer;
        timer.start();
        QStringList shownPictures;
        const QByteArray told = standardErrorOf([&] {
            run.start();
            Recherche1 &screen = run.requêtes();
            for (int twice = 0; twice < 2; ++twice) {
                whileOpen(screen, [&] {
                    shownPictures << screen.Dessin1(0)->picture().source();
                    run.documentsShown([&] { QTest::mouseDClick(screen.Dessin1(0), Qt::LeftButton); });
                }, [&] { run.recherche().Command3D4_Click(); });
            }
        });
        QVERIFY(timer.elapsed() < 5000);
        const QString chat = used ? QDir(run.folder.base()).filePath("IMAGES/Animaux/Chat.BMP") : QString();
        QCOMPARE(shownPictures, QStringList({chat, chat}));
        const QString miaou = QDir(run.folder.base()).filePath("SONS/ANIMAUX/miaou.WAV");
        QCOMPARE(run.t->sound.played, used ? QStringList({miaou, miaou}) : QStringList());
        QCOMPARE(run.t->speech.said, used ? QStringList() : QStringList({"Les loups", "Les loups"}));
        QVERIFY(run.t->messages.shown.isEmpty());
        if (planted < 0)
            return;
        for (const QString &name : {picture, sound}) {
            qsizetype lines = 0;
            for (const QByteArray &line : told.split('\n'))
                lines += line.contains(name.toUtf8()) ? 1 : 0;
            QCOMPARE(lines, 1);
        }
    }

    // A request runs from its file as it stands at the touch: its sound, its
    // head within the chosen classes, and its documents on the display.
    void runningARequest()
    {
        Search run;
        searchCatalogue(run);
        keywordRequest(run, "LOUPS.RQT", "loup", "Les loups");
        keywordRequest(run, "MER.RQT", "mer", "La mer", "MER.WAV");
        keywordRequest(run, "RIEN.RQT", "dragon", "Les dragons", "../../FERME.WAV");
        run.folder.writeFile("LALUMA/SONS/LOUPS.WAV", "RIFF");
        run.folder.writeFile("LALUMA/SONS/NOUVEAU.WAV", "RIFF");
        writeBmp(run.folder.base() + "/IMAGES/LOUP.BMP");
        run.start();
        Recherche1 &screen = run.requêtes();
        const QString sons = QDir(run.folder.base()).filePath("SONS/");
        QStringList byDoubleClick, byButton, afterChange, restricted;
        bool nothingChosenAfterDisplay = false, buttonWithoutChoice = true;
        int messagesForNothing = -1;

        whileOpen(screen, [&] {
            // "chercher" with nothing chosen does nothing.
            buttonWithoutChoice = run.documentsShown([&] { screen.Command3D4_Click(); }).isEmpty();
            byDoubleClick = run.documentsShown([&] { QTest::mouseDClick(screen.Dessin1(0), Qt::LeftButton); });
            nothingChosenAfterDisplay = screen.CaseChoisie() == -1 && screen.Forme1(0)->isHidden();
            QTest::mouseClick(screen.Dessin1(1), Qt::LeftButton);
            byButton = run.documentsShown([&] { screen.Command3D4_Click(); });
            // Nothing found: said, and the pictures stay.
            QTest::mouseClick(screen.Dessin1(2), Qt::LeftButton);
            run.documentsShown([&] { screen.Command3D4_Click(); });
            messagesForNothing = int(run.t->messages.shown.size());
            // The teacher changes a request while the program runs.
            keywordRequest(run, "LOUPS.RQT", "ours", "Les loups", "NOUVEAU.WAV");
            QTest::mouseClick(screen.Dessin1(0), Qt::LeftButton);
            afterChange = run.documentsShown([&] { screen.Command3D4_Click(); });
        }, [&] { run.recherche().Command3D4_Click(); });

        QVERIFY(buttonWithoutChoice);
        QCOMPARE(byDoubleClick, QStringList({"00001", "00003"}));
        QVERIFY(nothingChosenAfterDisplay);
        QCOMPARE(byButton, QStringList({"00004"}));
        QCOMPARE(messagesForNothing, 1);
        QCOMPARE(run.t->messages.shown[0].text, kNothingFound);
        QCOMPARE(afterChange, QStringList({"00002", "00005"}));
        QCOMPARE(screen.Dessin1(0)->picture().source(), QString()); // its picture is ".BMP"
        // Only the sounds that exist in SONS, never a path outside it.
        QCOMPARE(run.t->sound.played, QStringList({sons + "LOUPS.WAV", sons + "NOUVEAU.WAV"}));
        // A request without a recorded sound of its own says its title.
        QCOMPARE(run.t->speech.said, QStringList({"La mer", "Les dragons"}));

        // With a class marked, a request finds only that class.
        keywordRequest(run, "LOUPS.RQT", "loup", "Les loups");
        run.chooseClasses({5});
        whileOpen(screen, [&] {
            restricted = run.documentsShown([&] { QTest::mouseDClick(screen.Dessin1(0), Qt::LeftButton); });
        }, [&] { run.recherche().Command3D4_Click(); });
        QCOMPARE(restricted, QStringList{"00003"});
        QCOMPARE(run.catalogue().recordSource(),
                 QString("SELECT * FROM luma WHERE motsclés LIKE '*loup*' AND (dewey LIKE '5*') ORDER BY inventaire ASC"));
    }

    // A request that asks too much is stopped (a join of ten catalogues
    // cannot reach the screen with its class condition, which names "dewey"
    // alone: tight limits stand in for it), a request file removed after the
    // start or a head that does more than read is refused: reported through
    // the error report, no display, the catalogue not changed by a byte, and
    // the screen stays usable: the next request runs. (Which heads the engine
    // refuses is its own test's.)
    void refusedRuns_data()
    {
        QTest::addColumn<QByteArray>("head"); // empty: the file removed
        QTest::addColumn<QString>("told");    // in the report, besides the number
        QTest::newRow("stopped by its limits") << QByteArray("SELECT * FROM luma WHERE motsclés LIKE '*ours*'")
                                               << "3035 arrêtée";
        QTest::newRow("file removed") << QByteArray() << "";
        QTest::newRow("two statements") << QByteArray("SELECT * FROM luma WHERE 1 = 1; DELETE FROM luma WHERE 1 = 1")
                                        << "";
        QTest::newRow("deep nesting") << "SELECT * FROM luma WHERE " + QByteArray(20000, '(') + "1 = 1" +
                                             QByteArray(20000, ')')
                                      << "";
    }
    void refusedRuns()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, told);
        Search run;
        searchCatalogue(run);
        TestDb::exec(run.folder.catalogue(),
                     "WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                     "INSERT INTO luma(inventaire, titre, dewey, motsclés) SELECT printf('%05d', i), 'Titre', '843', "
                     "'ours' FROM n");
        writeRequest(run, "A.RQT", "\"" + head + "\",Titre,.BMP,R.WAV");
        keywordRequest(run, "LOUPS.RQT", "loup", "Les loups");
        run.start();
        if (head.isEmpty())
            QVERIFY(QFile::remove(run.folder.base() + "/REQUETES/A.RQT"));
        const QByteArray before = fileHash(run.folder.catalogue());
        Recherche1 &screen = run.requêtes();
        QStringList shown{"not run"}, next;
        whileOpen(screen, [&] {
            run.catalogue().setQueryLimits(QueryLimits{QueryLimits::kMilliseconds, 500, QueryLimits::kResultBytes});
            shown = run.documentsShown([&] { QTest::mouseDClick(screen.Dessin1(0), Qt::LeftButton); });
            run.catalogue().setQueryLimits(QueryLimits{});
            next = run.documentsShown([&] { QTest::mouseDClick(screen.Dessin1(1), Qt::LeftButton); });
        }, [&] { run.recherche().Command3D4_Click(); });
        QCOMPARE(shown, QStringList());
        QCOMPARE(run.t->messages.shown.size(), 1);
        const ShownMessage &report = run.t->messages.shown.first();
        QCOMPARE(report.title, QStringLiteral("La LUMA - cycle 1"));
        for (const QString &word : told.split(' ', Qt::SkipEmptyParts))
            QVERIFY2(report.text.contains(word), qPrintable(report.text));
        QCOMPARE(fileHash(run.folder.catalogue()), before);
        QCOMPARE(next, QStringList({"00001", "00003"}));
        QVERIFY(!run.t->pointer.busy);
        QCOMPARE(run.t->programEnd.ended, 0);
    }
};

QTEST_MAIN(RequestsTest)
#include "tst_requests.moc"
