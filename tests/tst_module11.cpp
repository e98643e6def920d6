// The shared module: error report, sounds, journal entries.

#include "datafolder.h"
#include "pictures.h"
#include "planted.h"
#include "testcontext.h"
#include "testdb.h"

#include "platform/textfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>

#include <unistd.h>

class Module11Test : public QObject
{
    Q_OBJECT

private slots:
    // The error report, met by a trapped step: a number with its own
    // message, whatever the description; any other number with its
    // description; the fatal ones end the program, with or without a box,
    // and no later trapped step runs; 76 is passed over.
    void errorReport_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("message"); // empty: no box
        QTest::addColumn<int>("ended");
        QTest::newRow("3022") << 3022 << "UNIQUE constraint failed"
                              << "Impossible de créer des doublons... Modifier le numéro d'inventaire !" << 0;
        QTest::newRow("3021") << 3021 << "Aucun enregistrement en cours."
                              << "L'erreur 3021 est survenue .\n(Aucun enregistrement en cours.)" << 0;
        QTest::newRow("3024") << 3024 << "LUMA.MDB introuvable" << "" << 1;
        QTest::newRow("3050") << 3050 << "" << "*" << 1; // a box, whatever it says
        QTest::newRow("76") << 76 << "" << "" << 0;
    }
    void errorReport()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(QString, message);
        TestContext t;
        t.module().trapped([&] { throw AppError(number, description); });
        QCOMPARE(t.messages.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QVERIFY(message == "*" || t.messages.shown[0].text == message);
            QCOMPARE(t.messages.shown[0].title, QStringLiteral("La LUMA - cycle 1"));
            QCOMPARE(t.messages.shown[0].icon, MsgIcon::Exclamation);
        }
        QTEST(t.programEnd.ended, "ended");
        bool ran = false;
        t.module().trapped([&] { ran = true; });
        QCOMPARE(ran, t.programEnd.ended == 0);
    }

    // The report tells the rows kept and set aside, and the files it could
    // not repair; every cursor is open again on its query, but for one on a
    // file still unreadable, which stays closed without a further box.
    void repairReportsAndOpensTheCursorsAgain()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        // Another tool made the descriptors unique after a descriptor was entered twice.
        TestDb::exec(folder.descriptors(), "CREATE INDEX d ON [luma+](descripteur); INSERT INTO [luma+] "
                                           "VALUES('animaux'), ('loup'), ('loup'), ('ferme');"
                                           "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = 'CREATE "
                                           "UNIQUE INDEX d ON [luma+](descripteur)' WHERE name = 'd';");
        const QString members = folder.base() + "/MEMBRES.MDB";
        QVERIFY(QFile::remove(members));
        folder.writeFile("LALUMA/MEMBRES.MDB", QByteArray("pas une base").repeated(100));
        TestContext t;
        Feuilleenfant &d = t.context.données();
        t.module().setCheminBase(folder.base());
        t.module().setCheminEcole(folder.school());
        d.Donnée1().setDatabaseName(folder.schoolDb());
        d.Donnée1().refresh();
        d.Donnée1().findFirst("matricule = '13'");
        d.Donnée2().setDatabaseName(folder.catalogue());
        d.Donnée2().setRecordSource("SELECT * FROM luma ORDER BY inventaire ASC");
        d.Donnée2().refresh();
        d.Donnée2().findFirst("inventaire = '00042'");
        d.Donnée4().setDatabaseName(folder.schoolDb());
        d.Donnée4().setRecordSource("SELECT équipenuméro, équipeinstituteur FROM équipe ORDER BY équipenuméro ASC");
        d.Donnée4().refresh();
        d.Donnée3().setDatabaseName(members);
        t.messages.answers = {MsgAnswer::Yes};
        t.module().GestionErreur(AppError(3049, ""));
        QCOMPARE(t.messages.shown.size(), 4);
        QCOMPARE(t.programEnd.ended, 0);

        const auto backup = [](const QString &folderPath, const QString &name) {
            const QStringList copies = QDir(folderPath).entryList({name + ".endommage*"});
            return copies.size() == 1 ? folderPath + "/" + copies[0] : QString("<%1 copies>").arg(copies.size());
        };
        QCOMPARE(t.messages.shown[2].text,
                 "ALTEMARE.MDB : 5 fiches gardées, aucune mise de côté.\n"
                 "Copie à l'identique du fichier endommagé : " + backup(folder.school(), "ALTEMARE.MDB") + "\n\n"
                 "LUMA.MDB : 4 fiches gardées, aucune mise de côté.\n"
                 "Copie à l'identique du fichier endommagé : " + backup(folder.base(), "LUMA.MDB") + "\n\n"
                 "La réparation de « MEMBRES.MDB » n'a pas abouti.\n"
                 "(La base de données « " + members + " » est trop endommagée pour être réparée : sa structure est "
                 "illisible.)\n\n"
                 "COTATION.MDB : 3 fiches gardées, 2 fiches mises de côté dans la table « luma+ réparation ».\n"
                 "Copie à l'identique du fichier endommagé : " + backup(folder.base(), "COTATION.MDB"));
        QCOMPARE(t.messages.shown[2].icon, MsgIcon::Exclamation);
        QCOMPARE(TestDb::scalar(folder.descriptors(), "SELECT group_concat(descripteur) FROM [luma+ réparation]"),
                 QStringLiteral("animaux,loup"));

        // Each on its own query, on its first record.
        QCOMPARE(QStringList({d.Etiquette3().text(), d.Etiquette4().text(), d.Etiquette18().text()}),
                 QStringList({"12", "00001", "Mme Lefèvre"}));
        QVERIFY(!d.Donnée3().isOpen());
        // Open on the repaired file: a loan saved now is in it.
        d.Etiquette6().setText("O");
        d.Donnée2().update();
        QCOMPARE(TestDb::scalar(folder.catalogue(), "SELECT emprunté FROM luma WHERE inventaire = '00001'"),
                 QStringLiteral("O"));
    }

    void soundsPlayOnlyWhenTheFileIsThere()
    {
        DataFolder folder;
        folder.writeFile("LALUMA/SONS/FERME.WAV", "RIFF");
        folder.writeFile("LALUMA/SONS/.CACHE.WAV", "RIFF");
        TestContext t;
        t.module().setCheminBase(folder.base());
        t.module().JoueSon(folder.base() + "\\SONS\\FERME.WAV");
        t.module().JoueSon(folder.base() + "\\sons\\ferme.wav"); // a folder copied from Windows keeps any case
        t.module().JoueSon(folder.base() + "\\SONS\\ABSENT.WAV");
        t.module().JoueSon(folder.base() + "\\SONS\\.CACHE.WAV");
        t.module().JoueSon(folder.base() + "\\AUCUN\\FERME.WAV");
        QCOMPARE(t.sound.played.size(), 2);
        QCOMPARE(t.sound.played[0], folder.base() + "/SONS/FERME.WAV");
        QVERIFY(t.messages.shown.isEmpty());
    }

    // What a child meets in LIVRES and SONS may be anything: a cover or a
    // sound that is no regular file of sane size, or a cover that is no
    // picture of a sane size, is skipped at once, without a box.
    void oddCoversAndSoundsAreSkippedAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "device";
        QTest::newRow("folder") << "folder";
        QTest::newRow("over 32 MB") << "big";
        QTest::newRow("PNG 20000 x 20000") << "png";
    }
    void oddCoversAndSoundsAreSkippedAtOnce()
    {
        QFETCH(QString, kind);
        DataFolder folder;
        const QString cover = folder.base() + "/LIVRES/00001.BMP", sound = folder.base() + "/SONS/FERME.WAV";
        const QMap<QString, Planted> planted{{"fifo", Planted::Fifo}, {"device", Planted::DeviceLink},
                                             {"folder", Planted::Folder}, {"big", Planted::TooBigMedia}};
        if (planted.contains(kind)) {
            QVERIFY(plant(planted[kind], cover));
            QVERIFY(plant(planted[kind], sound));
        } else {
            folder.writeFile("LALUMA/LIVRES/00001.BMP", blackPng(20000, 20000));
        }
        TestContext t;
        t.module().setCheminBase(folder.base());
        ::alarm(20); // a read that blocks ends the run rather than hanging it
        const auto noAlarm = qScopeGuard([] { ::alarm(0); });
        QElapsedTimer timer;
        timer.start();
        QVERIFY(t.module().couverture("00001", QSize(300, 400)).isNull());
        t.module().JoueSon(folder.base() + "\\SONS\\FERME.WAV");
        t.module().JoueSonOuDit(folder.base() + "\\SONS\\FERME.WAV", "Fermer");
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(t.sound.played.isEmpty());
        QVERIFY(t.messages.shown.isEmpty());
    }

    // The length of a loan in a return's entry, from its date as stored; the
    // kind is compared without regard to case.
    void journalLengthOfALoan_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QDate>("returned");
        QTest::addColumn<QString>("ending");
        QTest::newRow("same day") << "05/12/2026" << QDate(2026, 12, 5) << " -  0 jour";
        QTest::newRow("next day") << "05/12/2026" << QDate(2026, 12, 6) << " -  1 jour";
        QTest::newRow("two days") << "05/12/2026" << QDate(2026, 12, 7) << " -  2 jours";
        QTest::newRow("clock set back") << "05/12/2026" << QDate(2026, 12, 4) << " - -1 jour";
        // A date as another program may have stored it (the ways of writing
        // one are the engine's own test).
        QTest::newRow("with a time") << "05/12/2026 10:30:00" << QDate(2026, 12, 7) << " -  2 jours";
        // Never lost: the entry keeps the text as stored, without a length.
        QTest::newRow("not a date") << "le 5 décembre" << QDate(2026, 12, 7) << "le 5 décembre - restitué le 07/12/2026";
    }
    void journalLengthOfALoan()
    {
        QFETCH(QString, stored);
        QFETCH(QDate, returned);
        QFETCH(QString, ending);
        JournalValues values;
        values.dateemprunt = stored;
        const EntreeJournal entree =
            composeJournal("/srv", QDateTime(returned, QTime(23, 59)), "RESTITUTION D'UN DOCUMENT", values);
        const QString text = TextFile::decode1252(entree.octets);
        QVERIFY2(text.endsWith(ending + "\"\r\n"), qPrintable(text));
        QCOMPARE(text.count("\r\n"), 4);
    }
};

QTEST_MAIN(Module11Test)
#include "tst_module11.moc"
