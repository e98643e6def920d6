// A school starting from nothing: the folder's state, a new library and its
// undoing, and the conversion of Access files with progress.

#include "files.h"
#include "samples.h"
#include "testdb.h"

#include "gestion/conversionaccess.h"
#include "gestion/dialoguedossier.h"
#include "gestion/etatdossier.h"
#include "gestion/nouvellebibliotheque.h"
#include "platform/apperror.h"
#include "platform/sonsboutons.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>

namespace {

using Genre = EtatDossier::Genre;

// A file's tables in name order, "table(column TYPE, ...)" followed by the
// columns of its unique indexes, read with the plain SQLite API; "<null>"
// for none.
QString tablesOf(const QString &path)
{
    return TestDb::scalar(
        path, "SELECT group_concat(t, '; ') FROM (SELECT name || '(' || "
              "(SELECT group_concat(c.name || ' ' || c.type, ', ') FROM pragma_table_info(m.name) c) || ')' || "
              "coalesce(' unique ' || (SELECT group_concat(i.name) FROM pragma_index_list(m.name) l, "
              "pragma_index_info(l.name) i WHERE l.\"unique\"), '') AS t "
              "FROM sqlite_master m WHERE type = 'table' ORDER BY name)");
}

// A folder standing for the button sounds the build made: every sound of
// the list, each file its own bytes.
struct BuiltSounds
{
    QTemporaryDir dir;
    BuiltSounds()
    {
        for (const SonBouton &son : sonsBoutons())
            writeFileBytes(dir.filePath(son.fichier), "RIFF " + son.paroles.toUtf8());
    }
    OptionsCreation options() const { return {dir.path(), {}}; }
};

// The school of the conversion tests: the Access samples in place of a
// school's four databases.
void copyAccessSchool(const QString &root)
{
    const QList<std::pair<QString, QString>> files{{"ALTEMARE/ALTEMARE.MDB", "testV1997.mdb"},
                                                  {"LALUMA/LUMA.MDB", "test2V2003.mdb"},
                                                  {"LALUMA/COTATION.MDB", "testUnicodeCompV2003.mdb"},
                                                  {"LALUMA/MEMBRES.MDB", "odbcLinkerTestV2007.accdb"}};
    for (const auto &[name, sample] : files) {
        QDir().mkpath(QFileInfo(root + '/' + name).absolutePath());
        QVERIFY(QFile::copy(AccessSamples::file(sample), root + '/' + name));
        QFile(root + '/' + name).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
}

} // namespace

class TestGestionNouvelle : public QObject
{
    Q_OBJECT

private slots:
    void folderState_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("genre");
        QTest::newRow("missing") << "missing" << int(Genre::Absent);
        QTest::newRow("hidden file only") << "hidden" << int(Genre::Vide);
        QTest::newRow("new library") << "library" << int(Genre::Bibliotheque);
        QTest::newRow("catalogue in lower case") << "lowercase" << int(Genre::Bibliotheque);
        QTest::newRow("Access catalogue") << "access" << int(Genre::Access);
        QTest::newRow("Access school beside a library") << "access-school" << int(Genre::Access);
        QTest::newRow("catalogue of another program") << "garbage" << int(Genre::Autre);
        QTest::newRow("a file, not a folder") << "file" << int(Genre::Autre);
    }
    void folderState()
    {
        QFETCH(QString, setup);
        QFETCH(int, genre);
        QTemporaryDir root;
        const QString folder = root.filePath("LALUMA");
        if (setup != "missing" && setup != "file")
            QDir().mkpath(folder);
        if (setup == "hidden")
            writeFileBytes(folder + "/.cache", "x");
        if (setup == "library" || setup == "lowercase" || setup == "access-school")
            creeBibliotheque(folder, BuiltSounds().options());
        if (setup == "lowercase")
            QVERIFY(QFile::rename(folder + "/LUMA.MDB", folder + "/luma.mdb"));
        if (setup == "access" || setup == "access-school") {
            if (!AccessSamples::missing().isEmpty())
                QSKIP("no Access samples");
            const QString target = setup == "access" ? folder + "/LUMA.MDB" : root.filePath("ALTEMARE/ALTEMARE.MDB");
            QFile::remove(target);
            QVERIFY(QFile::copy(AccessSamples::file("test2V2003.mdb"), target));
        }
        if (setup == "garbage")
            writeFileBytes(folder + "/LUMA.MDB", QByteArray(4096, 'x'));
        if (setup == "file")
            writeFileBytes(folder, "x");

        const EtatDossier etat = etatDossier(folder);
        QCOMPARE(int(etat.genre), genre);
        QCOMPARE(etat.message.isEmpty(), genre != int(Genre::Autre) && genre != int(Genre::Access));
        if (setup == "access-school")
            QCOMPARE(etat.ecole, root.filePath("ALTEMARE"));
    }

    // Exactly the tables and columns of the Windows program's files, the
    // folders, and the button sounds copied.
    void newLibraryHoldsItsTables()
    {
        QTemporaryDir root;
        BuiltSounds sounds;
        const ResultatCreation result = creeBibliotheque(root.filePath("LALUMA"), sounds.options());
        QVERIFY(result.gardes.isEmpty());
        QVERIFY(result.sonsManquants.isEmpty());
        QCOMPARE(result.ecole, root.filePath("ALTEMARE"));

        QCOMPARE(tablesOf(root.filePath("ALTEMARE/ALTEMARE.MDB")),
                 "enfants(matricule TEXT, nomenfant TEXT, prénomenfant TEXT, classe TEXT, niveau TEXT); "
                 "équipe(équipenuméro TEXT, équipeinstituteur TEXT)");
        QCOMPARE(tablesOf(root.filePath("LALUMA/LUMA.MDB")),
                 "luma(inventaire TEXT, titre TEXT, éditeur TEXT, dewey TEXT, motsclés TEXT, emprunt TEXT, "
                 "emprunté TEXT, emprunteur TEXT, catégorieemprunteur TEXT, dateemprunt TEXT, cumul TEXT) "
                 "unique inventaire");
        QCOMPARE(tablesOf(root.filePath("LALUMA/COTATION.MDB")), "luma+(descripteur TEXT)");
        QCOMPARE(tablesOf(root.filePath("LALUMA/MEMBRES.MDB")), "<null>");
        QCOMPARE(fileContents(root.filePath("LALUMA/MEMBRES.MDB")).left(16), QByteArray("SQLite format 3\0", 16));
        // Without subject words the kiosk does not start.
        QVERIFY(TestDb::scalar(root.filePath("LALUMA/COTATION.MDB"), "SELECT count(*) FROM [luma+]").toInt() > 0);

        FileTree expected{{"ALTEMARE", "folder"}, {"LALUMA", "folder"}};
        for (const char *name : {"ALTEMARE/ALTEMARE.MDB", "LALUMA/LUMA.MDB", "LALUMA/COTATION.MDB", "LALUMA/MEMBRES.MDB"})
            expected[name] = fileHash(root.filePath(name));
        for (const char *name : {"SONS", "LIVRES", "IMAGES", "REQUETES"})
            expected[QStringLiteral("LALUMA/") + name] = "folder";
        for (const SonBouton &son : sonsBoutons())
            expected["LALUMA/SONS/" + son.fichier] = fileHash(sounds.dir.filePath(son.fichier));
        COMPARE_TREES(fileTree(root.path()), expected);
        QCOMPARE(result.crees.size(), qsizetype(expected.size()));
    }

    // What is there is kept and used: a second creation, a school folder
    // with its database, a catalogue, a sound of the school's own.
    void existingFilesAreKept_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("created twice") << "library";
        QTest::newRow("school folder with its database") << "school";
        QTest::newRow("catalogue and a sound") << "catalogue";
    }
    void existingFilesAreKept()
    {
        QFETCH(QString, before);
        QTemporaryDir root;
        BuiltSounds sounds;
        const QString base = root.filePath("LALUMA");
        QDir().mkpath(base + "/sons");
        if (before == "library") {
            creeBibliotheque(base, sounds.options());
            TestDb::addClass(root.filePath("ALTEMARE/ALTEMARE.MDB"), "1", "Mme Une");
            TestDb::addDocument(base + "/LUMA.MDB", "00001", "Le loup");
            TestDb::exec(base + "/MEMBRES.MDB", "CREATE TABLE membres(numéro TEXT)");
        } else if (before == "school") {
            // In another case, as copied from Windows.
            QDir().mkpath(root.filePath("Altemare"));
            TestDb::createSchool(root.filePath("Altemare/altemare.mdb"));
            TestDb::addClass(root.filePath("Altemare/altemare.mdb"), "1", "Mme Une");
        } else {
            TestDb::createCatalogue(base + "/luma.mdb");
            TestDb::addDocument(base + "/luma.mdb", "00001", "Le loup");
        }
        const QString sound = base + (before == "library" ? "/sons/FERME.WAV" : "/sons/ferme.wav");
        writeFileBytes(sound, "the school's own");
        const FileTree kept = fileTree(root.path());

        const ResultatCreation result = creeBibliotheque(base, sounds.options());
        const FileTree after = fileTree(root.path());
        for (const auto &[path, state] : kept)
            QVERIFY2(after.at(path) == state, qPrintable(path));
        QVERIFY(result.gardes.contains(sound));
        QCOMPARE(result.crees.isEmpty(), before == "library");
        if (before == "school") {
            QCOMPARE(result.ecole, root.filePath("Altemare"));
            QVERIFY(!QFileInfo::exists(root.filePath("ALTEMARE")));
        }
        // Nothing made twice under another case.
        QVERIFY(!QFileInfo::exists(base + "/SONS"));
        QCOMPARE(QDir(base).entryList({"*.mdb"}, QDir::Files).size(), 3);
        QCOMPARE(etatDossier(base).genre, Genre::Bibliotheque);
    }

    // A creation that fails at any step, or on a file where a folder goes,
    // leaves the folder as it found it.
    void failedCreationLeavesNothing_data()
    {
        QTest::addColumn<int>("failingStep"); // -1: a file named SONS
        QTest::addColumn<bool>("folderExisted");
        QTemporaryDir dry;
        int steps = 0;
        creeBibliotheque(dry.filePath("LALUMA"), {BuiltSounds().dir.path(), [&](int) { ++steps; }});
        QVERIFY(steps > 10);
        QTest::newRow("SONS is a file") << -1 << true;
        for (int step = 0; step < steps; ++step) {
            QTest::addRow("step %d, new folder", step) << step << false;
            // The folder there already, there is one step fewer.
            if (step < steps - 1)
                QTest::addRow("step %d, empty folder", step) << step << true;
        }
    }
    void failedCreationLeavesNothing()
    {
        QFETCH(int, failingStep);
        QFETCH(bool, folderExisted);
        QTemporaryDir root;
        BuiltSounds sounds;
        const QString base = root.filePath("LALUMA");
        if (folderExisted)
            QDir().mkpath(base);
        if (failingStep == -1)
            writeFileBytes(base + "/SONS", "");
        const FileTree before = fileTree(root.path());
        OptionsCreation options = sounds.options();
        options.avantEtape = [&](int step) {
            if (step == failingStep)
                throw AppError(ErrorNumber::DiskFull, "plein");
        };
        try {
            creeBibliotheque(base, options);
            QFAIL("created");
        } catch (const AppError &error) {
            QCOMPARE(error.number(), failingStep == -1 ? ErrorNumber::PathNotFound : ErrorNumber::DiskFull);
        }
        COMPARE_TREES(fileTree(root.path()), before);
    }

    // Without the sounds the library is made all the same, and says so.
    void withoutSoundsTheLibrarySaysSo()
    {
        QTemporaryDir root, noSounds;
        const ResultatCreation result = creeBibliotheque(root.filePath("LALUMA"), {noSounds.path(), {}});
        QCOMPARE(result.sonsManquants.size(), sonsBoutons().size());
        QVERIFY(QDir(root.filePath("LALUMA/SONS")).isEmpty());
        ResultatCreation withSounds = result;
        withSounds.sonsManquants.clear();
        QVERIFY(result.compteRendu() != withSounds.compteRendu());
    }

    // The conversion's progress rises from each file's start to the end;
    // stopped, it changes nothing.
    void conversionProgressRisesToTheEnd_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("to the end") << false;
        QTest::newRow("stopped") << true;
    }
    void conversionProgressRisesToTheEnd()
    {
        QFETCH(bool, stopped);
        if (!conversionDisponible())
            QSKIP("built without mdbtools");
        NEED_ACCESS_SAMPLES();
        QTemporaryDir root;
        copyAccessSchool(root.path());
        const FileTree before = fileTree(root.path());
        QCOMPARE(etatDossier(root.filePath("LALUMA")).genre, Genre::Access);

        QList<int> values;
        QStringList fileStarts;
        std::atomic_bool stop = false;
        const ResultatConversion result = convertitDossier(
            root.filePath("LALUMA"),
            [&](int perMille, const QString &step) {
                values << perMille;
                if (step.endsWith(".MDB") && !step.contains(' '))
                    fileStarts << QStringLiteral("%1 %2").arg(step).arg(perMille);
                if (stopped && values.size() == 4)
                    stop = true;
            },
            &stop);
        QCOMPARE(result.reussie, !stopped);
        QVERIFY(!result.message.isEmpty());
        if (stopped) {
            COMPARE_TREES(fileTree(root.path()), before);
            return;
        }
        QVERIFY2(std::is_sorted(values.begin(), values.end()), qPrintable(QString::number(values.size())));
        QCOMPARE(values.last(), 1000);
        QCOMPARE(fileStarts, QStringList({"ALTEMARE.MDB 0", "LUMA.MDB 250", "COTATION.MDB 500", "MEMBRES.MDB 750"}));
        // Inside a file of four tables too, not only from one file to the next.
        QVERIFY(std::count_if(values.begin(), values.end(), [](int v) { return v > 0 && v < 250; }) >= 3);
        QCOMPARE(etatDossier(root.filePath("LALUMA")).genre, Genre::Bibliotheque);
    }

    // Off the window's thread, under its progress dialog; the outcome is
    // told in a message box, then the folder is a library.
    void conversionUnderItsDialog()
    {
        if (!conversionDisponible())
            QSKIP("built without mdbtools");
        NEED_ACCESS_SAMPLES();
        QTemporaryDir root;
        copyAccessSchool(root.path());
        QWidget window;
        window.show();
        QMessageBox::Icon told = QMessageBox::NoIcon;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                told = box->icon();
                box->accept();
            }
        });
        poll.start(0);
        QVERIFY(convertitAvecProgression(root.filePath("LALUMA"), &window));
        QCOMPARE(told, QMessageBox::Information);
        QCOMPARE(etatDossier(root.filePath("LALUMA")).genre, Genre::Bibliotheque);
    }

    // The dialog offers what fits the folder.
    void dialogOffersWhatFits_data()
    {
        QTest::addColumn<int>("genre");
        QTest::addColumn<bool>("create");
        QTest::addColumn<bool>("convert");
        QTest::newRow("missing") << int(Genre::Absent) << true << false;
        QTest::newRow("Access") << int(Genre::Access) << false << conversionDisponible();
        QTest::newRow("refused") << int(Genre::Autre) << false << false;
    }
    void dialogOffersWhatFits()
    {
        QFETCH(int, genre);
        QFETCH(bool, create);
        QFETCH(bool, convert);
        EtatDossier etat;
        etat.genre = Genre(genre);
        etat.dossier = "/école/LALUMA";
        etat.message = "/école/LALUMA/LUMA.MDB";
        DialogueDossier dialog(etat);
        QCOMPARE(dialog.bouton(DialogueDossier::Choix::Creer) != nullptr, create);
        QCOMPARE(dialog.bouton(DialogueDossier::Choix::Convertir) != nullptr, convert);
        QPushButton *offered = dialog.bouton(create    ? DialogueDossier::Choix::Creer
                                             : convert ? DialogueDossier::Choix::Convertir
                                                       : DialogueDossier::Choix::AutreDossier);
        QVERIFY(offered && offered->isDefault());
        offered->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.bouton(dialog.choix()), offered);
    }
};

QTEST_MAIN(TestGestionNouvelle)
#include "tst_gestion_nouvelle.moc"
