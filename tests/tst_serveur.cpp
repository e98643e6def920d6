// The kiosk on a data folder whose databases are on a PostgreSQL server: the
// cursors find what they find on the files, loans and returns are saved and
// journaled across kiosks of several folders, a dead kiosk's entry is written
// once, and a lost connection is told and mended.

#include "lending.h"
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

private:
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
        TestDb::insert(dossier.descriptors(), "luma+", {"descripteur"}, {"Éléphant"});
        TestDb::insert(dossier.descriptors(), "luma+", {"descripteur"}, {"loup"});
        TestDb::insert(dossier.descriptors(), "luma+", {"descripteur"}, {"Zèbre"});
    }

    std::unique_ptr<PgServeur> m_serveur;
};

QTEST_MAIN(TestServeur)
#include "tst_serveur.moc"
