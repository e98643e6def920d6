// The subject words as the teachers' program counts and changes them, held
// against the kiosk's own search.

#include "errors.h"
#include "searchrun.h"

#include "gestion/bibliotheque.h"

#include <QtTest>

namespace {

struct ContexteMots : ContextePrets
{
    explicit ContexteMots(QString base) : base(std::move(base)) {}
    const QString &CheminBase() const override { return base; }
    LockWait attenteVerrou() override { return {}; }
    void GestionErreur(const AppError &) override {}
    bool programEnded() const override { return false; }
    QString base;
};

struct Mots
{
    explicit Mots(const DataFolder &f) : contexte(f.base()), bibliotheque(contexte, {f.base(), f.school()}) {}
    MotSujet mot(const QString &m)
    {
        for (const MotSujet &s : bibliotheque.motsSujets())
            if (s.mot == m)
                return s;
        qFatal("no word %s", qPrintable(m));
    }
    ContexteMots contexte;
    Bibliotheque bibliotheque;
};

QString descripteurs(const DataFolder &f)
{
    return TestDb::scalar(f.descriptors(), "SELECT group_concat(descripteur, '/') FROM (SELECT descripteur FROM [luma+] ORDER BY rowid)");
}

} // namespace

class TestGestionMots : public QObject
{
    Q_OBJECT

private slots:
    void countsAsTheKioskFinds_data()
    {
        QTest::addColumn<QString>("mot");
        QTest::newRow("inside another word") << "loup";
        QTest::newRow("case") << "Ours";
        QTest::newRow("case of an accented letter") << "Éléphant";
        QTest::newRow("wildcard from an older list") << "ch?t";
        QTest::newRow("accent") << "forêt";
        QTest::newRow("apostrophe") << "l'ours";
        QTest::newRow("bracket") << "[1]";
        QTest::newRow("none") << "dinosaure";
    }
    void countsAsTheKioskFinds()
    {
        QFETCH(QString, mot);
        Search run;
        searchCatalogue(run);
        const QString file = run.folder.catalogue();
        addDocument(file, "00011", "Les loups", "599", "");
        addDocument(file, "00012", "La FORÊT", "577", "");
        addDocument(file, "00013", "Une foret sans accent", "577", "foret");
        addDocument(file, "00014", "Trois ours", "", "Ours, ourse");
        for (const char *m : {"Ours", "Éléphant", "ch?t", "forêt", "l'ours", "[1]", "dinosaure", " loup "})
            TestDb::insert(run.folder.descriptors(), "luma+", {"descripteur"}, {QString::fromUtf8(m)});
        run.start();
        Mots g(run.folder);
        const MotSujet compte = g.mot(mot);
        QCOMPARE(compte.livres, run.searchDescriptor(mot).size());
        if (mot == "loup")
            QCOMPARE(compte.lignes.size(), 2); // "loup" and " loup ": one word
    }

    void changesTheList_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("mot");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("autrePoste"); // SQL run meanwhile
        QTest::addColumn<int>("erreur");
        QTest::addColumn<QString>("apres");
        const QString tel = " loup /ours/loup/forêt";
        QTest::newRow("add") << "ajoute" << "" << " chat " << "" << 0 << tel + "/chat";
        QTest::newRow("add empty") << "ajoute" << "" << "  " << "" << 3317 << tel;
        QTest::newRow("add twice, case aside") << "ajoute" << "" << "LOUP" << "" << 3317 << tel;
        QTest::newRow("add a wildcard") << "ajoute" << "" << "ch*t" << "" << 3317 << tel;
        QTest::newRow("add two lines") << "ajoute" << "" << "deux\nlignes" << "" << 3317 << tel;
        QTest::newRow("rename every row") << "renomme" << "loup" << "Loup" << "" << 0 << "Loup/ours/Loup/forêt";
        QTest::newRow("rename onto another") << "renomme" << "ours" << "Forêt" << "" << 3317 << tel;
        QTest::newRow("rename changed meanwhile")
            << "renomme" << "ours" << "ourson" << "UPDATE [luma+] SET descripteur = 'ourse' WHERE descripteur = 'ours'"
            << 3197 << " loup /ourse/loup/forêt";
        QTest::newRow("rename removed meanwhile") << "renomme" << "ours" << "ourson"
                                                  << "DELETE FROM [luma+] WHERE descripteur = 'ours'" << 3167
                                                  << " loup /loup/forêt";
        QTest::newRow("remove every row") << "supprime" << "loup" << "" << "" << 0 << "ours/forêt";
        QTest::newRow("remove changed meanwhile") << "supprime" << "loup" << ""
                                                  << "UPDATE [luma+] SET descripteur = 'loups' WHERE rowid = 3" << 3197
                                                  << " loup /ours/loups/forêt";
    }
    void changesTheList()
    {
        QFETCH(QString, action);
        QFETCH(QString, mot);
        QFETCH(QString, texte);
        QFETCH(QString, autrePoste);
        DataFolder f;
        TestDb::createCatalogue(f.catalogue());
        TestDb::createDescriptors(f.descriptors());
        for (const char *m : {" loup ", "ours", "loup", "forêt"})
            TestDb::insert(f.descriptors(), "luma+", {"descripteur"}, {QString::fromUtf8(m)});
        Mots g(f);
        const MotSujet avant = mot.isEmpty() ? MotSujet() : g.mot(mot);
        if (!autrePoste.isEmpty())
            TestDb::exec(f.descriptors(), autrePoste);
        const int n = errorNumberOf([&] {
            if (action == "ajoute")
                g.bibliotheque.ajouteMotSujet(texte);
            else if (action == "renomme")
                g.bibliotheque.renommeMotSujet(avant, texte);
            else
                g.bibliotheque.supprimeMotSujet(avant);
        });
        QTEST(n, "erreur");
        QTEST(descripteurs(f), "apres");
    }

    void replacesInKeywords_data()
    {
        QTest::addColumn<QString>("motscles"); // "<null>" for none
        QTest::addColumn<QString>("autrePoste"); // SQL on the book, run between reading and writing
        QTest::addColumn<int>("changes");
        QTest::addColumn<QString>("apres"); // titre|motsclés|emprunté|emprunteur
        QTest::newRow("one word") << "conte, loup" << "" << 1 << "Le loup|conte, renard|N|";
        QTest::newRow("whole words, case aside")
            << "Loup, loups, louve, grand-LOUP" << "" << 1 << "Le loup|renard, loups, louve, grand-renard|N|";
        QTest::newRow("accented letter after it") << "forêt, loupé" << "" << 0 << "Le loup|forêt, loupé|N|";
        QTest::newRow("lent meanwhile") << "loup" << "SET emprunté = 'O', emprunteur = '12'" << 1 << "Le loup|renard|O|12";
        QTest::newRow("keywords changed meanwhile") << "loup" << "SET motsclés = 'mer, LOUP'" << 1 << "Le loup|mer, renard|N|";
        QTest::newRow("title only") << "<null>" << "" << 0 << "Le loup|<null>|N|";
    }
    void replacesInKeywords()
    {
        QFETCH(QString, motscles);
        QFETCH(QString, autrePoste);
        DataFolder f;
        TestDb::createCatalogue(f.catalogue());
        TestDb::insert(f.catalogue(), "luma", {"inventaire", "titre", "motsclés", "emprunt", "emprunté"},
                       {"00001", "Le loup", motscles == "<null>" ? QVariant() : motscles, "O", "N"});
        Mots g(f);
        const int avant = g.bibliotheque.livresAvecMotCle("loup");
        g.bibliotheque.setAvantEcriture([&] {
            if (!autrePoste.isEmpty())
                TestDb::exec(f.catalogue(), "UPDATE luma " + autrePoste);
        });
        const int changes = g.bibliotheque.remplaceMotCle("loup", "renard");
        QTEST(changes, "changes");
        QCOMPARE(avant, changes);
        QTEST(TestDb::scalar(f.catalogue(), "SELECT titre || '|' || coalesce(motsclés, '<null>') || '|' || emprunté || '|' "
                                            "|| coalesce(emprunteur, '') FROM luma"),
              "apres");
    }
};

QTEST_MAIN(TestGestionMots)
#include "tst_gestion_mots.moc"
