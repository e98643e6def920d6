// Books added from a spreadsheet saved as CSV: how the file is read, which
// rows are refused and why, and that the catalogue gets all of them or none.

#include "data/database.h"
#include "datafolder.h"
#include "errors.h"
#include "gestion/dialogueimportlivres.h"
#include "gestion/importlivres.h"
#include "testdb.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

// The catalogue of the small school: 00001, 00002, 00012, 00042.
const QSet<int> kPris = {1, 2, 12, 42};

// A book as the tests compare it: "line:number|title|publisher|dewey|keywords|O".
QStringList enTexte(const QList<LivreImporte> &livres)
{
    QStringList lignes;
    for (const LivreImporte &l : livres)
        lignes << QStringLiteral("%1:%2|%3|%4|%5|%6|%7")
                      .arg(l.ligne)
                      .arg(l.inventaire, l.titre, l.editeur, l.dewey, l.motsCles,
                           l.pretable ? QStringLiteral("O") : QStringLiteral("N"));
    return lignes;
}

QList<int> lignesRefusees(const LectureLivres &lecture)
{
    QList<int> lignes;
    for (const LigneRefusee &r : lecture.refus)
        lignes << r.ligne;
    return lignes;
}

int compte(const QString &catalogue)
{
    return TestDb::scalar(catalogue, QStringLiteral("SELECT count(*) FROM luma")).toInt();
}

} // namespace

class GestionCsvTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DataFolder> m_dossier;

    LectureLivres litFichier(const QByteArray &contenu)
    {
        m_dossier->writeFile(QStringLiteral("livres.csv"), contenu);
        auto db = Database::open(m_dossier->catalogue());
        return ImportLivres::lit(m_dossier->root() + QStringLiteral("/livres.csv"), *db);
    }

    AjoutLivres ajoute(const QList<LivreImporte> &livres)
    {
        auto db = Database::open(m_dossier->catalogue());
        return ImportLivres::ajoute(*db, livres);
    }

private slots:
    // The small school's catalogue, for the tests that read or write one.
    void init()
    {
        m_dossier = std::make_unique<DataFolder>();
        m_dossier->fillSmallSchool();
    }

    void lecture_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<QStringList>("livres");
        QTest::addColumn<QStringList>("ignorees");

        // Separators, found from the header whatever the rows hold.
        QTest::newRow("points-virgules") << QByteArray("Numéro;Titre;Éditeur;Dewey;Mots-clés;Prêtable\n"
                                                       "50;Le loup;Milan;843;loup, forêt;O\n")
                                         << QStringList{"2:00050|Le loup|Milan|843|loup, forêt|O"} << QStringList();
        QTest::newRow("virgules") << QByteArray("Numéro,Titre,Dewey,Prêtable\n50,\"Pomme; poire\",843,N\n")
                                  << QStringList{"2:00050|Pomme; poire||843||N"} << QStringList();
        QTest::newRow("virgule entre guillemets dans l'en-tête")
            << QByteArray("\"Titre, complet\";Titre;Dewey\nx;Le loup;843\n") << QStringList{"2:00043|Le loup||843||O"}
            << QStringList{"Titre, complet"};
        QTest::newRow("en-tête seul") << QByteArray("Titre;Dewey\r\n") << QStringList() << QStringList();

        // Encodings: Windows-1252 (é = 0xE9), UTF-8 with a byte-order mark.
        QTest::newRow("windows-1252") << QByteArray("Titre;D\xE9wey;\xC9\x64iteur\nL'\xE9t\xE9;843;\x80\x64itions\n")
                                      << QStringList{"2:00043|L'été|€ditions|843||O"} << QStringList();
        QTest::newRow("utf-8 avec BOM") << QByteArray("\xEF\xBB\xBFTitre;Dewey\nL'été;843\n")
                                        << QStringList{"2:00043|L'été||843||O"} << QStringList();

        // Quoting and line ends.
        QTest::newRow("retour à la ligne entre guillemets, CR LF")
            << QByteArray("Titre;Dewey\r\n\"Le loup\r\net l'agneau\";843\r\nLa ferme;636\r\n")
            << QStringList{"2:00043|Le loup et l'agneau||843||O", "3:00044|La ferme||636||O"} << QStringList();
        QTest::newRow("lignes vides, tabulation, contrôle, sans fin de ligne")
            << QByteArray("Titre;Dewey\n\nLe\tloup\x01 ;843\n;\nLa ferme;636")
            << QStringList{"3:00043|Le loup||843||O", "5:00044|La ferme||636||O"} << QStringList();

        // Other names of the columns; unknown ones named, unnamed ones left alone.
        QTest::newRow("N°, cote, mots clés, emprunt")
            << QByteArray(" N° ;TITRE;Auteur;Cote;Mots clés;EMPRUNT;;Prix\n7;Le loup;X;843;loup;non;;3\n")
            << QStringList{"2:00007|Le loup||843|loup|N"} << QStringList{"Auteur", "Prix"};

        // Lendable values.
        QTest::newRow("prêtable") << QByteArray("Titre;Dewey;Prêtable\nA;1;oui\nB;1;N\nC;1;1\nD;1;0\nE;1;X\nF;1;\n")
                                  << QStringList{"2:00043|A||1||O", "3:00044|B||1||N", "4:00045|C||1||O",
                                                 "5:00046|D||1||N", "6:00047|E||1||O", "7:00048|F||1||O"}
                                  << QStringList();

        // Free numbers: after the highest of the catalogue and of the file.
        QTest::newRow("numéros donnés, libres après ceux du fichier")
            << QByteArray("Numéro;Titre;Dewey\n;A;1\n100;B;1\n;C;1\n  3 ;D;1\n000044;E;1\n")
            << QStringList{"2:00101|A||1||O", "3:00100|B||1||O", "4:00102|C||1||O", "5:00003|D||1||O", "6:00044|E||1||O"}
            << QStringList();
    }

    void lecture()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(QStringList, livres);
        QFETCH(QStringList, ignorees);
        const LectureLivres lecture = ImportLivres::analyse(contenu, kPris);
        QCOMPARE(lignesRefusees(lecture), QList<int>());
        QCOMPARE(enTexte(lecture.livres), livres);
        QCOMPARE(lecture.colonnesIgnorees, ignorees);
    }

    void refus_data()
    {
        QTest::addColumn<QByteArray>("lignes");
        QTest::addColumn<QList<int>>("refusees");
        QTest::addColumn<QString>("nomme"); // what the reason of the first refusal must name
        QTest::addColumn<int>("acceptes");

        QTest::newRow("au catalogue sans zéros") << QByteArray("00012;A;843;O\n") << QList<int>{2} << "00012" << 0;
        QTest::newRow("deux fois dans le fichier")
            << QByteArray("50;A;1;O\n51;B;1;O\n0050;C;1;O\n") << QList<int>{2, 4} << "4" << 1;
        QTest::newRow("titre vide") << QByteArray("50;  ;843;O\n") << QList<int>{2} << "titre" << 0;
        QTest::newRow("Dewey vide") << QByteArray("50;A;;O\n") << QList<int>{2} << "Dewey" << 0;
        QTest::newRow("Dewey sans chiffre") << QByteArray("50;A;R843;O\n") << QList<int>{2} << "R843" << 0;
        QTest::newRow("numéro au-delà de 99999") << QByteArray("123456;A;1;O\n") << QList<int>{2} << "123456" << 0;
        QTest::newRow("numéro pas en chiffres") << QByteArray("12a;A;1;O\n-5;B;1;O\n") << QList<int>{2, 3} << "12a"
                                                << 0;
        QTest::newRow("prêtable inconnu") << QByteArray("50;A;1;peut-être\n") << QList<int>{2} << "peut-être" << 0;
        QTest::newRow("titre de plus de 255 caractères")
            << "50;" + QByteArray(255, 'a') + ";1;O\n51;" + QByteArray(256, 'b') + ";1;O\n" << QList<int>{3} << "255" << 1;
        QTest::newRow("plus de numéro libre")
            << QByteArray("99999;A;1;O\n;B;1;O\n") << QList<int>{3} << "99999" << 1;
    }

    void refus()
    {
        QFETCH(QByteArray, lignes);
        QFETCH(QList<int>, refusees);
        QFETCH(QString, nomme);
        QFETCH(int, acceptes);
        const LectureLivres lecture = ImportLivres::analyse("Numéro;Titre;Dewey;Prêtable\n" + lignes, kPris);
        QCOMPARE(lignesRefusees(lecture), refusees);
        QVERIFY2(lecture.refus.front().raison.contains(nomme), qPrintable(lecture.refus.front().raison));
        QCOMPARE(lecture.livres.size(), acceptes);
    }

    // A file that cannot be read as a list of books is refused whole.
    void fichierRefuse_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::newRow("vide") << QByteArray();
        QTest::newRow("sans colonne de titre") << QByteArray("Numéro;Nom;Dewey\n1;Le loup;843\n");
        QByteArray trop("Titre;Dewey\n");
        for (int i = 0; i <= ImportLivres::kNumeroMax; ++i)
            trop += "a;1\n";
        QTest::newRow("plus de lignes que de numéros") << trop;
    }

    void fichierRefuse()
    {
        QFETCH(QByteArray, contenu);
        const std::optional<AppError> erreur = errorOf([&] { ImportLivres::analyse(contenu, kPris); });
        QVERIFY(erreur);
        QVERIFY(!erreur->description().isEmpty());
    }

    // The catalogue's own numbers, as odd as another tool may have left them.
    void numerosDuCatalogue()
    {
        for (const char *numero : {" 00077 ", "ABC", "123456", "7", ""})
            TestDb::addDocument(m_dossier->catalogue(), QString::fromLatin1(numero), QStringLiteral("Livre"));
        const LectureLivres lecture = litFichier("Numéro;Titre;Dewey\n77;A;1\n00007;B;1\n;C;1\n");
        QCOMPARE(lignesRefusees(lecture), (QList<int>{2, 3}));
        QCOMPARE(enTexte(lecture.livres), QStringList{"4:00078|C||1||O"});
    }

    void ajout()
    {
        const LectureLivres lecture =
            litFichier("Titre;Éditeur;Dewey;Mots-clés;Prêtable\nLe loup;Milan;843;loup;N\nLa ferme;;636;;\n");
        const AjoutLivres ajout = ajoute(lecture.livres);
        QCOMPARE(ajout.ajoutes, 2);
        const QString ligne = QStringLiteral(
            "SELECT inventaire||'|'||titre||'|'||éditeur||'|'||dewey||'|'||motsclés||'|'||emprunt||'|'||emprunté||'|'"
            "||emprunteur||'|'||catégorieemprunteur||'|'||dateemprunt||'|'||cumul FROM luma WHERE inventaire = '%1'");
        QCOMPARE(TestDb::scalar(m_dossier->catalogue(), ligne.arg("00043")),
                 QStringLiteral("00043|Le loup|Milan|843|loup|N|N||||0"));
        QCOMPARE(TestDb::scalar(m_dossier->catalogue(), ligne.arg("00044")),
                 QStringLiteral("00044|La ferme||636||O|N||||0"));
    }

    // A failure in the middle (here a trigger of the catalogue refusing the
    // second book) leaves none of them.
    void toutOuRien()
    {
        TestDb::exec(m_dossier->catalogue(), QStringLiteral("CREATE TRIGGER non BEFORE INSERT ON luma WHEN "
                                                            "NEW.titre = 'B' BEGIN SELECT RAISE(ABORT, 'non'); END"));
        const LectureLivres lecture = litFichier("Titre;Dewey\nA;1\nB;1\nC;1\n");
        QVERIFY(errorNumberOf([&] { ajoute(lecture.livres); }) != 0);
        QCOMPARE(compte(m_dossier->catalogue()), 4);
    }

    // The dialog adds what it shows; when another program took a number
    // meanwhile, it adds nothing, reads the file again and offers the rest.
    void dialogue()
    {
        m_dossier->writeFile(QStringLiteral("livres.csv"),
                             "Numéro;Titre;Dewey;Auteur\n;Le loup;843;X\n42;La ferme;636;Y\n;Les couleurs;535;Z\n");
        DialogueImportLivres dialogue(m_dossier->base());
        dialogue.chargeFichier(m_dossier->root() + QStringLiteral("/livres.csv"));
        auto *ajouter = dialogue.findChild<QPushButton *>(QStringLiteral("ajouter"));
        QCOMPARE(dialogue.findChild<QTableView *>(QStringLiteral("livres"))->model()->rowCount(), 2);
        QCOMPARE(dialogue.findChild<QTableView *>(QStringLiteral("refus"))->model()->rowCount(), 1);
        QVERIFY(ajouter->isEnabled());

        TestDb::addDocument(m_dossier->catalogue(), QStringLiteral("00044"), QStringLiteral("Venu d'ailleurs"));
        QTest::mouseClick(ajouter, Qt::LeftButton);
        QCOMPARE(compte(m_dossier->catalogue()), 5);
        QVERIFY(dialogue.findChild<QLabel *>(QStringLiteral("message"))->text().contains(QStringLiteral("00044")));
        QVERIFY(ajouter->isEnabled());

        QTest::mouseClick(ajouter, Qt::LeftButton);
        QCOMPARE(compte(m_dossier->catalogue()), 7);
        QCOMPARE(TestDb::scalar(m_dossier->catalogue(), QStringLiteral("SELECT titre FROM luma WHERE inventaire = '00046'")),
                 QStringLiteral("Les couleurs"));
        QVERIFY(!ajouter->isEnabled());
    }
};

QTEST_MAIN(GestionCsvTest)
#include "tst_gestion_csv.moc"
