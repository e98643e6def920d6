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
#include <optional>

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

    BuiltSounds m_sounds;
    std::optional<QTemporaryDir> m_root; // a new one for each test

private slots:
    void init() { m_root.emplace(); }

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
        const QString folder = m_root->filePath("LALUMA");
        if (setup != "missing" && setup != "file")
            QDir().mkpath(folder);
        if (setup == "hidden")
            writeFileBytes(folder + "/.cache", "x");
        if (setup == "library" || setup == "lowercase" || setup == "access-school")
            creeBibliotheque(folder, m_sounds.options());
        if (setup == "lowercase")
            QVERIFY(QFile::rename(folder + "/LUMA.MDB", folder + "/luma.mdb"));
        if (setup == "access" || setup == "access-school") {
            NEED_ACCESS_SAMPLES();
            const QString target = setup == "access" ? folder + "/LUMA.MDB" : m_root->filePath("ALTEMARE/ALTEMARE.MDB");
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
            QCOMPARE(etat.ecole, m_root->filePath("ALTEMARE"));
    }

    // Exactly the tables and columns of the Windows program's files, the
    // folders, and the button sounds copied.
    void newLibraryHoldsItsTables()
    {
        const ResultatCreation result = creeBibliotheque(m_root->filePath("LALUMA"), m_sounds.options());
        QVERIFY(result.gardes.isEmpty());
        QVERIFY(result.sonsManquants.isEmpty());
        QCOMPARE(result.ecole, m_root->filePath("ALTEMARE"));

        QCOMPARE(tablesOf(m_root->filePath("ALTEMARE/ALTEMARE.MDB")),
                 "enfants(matricule TEXT, nomenfant TEXT, prénomenfant TEXT, classe TEXT, niveau TEXT); "
                 "équipe(équipenuméro TEXT, équipeinstituteur TEXT)");
        QCOMPARE(tablesOf(m_root->filePath("LALUMA/LUMA.MDB")),
                 "luma(inventaire TEXT, titre TEXT, éditeur TEXT, dewey TEXT, motsclés TEXT, emprunt TEXT, "
                 "emprunté TEXT, emprunteur TEXT, catégorieemprunteur TEXT, dateemprunt TEXT, cumul TEXT) "
                 "unique inventaire");
        QCOMPARE(tablesOf(m_root->filePath("LALUMA/COTATION.MDB")), "luma+(descripteur TEXT)");
        QCOMPARE(tablesOf(m_root->filePath("LALUMA/MEMBRES.MDB")), "<null>");
        QCOMPARE(fileContents(m_root->filePath("LALUMA/MEMBRES.MDB")).left(16), QByteArray("SQLite format 3\0", 16));
        // Without subject words the kiosk does not start.
        QVERIFY(TestDb::scalar(m_root->filePath("LALUMA/COTATION.MDB"), "SELECT count(*) FROM [luma+]").toInt() > 0);

        FileTree expected{{"ALTEMARE", "folder"}, {"LALUMA", "folder"}};
        for (const char *name : {"ALTEMARE/ALTEMARE.MDB", "LALUMA/LUMA.MDB", "LALUMA/COTATION.MDB", "LALUMA/MEMBRES.MDB"})
            expected[name] = fileHash(m_root->filePath(name));
        for (const char *name : {"SONS", "LIVRES", "IMAGES", "REQUETES"})
            expected[QStringLiteral("LALUMA/") + name] = "folder";
        for (const SonBouton &son : sonsBoutons())
            expected["LALUMA/SONS/" + son.fichier] = fileHash(m_sounds.dir.filePath(son.fichier));
        // Every sound the kiosk's buttons play is one of those copied.
        for (const char *played : {"FERME.WAV", "QUITTE.WAV", "EMP_REST.WAV", "CHERCHE.WAV", "EMPRUNTE.WAV", "RENDS.WAV", "AVANT.WAV", "APRES.WAV"})
            QVERIFY2(expected.count(QStringLiteral("LALUMA/SONS/") + played), played);
        COMPARE_TREES(fileTree(m_root->path()), expected);
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
        const QString base = m_root->filePath("LALUMA");
        QDir().mkpath(base + "/sons");
        if (before == "library") {
            creeBibliotheque(base, m_sounds.options());
            TestDb::addClass(m_root->filePath("ALTEMARE/ALTEMARE.MDB"), "1", "Mme Une");
            TestDb::addDocument(base + "/LUMA.MDB", "00001", "Le loup");
            TestDb::exec(base + "/MEMBRES.MDB", "CREATE TABLE membres(numéro TEXT)");
        } else if (before == "school") {
            // In another case, as copied from Windows.
            QDir().mkpath(m_root->filePath("Altemare"));
            TestDb::createSchool(m_root->filePath("Altemare/altemare.mdb"));
            TestDb::addClass(m_root->filePath("Altemare/altemare.mdb"), "1", "Mme Une");
        } else {
            TestDb::createCatalogue(base + "/luma.mdb");
            TestDb::addDocument(base + "/luma.mdb", "00001", "Le loup");
        }
        const QString sound = base + (before == "library" ? "/sons/FERME.WAV" : "/sons/ferme.wav");
        writeFileBytes(sound, "the school's own");
        const FileTree kept = fileTree(m_root->path());

        const ResultatCreation result = creeBibliotheque(base, m_sounds.options());
        const FileTree after = fileTree(m_root->path());
        for (const auto &[path, state] : kept)
            QVERIFY2(after.at(path) == state, qPrintable(path));
        QVERIFY(result.gardes.contains(sound));
        QCOMPARE(result.crees.isEmpty(), before == "library");
        if (before == "school") {
            QCOMPARE(result.ecole, m_root->filePath("Altemare"));
            QVERIFY(!QFileInfo::exists(m_root->filePath("ALTEMARE")));
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
        creeBibliotheque(dry.filePath("LALUMA"), {m_sounds.dir.path(), [&](int) { ++steps; }});
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
        const QString base = m_root->filePath("LALUMA");
        if (folderExisted)
            QDir().mkpath(base);
        if (failingStep == -1)
            writeFileBytes(base + "/SONS", "");
        const FileTree before = fileTree(m_root->path());
        OptionsCreation options = m_sounds.options();
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
        COMPARE_TREES(fileTree(m_root->path()), before);
    }

    // Without the sounds the library is made all the same, and says so.
    void withoutSoundsTheLibrarySaysSo()
    {
        QTemporaryDir noSounds;
        const ResultatCreation result = creeBibliotheque(m_root->filePath("LALUMA"), {noSounds.path(), {}});
        QCOMPARE(result.sonsManquants.size(), sonsBoutons().size());
        QVERIFY(QDir(m_root->filePath("LALUMA/SONS")).isEmpty());
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
        copyAccessSchool(m_root->path());
        const FileTree before = fileTree(m_root->path());
        QCOMPARE(etatDossier(m_root->filePath("LALUMA")).genre, Genre::Access);

        QList<int> values;
        QStringList fileStarts;
        std::atomic_bool stop = false;
        const ResultatConversion result = convertitDossier(
            m_root->filePath("LALUMA"),
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
            COMPARE_TREES(fileTree(m_root->path()), before);
            return;
        }
        QVERIFY2(std::is_sorted(values.begin(), values.end()), qPrintable(QString::number(values.size())));
        QCOMPARE(values.last(), 1000);
        QCOMPARE(fileStarts, QStringList({"ALTEMARE.MDB 0", "LUMA.MDB 250", "COTATION.MDB 500", "MEMBRES.MDB 750"}));
        // Inside a file of four tables too, not only from one file to the next.
        QVERIFY(std::count_if(values.begin(), values.end(), [](int v) { return v > 0 && v < 250; }) >= 3);
        QCOMPARE(etatDossier(m_root->filePath("LALUMA")).genre, Genre::Bibliotheque);
    }

    // Off the window's thread, under its progress dialog; the outcome is
    // told in a message box, then the folder is a library.
    void conversionUnderItsDialog()
    {
        if (!conversionDisponible())
            QSKIP("built without mdbtools");
        NEED_ACCESS_SAMPLES();
        copyAccessSchool(m_root->path());
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
        QVERIFY(convertitAvecProgression(m_root->filePath("LALUMA"), &window));
        QCOMPARE(told, QMessageBox::Information);
        QCOMPARE(etatDossier(m_root->filePath("LALUMA")).genre, Genre::Bibliotheque);
    }

    // The dialog's main button fits the folder, and is what it answers.
    void dialogOffersWhatFits_data()
    {
        using Choix = DialogueDossier::Choix;
        QTest::addColumn<int>("genre");
        QTest::addColumn<int>("main");
        QTest::newRow("missing") << int(Genre::Absent) << int(Choix::Creer);
        QTest::newRow("Access") << int(Genre::Access) << int(conversionDisponible() ? Choix::Convertir : Choix::AutreDossier);
        QTest::newRow("refused") << int(Genre::Autre) << int(Choix::AutreDossier);
    }
    void dialogOffersWhatFits()
    {
        QFETCH(int, genre);
        QFETCH(int, main);
        EtatDossier etat;
        etat.genre = Genre(genre);
        etat.dossier = "/école/LALUMA";
        etat.message = "/école/LALUMA/LUMA.MDB";
        DialogueDossier dialog(etat);
        QCOMPARE(dialog.bouton(DialogueDossier::Choix::Creer) != nullptr, main == int(DialogueDossier::Choix::Creer));
        QPushButton *offered = dialog.bouton(DialogueDossier::Choix(main));
        QVERIFY(offered && offered->isDefault());
        offered->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.choix(), DialogueDossier::Choix(main));
    }
};

QTEST_MAIN(TestGestionNouvelle)
#include "tst_gestion_nouvelle.moc"
