// The kiosk on a data folder whose databases are on a PostgreSQL server: the
// cursors find what they find on the files, loans and returns are saved and
// journaled across kiosks of several folders, a dead kiosk's entry is written
// once, and a lost connection is told and mended.

#include "errors.h"
#include "lending.h"
#include "searchrun.h"
#include "startup.h"
#include "pgdossier.h"

#include "data/pgbase.h"
#include "folder/baseini.h"
#include "folder/pretsserveur.h"
#include "lending/pret.h"

#include <QTest>

namespace {

// The rows of a record source, each field as the screens read it.
QStringList lignes(Cursor &cursor)
{
    QStringList rows;
    cursor.refresh();
    for (; !cursor.eof(); cursor.moveNext()) {
        QStringList row;
        for (const QString &field : cursor.fieldNames())
            row << field + '=' + cursor.field(field);
        rows << row.join('|');
    }
    return rows;
}

} // namespace

class TestServeur : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_serveur = std::make_unique<PgServeur>();
        LUMA_SERVEUR_PG_REQUIS(m_serveur);
    }

    void memesLignes_data()
    {
        QTest::addColumn<QString>("fichier");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("condition");
        QTest::newRow("catalogue") << "LUMA.MDB" << "SELECT * FROM luma ORDER BY inventaire ASC"
                                   << "emprunt like 'O' AND inventaire like '00012'";
        // Past the keys the server gives first.
        QTest::newRow("catalogue, far") << "LUMA.MDB" << "SELECT * FROM luma ORDER BY titre DESC, inventaire"
                                        << "inventaire like '10003'";
        QTest::newRow("word search")
            << "LUMA.MDB"
            << "SELECT * FROM luma WHERE (titre LIKE '*LOUP*' OR motsclés LIKE '*LOUP*') AND (dewey LIKE '8*') "
               "ORDER BY inventaire ASC"
            << "inventaire like '00042'";
        QTest::newRow("a child's loan")
            << "LUMA.MDB" << "luma"
            << "emprunt like 'O' AND catégorieemprunteur like 'école' AND emprunteur like '12' AND emprunté like 'O'";
        QTest::newRow("class") << "ALTEMARE.MDB"
                               << "SELECT * FROM enfants WHERE classe = '01' ORDER BY nomenfant, prénomenfant"
                               << "matricule like '12'";
        QTest::newRow("classes") << "ALTEMARE.MDB"
                                 << "SELECT équipenuméro, équipeinstituteur FROM équipe ORDER BY équipenuméro ASC"
                                 << "équipeinstituteur like 'm. dubois'";
        QTest::newRow("descriptors") << "COTATION.MDB" << "SELECT descripteur FROM [luma+] ORDER BY descripteur ASC"
                                     << "descripteur like 'Loup'";
        QTest::newRow("grouped") << "LUMA.MDB" << "SELECT dewey, Count(*) AS n FROM luma GROUP BY dewey"
                                 << "n = 2 AND dewey > '8'";
    }

    // Each record source and find of the kiosk gives the same rows, in the
    // same order, and finds the same row, on the files and on the server.
    void memesLignes()
    {
        QFETCH(QString, fichier);
        QFETCH(QString, source);
        QFETCH(QString, condition);
        DataFolder dossier;
        remplis(dossier);
        const QString conninfo = deplaceSurServeur(*m_serveur, QStringLiteral("lignes"), dossier);
        const QString chemin = (fichier == "ALTEMARE.MDB" ? dossier.school() : dossier.base()) + '/' + fichier;

        Cursor surFichier(source), surServeur(source);
        surFichier.setDatabaseName(chemin);
        surServeur.setServeur(serveurDuDossier(dossier.base()));
        surServeur.setDatabaseName(chemin);
        const QStringList attendu = lignes(surFichier);
        QVERIFY(attendu.size() > 1);
        QCOMPARE(lignes(surServeur), attendu);

        surFichier.moveFirst();
        surServeur.moveFirst();
        surFichier.findFirst(condition);
        surServeur.findFirst(condition);
        QVERIFY(!surFichier.noMatch());
        QCOMPARE(surServeur.noMatch(), false);
        QCOMPARE(surServeur.field(surServeur.fieldNames().front()), surFichier.field(surFichier.fieldNames().front()));
    }

    // Writes meet other programs' writes: a record changed since it was
    // shown is not overwritten, a deleted one is told, and rows are read
    // again only when another program changed the tables.
    void ecritures()
    {
        DataFolder dossier;
        remplis(dossier);
        const QString conninfo = deplaceSurServeur(*m_serveur, QStringLiteral("ecritures"), dossier);
        PgConnexion autre({QString(), conninfo});
        Cursor catalogue(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
        catalogue.setServeur(serveurDuDossier(dossier.base()));
        catalogue.setDatabaseName(dossier.catalogue());
        catalogue.refresh();
        const QHash<QString, QString> montre{{"emprunté", "N"}, {"cumul", "3"}};

        // Unchanged: saved, with what runs in the same transaction.
        bool aussi = false;
        catalogue.setField("emprunté", "O");
        QVERIFY(catalogue.updateIfUnchanged(montre, [&] { aussi = true; }));
        QVERIFY(aussi);
        QCOMPARE(catalogue.field("emprunté"), QString("O"));
        // The kiosk's own write moved no row: no second reading.
        const qint64 lectures = catalogue.readsOfTheRows();
        catalogue.refresh();
        QCOMPARE(catalogue.readsOfTheRows(), lectures);

        // Changed by another program since it was shown: nothing written.
        autre.execute("UPDATE luma.luma SET cumul = '9' WHERE inventaire = '00002'");
        catalogue.moveNext();
        QCOMPARE(catalogue.field("inventaire"), QString("00002"));
        catalogue.setField("emprunté", "O");
        QVERIFY(!catalogue.updateIfUnchanged({{"emprunté", "N"}, {"cumul", ""}}, [&] { QFAIL("not saved"); }));
        QCOMPARE(autre.execute("SELECT emprunté, cumul FROM luma.luma WHERE inventaire = '00002'"),
                 PgConnexion::Lignes({{"N", "9"}}));

        // Another program's change is seen at the next refresh.
        autre.execute("INSERT INTO luma.luma (inventaire, titre) VALUES ('00003', 'Nouveau')");
        catalogue.refresh();
        QCOMPARE(catalogue.readsOfTheRows(), lectures + 1);
        catalogue.findFirst("inventaire like '00003'");
        QVERIFY(!catalogue.noMatch());
        QCOMPARE(catalogue.field("titre"), QString("Nouveau"));

        // Gone since: told, not written elsewhere.
        autre.execute("DELETE FROM luma.luma WHERE inventaire = '00003'");
        catalogue.setField("cumul", "1");
        QCOMPARE(errorNumberOf([&] { catalogue.update(); }), int(ErrorNumber::RecordDeleted));
        QVERIFY(!catalogue.updateIfUnchanged({{"cumul", ""}}));
    }

    // Two kiosks of two data folders whose BASE.INI name one server: a loan
    // made on one is seen, and returned, on the other; each journals in its
    // own folder, and no pending entry is left.
    void pretsDeDeuxDossiers()
    {
        Lending a, b;
        a.folder.fillSmallSchool();
        const QString conninfo = deplaceSurServeur(*m_serveur, QStringLiteral("prets"), a.folder);
        b.folder.writeFile("LALUMA/BASE.INI", a.folder.readFile("LALUMA/BASE.INI"));
        demarre(a);
        demarre(b);
        PgConnexion c({QString(), conninfo});
        const auto pret = [&] {
            return c.execute("SELECT emprunté || '|' || emprunteur || '|' || coalesce(cumul, '') FROM luma.luma "
                             "WHERE inventaire = '00001'")[0][0];
        };
        const QString jour = nomJournal(a.t->clock.now());

        a.borrow(1);
        QCOMPARE(pret(), QString("O|13|4"));
        QVERIFY(a.journal(jour.chopped(4)).contains("Emprunt d'un document"));
        QVERIFY(!b.folder.exists("LALUMA/" + jour));

        bool rendre = false;
        b.openClass(0, [&] {
            b.classe().Dessin1_Click(0);
            rendre = !b.doc().Command3D5()->isHidden();
            b.doc().Command3D5_Click();
        });
        QVERIFY(rendre);
        QCOMPARE(pret(), QString("N||4"));
        QVERIFY(b.journal(jour.chopped(4)).contains("Restitution d'un document"));
        QVERIFY(!a.journal(jour.chopped(4)).contains("Restitution"));
        QCOMPARE(c.execute("SELECT count(*) FROM luma_suivi.prets_en_cours")[0][0], QString("0"));
        QVERIFY(a.t->messages.shown.isEmpty());
        QVERIFY(b.t->messages.shown.isEmpty());
    }

    // A kiosk that died between its save and its journal left its entry on
    // the server: the next loan of the same folder journals it first, once;
    // another folder's entry is left to that folder's kiosks.
    void kiosqueMort()
    {
        Lending a;
        a.folder.fillSmallSchool();
        const QString conninfo = deplaceSurServeur(*m_serveur, QStringLiteral("mort"), a.folder);
        demarre(a);
        PgConnexion c({QString(), conninfo});
        const QString jour = nomJournal(a.t->clock.now());
        a.folder.writeFile("LALUMA/" + jour, "\"avant\"\r\n\"mo");
        const QString insertion = "INSERT INTO luma_suivi.prets_en_cours (dossier, journal, taille_avant, entree) "
                                  "VALUES ($1, $2, $3, $4::bytea)";
        c.execute(insertion, {identiteDossier(a.folder.base()), jour, "9", "\"mort\"\r\n"});
        c.execute(insertion, {"/ailleurs/LALUMA", jour, "0", "\"autre\"\r\n"});

        a.borrow(2);
        const QByteArray journal = a.journal(jour.chopped(4));
        QVERIFY2(journal.startsWith("\"avant\"\r\n\"mort\"\r\n\""), journal.constData());
        QCOMPARE(journal.count("mort"), 1);
        QVERIFY(journal.contains("00002"));
        QVERIFY(!journal.contains("autre"));
        QCOMPARE(c.execute("SELECT dossier FROM luma_suivi.prets_en_cours"), PgConnexion::Lignes({{"/ailleurs/LALUMA"}}));
    }

    // A session the server ended is replaced without a word; a server that
    // cannot be reached is told in French, nothing is saved, and the next
    // loan once it is back connects again.
    void connexionPerdue()
    {
        Lending a;
        a.folder.fillSmallSchool();
        const QString conninfo = deplaceSurServeur(*m_serveur, QStringLiteral("perdue"), a.folder);
        demarre(a);
        PgConnexion c({QString(), m_serveur->conninfo()});
        const auto coupe = [&] {
            c.execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = 'perdue'");
        };
        const auto emprunte = [&](const QString &inventaire) {
            return PgConnexion({QString(), conninfo})
                .execute("SELECT emprunté FROM luma.luma WHERE inventaire = $1", {inventaire})[0][0];
        };
        coupe();
        a.borrow(1);
        QVERIFY(a.t->messages.shown.isEmpty());
        QCOMPARE(emprunte("00001"), QString("O"));

        // The child brings it back while the server cannot be reached.
        const auto rend = [&] {
            a.openClass(0, [&] {
                a.classe().Dessin1_Click(0);
                a.doc().Command3D5_Click();
            });
        };
        c.execute("ALTER DATABASE perdue ALLOW_CONNECTIONS false");
        coupe();
        rend();
        c.execute("ALTER DATABASE perdue ALLOW_CONNECTIONS true");
        QVERIFY(!a.t->messages.shown.isEmpty());
        QVERIFY(a.t->messages.shown[0].text.contains("3043"));
        QVERIFY(a.t->messages.shown[0].text.contains("serveur de base de données PostgreSQL"));
        QCOMPARE(emprunte("00001"), QString("O"));
        rend();
        QCOMPARE(emprunte("00001"), QString("N"));
    }

    // The search screens find, on the server, the documents they find on
    // the files, in the same order, through the kiosk's own screens.
    void recherches()
    {
        Search fichiers, serveur;
        for (Search *run : {&fichiers, &serveur}) {
            searchCatalogue(*run);
            TestDb::insert(run->folder.descriptors(), "luma+", {"descripteur"}, {"ours"});
            TestDb::createSchool(run->folder.schoolDb());
        }
        deplaceSurServeur(*m_serveur, QStringLiteral("recherches"), serveur.folder);
        QDir(serveur.folder.base()).remove("LUMA.MDB");
        fichiers.start();
        serveur.start();
        const auto cherche = [](Search &run) {
            QStringList trouve;
            for (const char *word : {"loup", "LOUP", "ours", "éléphant", "elephant", "[1]", "%", "_"})
                trouve << QString::fromUtf8(word) + ": " + run.searchWord(QString::fromUtf8(word)).join(' ');
            trouve << "descripteurs: " + run.listed().join(' ');
            trouve << "descripteur ours: " + run.searchDescriptor("ours").join(' ');
            run.chooseClasses({8});
            trouve << "ours en 8: " + run.searchWord("ours").join(' ');
            return trouve;
        };
        const QStringList attendu = cherche(fichiers);
        QVERIFY(attendu.contains("ours en 8: 00002 00005"));
        QCOMPARE(cherche(serveur), attendu);
        // The same boxes, "nothing found" ones included.
        const auto textes = [](Search &run) {
            QStringList t;
            for (const ShownMessage &m : run.t->messages.shown)
                t << m.text;
            return t;
        };
        QCOMPARE(textes(serveur), textes(fichiers));
    }

    // The kiosk starts on a folder whose databases are on its server (the
    // files gone), up to its main menu; a BASE.INI that cannot be used stops
    // it rather than letting it fall back on files.
    void demarrage()
    {
        DataFolder dossier;
        dossier.fillSmallSchool();
        deplaceSurServeur(*m_serveur, QStringLiteral("demarrage"), dossier);
        for (const QString &fichier : {dossier.catalogue(), dossier.descriptors(), dossier.schoolDb()})
            QVERIFY(QFile::remove(fichier));
        TestContext t;
        QVERIFY(runStartup(t, dossier.base()));
        QCOMPARE(t.context.données().Donnée2().recordCount(), 4);
        QCOMPARE(t.context.données().Donnée3().recordCount(), 1);
        QVERIFY(t.messages.shown.isEmpty());

        DataFolder refus;
        refus.fillSmallSchool();
        refus.writeFile("LALUMA/BASE.INI", "[postgresql]\r\nconninfo=host=/nonexistent password=x\r\n");
        TestContext t2;
        QVERIFY(!runStartup(t2, refus.base()));
        QVERIFY(t2.programEnd.ended > 0);
    }

private:
    // A kiosk on the folder's server, its cursors as the start-up leaves them.
    static void demarre(Lending &kiosque)
    {
        for (const char *sound : {"FERME", "EMPRUNTE", "RENDS"})
            kiosque.folder.writeFile(QStringLiteral("LALUMA/SONS/%1.WAV").arg(QLatin1String(sound)), "RIFF");
        kiosque.t = std::make_unique<TestContext>();
        kiosque.t->context.données().setServeur(serveurDuDossier(kiosque.folder.base()));
        kiosque.t->openAsStartUp(kiosque.folder);
    }

    // Enough rows for orders to differ: case, accents, numbers as text.
    static void remplis(DataFolder &dossier)
    {
        dossier.fillSmallSchool();
        TestDb::addChild(dossier.schoolDb(), "14", "martin", "Adam", "01", "MS");
        TestDb::addChild(dossier.schoolDb(), "15", "Émile", "Zoé", "01", "PS");
        TestDb::addClass(dossier.schoolDb(), "10", "Mme Zidane");
        TestDb::addDocument(dossier.catalogue(), "00007", "LOUPS et renards", "O", "O", "12", "école", "01/12/2026",
                            "2", "843.9");
        TestDb::addDocument(dossier.catalogue(), "00100", "Le petit loup", "N", "N", "", "", "", "", "590", "", "LOUP");
        for (int i = 0; i < 120; ++i)
            TestDb::addDocument(dossier.catalogue(), QString::number(10000 + i), QStringLiteral("Album %1").arg(i % 7));
        TestDb::insert(dossier.descriptors(), "luma+", {"descripteur"}, {"Éléphant"});
        TestDb::insert(dossier.descriptors(), "luma+", {"descripteur"}, {"loup"});
        TestDb::insert(dossier.descriptors(), "luma+", {"descripteur"}, {"Zèbre"});
    }

    std::unique_ptr<PgServeur> m_serveur;
};

QTEST_MAIN(TestServeur)
#include "tst_serveur.moc"
