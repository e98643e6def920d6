// Picture requests made by the teachers' program, read and run by the kiosk.

#include "contexteessai.h"
#include "errors.h"
#include "searchrun.h"

#include "gestion/bibliotheque.h"
#include "gestion/dialoguerequete.h"
#include "gestion/pagerequetes.h"

#include "gestion/conditionrequete.h"
#include "gestion/recherchesimages.h"
#include "platform/textfile.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QtTest>

namespace {

QStringList numeros(const ApercuRequete &apercu)
{
    QStringList n;
    for (const auto &[inventaire, titre] : apercu.premiers)
        n << inventaire;
    return n;
}

} // namespace

class TestGestionRequetes : public QObject
{
    Q_OBJECT

private slots:
    // The head built from the teacher's choices is the one written, the
    // preview finds what the kiosk's screen then shows, and the head reads
    // back as the same choices.
    void choicesAsTheKioskRunsThem_data()
    {
        QTest::addColumn<QStringList>("sujets");
        QTest::addColumn<bool>("tous");
        QTest::addColumn<QString>("mot");
        QTest::addColumn<QList<int>>("classes");
        QTest::addColumn<bool>("pretables");
        QTest::addColumn<QString>("tete");
        QTest::newRow("any word") << QStringList{"loup", "ours"} << false << QString() << QList<int>{} << false
                                  << "SELECT * FROM luma WHERE ((titre LIKE '*loup*' OR motsclés LIKE '*loup*') OR "
                                     "(titre LIKE '*ours*' OR motsclés LIKE '*ours*'))";
        QTest::newRow("all words, a class") << QStringList{"loup", "forêt"} << true << QString() << QList<int>{5} << false
                                            << "SELECT * FROM luma WHERE ((titre LIKE '*loup*' OR motsclés LIKE '*loup*') AND "
                                               "(titre LIKE '*forêt*' OR motsclés LIKE '*forêt*')) AND (dewey LIKE '5*')";
        QTest::newRow("typed word, classes") << QStringList{} << false << "l'ours" << QList<int>{8, 3} << false
                                             << "SELECT * FROM luma WHERE (titre LIKE '*l''ours*' OR motsclés LIKE "
                                                "'*l''ours*') AND (dewey LIKE '3*' OR dewey LIKE '8*')";
        QTest::newRow("lendable") << QStringList{"ours"} << false << QString() << QList<int>{} << true
                                  << "SELECT * FROM luma WHERE (titre LIKE '*ours*' OR motsclés LIKE '*ours*') AND "
                                     "(emprunt = 'O')";
    }
    void choicesAsTheKioskRunsThem()
    {
        QFETCH(QStringList, sujets);
        QFETCH(bool, tous);
        QFETCH(QString, mot);
        QFETCH(QList<int>, classes);
        QFETCH(bool, pretables);
        QFETCH(QString, tete);
        Search run;
        searchCatalogue(run);
        TestDb::exec(run.folder.catalogue(), "UPDATE luma SET emprunt = 'N' WHERE inventaire = '00005'");
        const ChoixRequete choix{sujets, tous, mot, classes, pretables};
        QCOMPARE(teteDeChoix(choix), tete);
        const std::optional<ChoixRequete> relu = choixDeTete(tete, {"forêt", "loup", "ours"});
        QVERIFY(relu);
        QCOMPARE(teteDeChoix(*relu), tete);
        QCOMPARE(relu->mot, mot);

        RecherchesImages(run.folder.base()).ajoute({tete, QStringLiteral("Essai"), {}, {}});
        const ApercuRequete apercu = apercuRequete(tete, run.folder.catalogue(), 100);
        QVERIFY(apercu.nombre > 0);
        QCOMPARE(apercu.premiers.size(), apercu.nombre);

        run.start();
        Recherche1 &screen = run.requêtes();
        QStringList montres;
        whileOpen(screen, [&] {
            QCOMPARE(screen.Etiquette1(0)->text(), QStringLiteral("Essai"));
            montres = run.documentsShown([&] { QTest::mouseDClick(screen.Dessin1(0), Qt::LeftButton); });
        }, [&] { run.recherche().Command3D4_Click(); });
        QCOMPARE(montres, numeros(apercu));
        QCOMPARE(run.catalogue().recordSource(), sourceRequete(tete, filtreDewey({})));
    }

    // Written in Windows-1252 when it can be, else UTF-8 with its mark, and
    // read back by the kiosk as written.
    void encodingsTheKioskReads_data()
    {
        QTest::addColumn<QString>("titre");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("accents") << "Châteaux et forêts" << false;
        QTest::newRow("1252 bytes that read as UTF-8") << "Ã©tÃ©" << true;
        QTest::newRow("beyond 1252") << "Les ŝtelloj ✨" << true;
    }
    void encodingsTheKioskReads()
    {
        QFETCH(QString, titre);
        QFETCH(bool, utf8);
        const ContenuRequete contenu{"SELECT * FROM luma WHERE titre LIKE '*e*'", titre, "CHAT.BMP", ""};
        const QByteArray octets = encodeRequete(contenu);
        QCOMPARE(octets.startsWith("\xEF\xBB\xBF"), utf8);
        Search run;
        searchCatalogue(run);
        run.folder.writeFile("LALUMA/REQUETES/A.RQT", octets);
        QCOMPARE(LitRequete(run.folder.base() + "\\REQUETES\\A.RQT"), contenu);
        run.start();
        QCOMPARE(run.t->context.requêtes().requete(0).titre, titre);
    }

    // One request rewritten, moved or removed: the other files keep their
    // bytes; a file changed meanwhile by another program is not overwritten.
    void othersKeepTheirBytes()
    {
        DataFolder folder;
        const QByteArray parLigne = "SELECT * FROM luma WHERE dewey LIKE '5*'\r\nLes animaux\r\n.BMP\r\nANIMAUX.WAV\r\n";
        const QByteArray utf8 = "\xEF\xBB\xBF\"SELECT * FROM luma WHERE motsclés LIKE '*forêt*'\",\"La forêt\",F.BMP,\"\"\n";
        folder.writeFile("LALUMA/REQUETES/ANIMAUX.RQT", parLigne);
        folder.writeFile("LALUMA/REQUETES/foret.rqt", utf8);
        folder.writeFile("LALUMA/REQUETES/LOUPS.RQT", TextFile::encode1252("\"SELECT * FROM luma WHERE x\",Loups,,\r\n"));
        RecherchesImages requetes(folder.base());
        QList<FicheRequete> liste = requetes.liste();
        QCOMPARE(liste.size(), 3);
        QCOMPARE(liste[1].contenu.titre, QStringLiteral("La forêt"));

        ContenuRequete loups = liste[2].contenu;
        loups.titre = QStringLiteral("Les loups");
        requetes.modifie(liste[2], loups);
        QCOMPARE(folder.readFile("LALUMA/REQUETES/ANIMAUX.RQT"), parLigne);
        QCOMPARE(folder.readFile("LALUMA/REQUETES/foret.rqt"), utf8);
        QCOMPARE(requetes.liste()[2].contenu, loups);
        // Changed since it was read: refused, the file left as it is.
        QCOMPARE(errorNumberOf([&] { requetes.modifie(liste[2], liste[2].contenu); }), ErrorNumber::ChangedByAnother);
        QCOMPARE(requetes.liste()[2].contenu, loups);

        // The last one first: only names change.
        liste = requetes.liste();
        requetes.deplace(liste, 2, 0);
        QStringList noms;
        for (const FicheRequete &r : requetes.liste())
            noms << r.fichier;
        QCOMPARE(noms, QStringList({"01-LOUPS.RQT", "02-ANIMAUX.RQT", "03-foret.rqt"}));
        QCOMPARE(folder.readFile("LALUMA/REQUETES/02-ANIMAUX.RQT"), parLigne);
        QCOMPARE(folder.readFile("LALUMA/REQUETES/03-foret.rqt"), utf8);
        // Two files that must swap their names go through a name of no request.
        DataFolder memes;
        memes.writeFile("LALUMA/REQUETES/01-A.RQT", parLigne);
        memes.writeFile("LALUMA/REQUETES/02-A.RQT", utf8);
        RecherchesImages(memes.base()).deplace(RecherchesImages(memes.base()).liste(), 1, 0);
        QCOMPARE(memes.readFile("LALUMA/REQUETES/01-A.RQT"), utf8);
        QCOMPARE(memes.readFile("LALUMA/REQUETES/02-A.RQT"), parLigne);
        // A list the teacher saw before another program's change is refused.
        QCOMPARE(errorNumberOf([&] { requetes.deplace(liste, 0, 1); }), ErrorNumber::ChangedByAnother);
        // A new one goes last; a copy just after its original.
        QCOMPARE(requetes.ajoute({"SELECT * FROM luma WHERE x", "Les dinosaures", {}, {}}).fichier,
                 QStringLiteral("04-DINOSAUR.RQT"));
        QCOMPARE(requetes.duplique(requetes.liste()[0]).fichier, QStringLiteral("01-LOUPS2.RQT"));
    }

    // The section as a teacher uses it: a request made in the form with a
    // picture and a sound; a head typed by hand that would write is refused
    // and the file left; a change that keeps the request's own files; a
    // copy, and removals that take the files no other request uses.
    void sectionAsATeacherUsesIt()
    {
        Search run;
        searchCatalogue(run);
        ContexteEssai contexte(run.folder.base());
        Bibliotheque bibliotheque(contexte, {run.folder.base(), run.folder.school()});
        PageRequetes page(bibliotheque);
        QStringList messages;
        const auto remplis = [&](const std::function<void(DialogueRequete &)> &remplir) {
            page.ouvreFormulaire = [&, remplir](DialogueRequete &f) {
                f.avertit = [&](const QString &m) { messages << m; };
                remplir(f);
                return f.enregistre();
            };
        };
        remplis([](DialogueRequete &f) {
            f.champTitre()->setText(QStringLiteral("Les loups"));
            f.motsSujets()->findItems(QStringLiteral("loup"), Qt::MatchExactly).first()->setCheckState(Qt::Checked);
            QImage rouge(40, 30, QImage::Format_RGB32);
            rouge.fill(Qt::red);
            QVERIFY(f.choixImage()->prendsImage(rouge));
            f.sonChoisi = [] { return DialogueRequete::Son{true, QByteArray("RIFF....WAVE")}; };
        });
        page.ajoute();
        QCOMPARE(messages, QStringList());
        const ContenuRequete loups = LitRequete(run.folder.base() + "\\REQUETES\\LOUPS.RQT");
        QCOMPARE(loups, (ContenuRequete{teteDeChoix({{"loup"}, false, {}, {}, false}), "Les loups", "LOUPS.BMP", "LOUPS.WAV"}));
        QCOMPARE(QImage(run.folder.base() + "/IMAGES/LOUPS.BMP").pixelColor(5, 5), QColor(Qt::red));
        QCOMPARE(page.choisie(), 0);

        const QByteArray avant = run.folder.readFile("LALUMA/REQUETES/LOUPS.RQT");
        remplis([](DialogueRequete &f) {
            f.setExpert(true);
            f.champTete()->setPlainText(QStringLiteral("UPDATE luma SET titre = 'x' WHERE titre LIKE '*'"));
        });
        page.modifie();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(run.folder.readFile("LALUMA/REQUETES/LOUPS.RQT"), avant);
        // A new picture for the request goes over its own file.
        remplis([](DialogueRequete &f) {
            QCOMPARE(f.choix().motsSujets, QStringList{"loup"});
            f.champTitre()->setText(QStringLiteral("Le loup"));
            QImage bleu(40, 30, QImage::Format_RGB32);
            bleu.fill(Qt::blue);
            QVERIFY(f.choixImage()->prendsImage(bleu));
            f.sonChoisi = [] { return DialogueRequete::Son{true, {}}; };
        });
        page.modifie();
        QCOMPARE(LitRequete(run.folder.base() + "\\REQUETES\\LOUPS.RQT").image, QStringLiteral("LOUPS.BMP"));
        // Its sound left out: the file no request plays any more goes.
        QVERIFY(!run.folder.exists("LALUMA/SONS/LOUPS.WAV"));
        QCOMPARE(QImage(run.folder.base() + "/IMAGES/LOUPS.BMP").pixelColor(5, 5), QColor(Qt::blue));

        // A subject word renamed is renamed in the heads that search it.
        RecherchesImages &requetes = page.requetes();
        QCOMPARE(requetes.utilisant(QStringLiteral("LOUP")), 1);
        QCOMPARE(requetes.renommeMot(QStringLiteral("loup"), QStringLiteral("l'ours")), 1);
        QCOMPARE(requetes.liste()[0].contenu.tete, teteDeChoix({{"l'ours"}, false, {}, {}, false}));

        page.duplique();
        QCOMPARE(requetes.liste()[1].contenu.image, QStringLiteral("LOUPS.BMP"));
        requetes.supprime(requetes.liste()[0]);
        QVERIFY(run.folder.exists("LALUMA/IMAGES/LOUPS.BMP"));
        requetes.supprime(requetes.liste()[0]);
        QVERIFY(!run.folder.exists("LALUMA/IMAGES/LOUPS.BMP"));
        // A button's sound stays whoever named it.
        run.folder.writeFile("LALUMA/SONS/FERME.WAV", "RIFF");
        requetes.supprime(requetes.ajoute({"SELECT * FROM luma WHERE x", "Fermer", {}, "FERME.WAV"}));
        QVERIFY(run.folder.exists("LALUMA/SONS/FERME.WAV"));
        QVERIFY(requetes.liste().isEmpty());
    }

    // A head typed by hand is checked as the kiosk would run it.
    void headsThatCannotBeRun_data()
    {
        QTest::addColumn<QString>("tete");
        QTest::addColumn<int>("numero");
        QTest::newRow("update") << "UPDATE luma SET titre = 'x' WHERE titre LIKE '*'" << ErrorNumber::InvalidOperation;
        QTest::newRow("two statements") << "SELECT * FROM luma WHERE dewey LIKE '5*'; DELETE FROM luma WHERE 1"
                                        << ErrorNumber::CharactersAfterEnd;
        QTest::newRow("attach") << "ATTACH 'x.db' AS x" << ErrorNumber::InvalidStatement;
        QTest::newRow("some fields") << "SELECT titre FROM luma WHERE dewey LIKE '5*'" << ErrorNumber::SyntaxError;
        QTest::newRow("no condition") << "SELECT * FROM luma" << ErrorNumber::SyntaxError;
        QTest::newRow("double quote") << "SELECT * FROM luma WHERE titre = \"x\"" << ErrorNumber::SyntaxError;
        QTest::newRow("unknown field") << "SELECT * FROM luma WHERE auteur LIKE 'x*'" << ErrorNumber::TooFewParameters;
    }
    void headsThatCannotBeRun()
    {
        QFETCH(QString, tete);
        QFETCH(int, numero);
        Search run;
        searchCatalogue(run);
        QCOMPARE(errorNumberOf([&] { apercuRequete(tete, run.folder.catalogue(), 5); }), numero);
        QVERIFY(errorNumberOf([&] { apercuRequete("SELECT * FROM luma WHERE dewey LIKE '5*'", run.folder.catalogue(), 5); }) == 0);
    }
};

QTEST_MAIN(TestGestionRequetes)
#include "tst_gestion_requetes.moc"
