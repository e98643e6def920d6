// The teachers' program's changes to a library, read back by the kiosk.

#include "lending.h"
#include "startup.h"
#include "contexteessai.h"

#include "gestion/bibliotheque.h"
#include "gestion/imagesbmp.h"
#include "gestion/nouvellebibliotheque.h"
#include "gestion/choiximage.h"
#include "gestion/fenetreprincipale.h"
#include "gestion/modelelivres.h"
#include "gestion/pageenfants.h"
#include "gestion/pagelivres.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include <QtTest>

#include <sys/stat.h>

namespace {

// The teachers' program on the folder of a kiosk run.
struct Gestion
{
    explicit Gestion(Lending &run) : contexte(run.folder.base()), bibliotheque(contexte, {run.folder.base(), run.folder.school()})
    {
        bibliotheque.setHorloge([&run] { return run.t->clock.now(); });
    }
    FicheLivre livre(const QString &inventaire)
    {
        for (const FicheLivre &f : bibliotheque.livres())
            if (f.inventaire == inventaire)
                return f;
        throw std::runtime_error("no such book");
    }
    FicheEnfant enfant(const QString &matricule)
    {
        for (const FicheEnfant &e : bibliotheque.enfants())
            if (e.matricule == matricule)
                return e;
        throw std::runtime_error("no such child");
    }
    ContexteEssai contexte;
    Bibliotheque bibliotheque;
};

int erreur(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &e) {
        return e.number();
    }
    return 0;
}

// Runs `remplis` on the next modal window once it is up (a form, a question).
void quandModal(const std::function<void(QWidget &)> &remplis)
{
    auto *attente = new QTimer;
    attente->setInterval(10);
    QObject::connect(attente, &QTimer::timeout, [attente, remplis] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            attente->stop();
            attente->deleteLater();
            remplis(*w);
        }
    });
    attente->start();
}

// The form's picture chooser (a widget without a meta-object of its own).
ChoixImage &choixImage(QWidget &form)
{
    for (QWidget *w : form.findChildren<QWidget *>())
        if (auto *choix = dynamic_cast<ChoixImage *>(w))
            return *choix;
    qFatal("no picture chooser");
}

void tape(QWidget &form, const char *champ, const QString &texte)
{
    child<QLineEdit>(form, champ)->setText(texte);
}

void enregistre(QWidget &form)
{
    child<QDialogButtonBox>(form, {})->button(QDialogButtonBox::Save)->click();
}

QString premierLivre(Lending &run)
{
    return TestDb::scalar(run.folder.catalogue(),
                          "SELECT titre || ':' || emprunté || ':' || emprunteur FROM luma WHERE inventaire = '00001'");
}

} // namespace

class GestionTest : public QObject
{
    Q_OBJECT

private slots:
    // A book given back by hand leaves the catalogue and the day's journal
    // byte for byte as the kiosk's return does.
    void handReturnIsTheKiosksReturn()
    {
        Lending kiosque, main;
        for (Lending *run : {&kiosque, &main}) {
            run->folder.fillSmallSchool();
            run->start();
            run->t->clock.current = QDateTime(QDate(2026, 12, 7), QTime(9, 30));
            run->borrow(1);
            run->t->clock.current = QDateTime(QDate(2026, 12, 9), QTime(16, 5));
        }
        kiosque.openClass(0, [&] {
            kiosque.classe().Dessin1_Click(0);
            kiosque.doc().Command3D5_Click();
        });
        Gestion gestion(main);
        const FicheLivre rendu = gestion.bibliotheque.rendsLivre(gestion.livre("00001"));
        QVERIFY(!rendu.sorti());

        QCOMPARE(main.loan("00001"), kiosque.loan("00001"));
        QCOMPARE(main.journal("26-12-09"), kiosque.journal("26-12-09"));
        QVERIFY(main.journal("26-12-09").contains("Restitution"));
        // No intent left behind; given back, it cannot be given back twice.
        QCOMPARE(QDir(main.folder.base() + "/EN-COURS").entryList(QDir::Files), QStringList{"PRETS.LCK"});
        QCOMPARE(erreur([&] { gestion.bibliotheque.rendsLivre(gestion.livre("00001")); }), 3219);
    }

    // What the form showed is what must still be there: a kiosk lending the
    // book meanwhile does not stop a new title and is not undone by it;
    // another station's change of the same fields, or a removal, stops the
    // save and writes nothing.
    void editsNeverLoseAnotherStationsChange_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("after");
        QTest::newRow("a kiosk lends it") << "kiosk" << 0 << "Le grand loup:O:13";
        QTest::newRow("another title") << "UPDATE luma SET titre = 'Le petit loup' WHERE inventaire = '00001'" << 3197
                                       << "Le petit loup:N:";
        QTest::newRow("removed") << "DELETE FROM luma WHERE inventaire = '00001'" << 3167 << "<none>";
    }
    void editsNeverLoseAnotherStationsChange()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, error);
        QFETCH(QString, after);
        Lending run;
        run.folder.fillSmallSchool();
        run.start();
        Gestion gestion(run);
        const FicheLivre vu = gestion.livre("00001");
        if (meanwhile == "kiosk")
            run.borrow(1);
        else
            TestDb::exec(run.folder.catalogue(), meanwhile);
        FicheLivre change = vu;
        change.titre = "Le grand loup";
        QCOMPARE(erreur([&] { gestion.bibliotheque.modifieLivre(vu, change); }), error);
        QCOMPARE(premierLivre(run), after);
        if (error == 0) // the kiosk's loan is still the loan the journal has
            QCOMPARE(run.loan("00001").section('|', 0, 1), "O|13");
    }

    // A child's number is the name of the photograph and the borrower of
    // the books: renumbered, both follow; a number taken or unfit for a file
    // name is refused whole; a child holding a book cannot go.
    void childNumberCarriesPhotographAndLoans()
    {
        Lending run;
        run.folder.fillSmallSchool();
        run.folder.writeFile("ALTEMARE/13.BMP", "BM photo");
        run.start();
        run.borrow(1);
        Gestion gestion(run);
        const FicheEnfant zoe = gestion.enfant("13");

        for (const QString &pris : {QStringLiteral("12"), QStringLiteral("a/b"), QString()}) {
            FicheEnfant autre = zoe;
            autre.matricule = pris;
            QCOMPARE(erreur([&] { gestion.bibliotheque.modifieEnfant(zoe, autre); }), 3317);
        }
        QCOMPARE(run.loan("00001").section('|', 1, 1), "13");
        QCOMPARE(erreur([&] { gestion.bibliotheque.supprimeEnfant(zoe); }), 3219);

        FicheEnfant renumerote = zoe;
        renumerote.matricule = "31";
        renumerote.classe = "02";
        gestion.bibliotheque.modifieEnfant(zoe, renumerote);
        QCOMPARE(run.loan("00001").section('|', 1, 1), "31");
        QCOMPARE(run.folder.readFile("ALTEMARE/31.BMP"), QByteArray("BM photo"));
        QVERIFY(!run.folder.exists("ALTEMARE/13.BMP"));
        QCOMPARE(gestion.bibliotheque.enfantsDeClasse(2).size(), 2);
        QCOMPARE(gestion.bibliotheque.prochainMatricule(), "32");

        gestion.bibliotheque.rendsLivre(gestion.livre("00001"));
        gestion.bibliotheque.supprimeEnfant(gestion.enfant("31"));
        QVERIFY(!run.folder.exists("ALTEMARE/31.BMP"));
        QCOMPARE(gestion.bibliotheque.enfants().size(), 2);
    }

    // A library made from nothing, then a class with its picture, a child
    // and a book entered by the program: the kiosk starts on it without a
    // word and finds each where it looks.
    void newLibraryIsTheKiosks()
    {
        QTemporaryDir racine;
        const QString base = racine.filePath("LALUMA");
        creeBibliotheque(base, {});
        ContexteEssai contexte(base);
        Bibliotheque bibliotheque(contexte, trouveDossiers(base));
        bibliotheque.enregistreClasse({}, 1, "Mme Une");
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::blue);
        ImagesBmp::enregistre(image, bibliotheque.dossiers().ecole + "\\CLASSE01.BMP");
        bibliotheque.ajouteEnfant({-1, bibliotheque.prochainMatricule(), "MARTIN", "Léa", "01", "MS"});
        FicheLivre livre;
        livre.inventaire = bibliotheque.prochainInventaire();
        livre.titre = "Le loup";
        livre.emprunt = "O";
        bibliotheque.ajouteLivre(livre);

        TestContext t;
        QVERIFY(runStartup(t, base));
        QCOMPARE(t.messages.shown.size(), 0);
        QCOMPARE(t.module().CheminEcole(), racine.filePath("ALTEMARE"));
        QVERIFY(t.context.FeuilleÉcole().Dessin1(0)->picture().source().endsWith("ALTEMARE/CLASSE01.BMP"));
        Feuilleenfant &d = t.context.données();
        QCOMPARE(d.Donnée1().field("matricule") + d.Donnée1().field("classe"), "101");
        QCOMPARE(d.Donnée2().field("inventaire") + d.Donnée2().field("titre"), "00001Le loup");
    }

    // New books and classes: numbers checked and unique, and the kiosk finds
    // the book by its number on the pad.
    void newBookFoundByTheKiosk()
    {
        Lending run;
        run.folder.fillSmallSchool();
        run.start();
        Gestion gestion(run);
        QCOMPARE(gestion.bibliotheque.prochainInventaire(), "00043");
        FicheLivre f;
        f.inventaire = "43";
        f.titre = "Petit ours brun";
        f.dewey = "843";
        f.emprunt = "O";
        for (const auto &[champ, valeur] : {std::pair{&FicheLivre::inventaire, "00042"}, {&FicheLivre::inventaire, "4a"},
                                            {&FicheLivre::titre, " "}, {&FicheLivre::dewey, "X12"}}) {
            FicheLivre faux = f;
            faux.*champ = valeur;
            QVERIFY(erreur([&] { gestion.bibliotheque.ajouteLivre(faux); }) != 0);
        }
        QCOMPARE(gestion.bibliotheque.ajouteLivre(f).inventaire, "00043");
        QCOMPARE(TestDb::scalar(run.folder.catalogue(),
                                "SELECT emprunt || emprunté || cumul FROM luma WHERE inventaire = '00043'"),
                 "ON0");

        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            for (int chiffre : {4, 3})
                run.doc().Command3D1_Click(chiffre);
            run.doc().Command3D4_Click();
        });
        QCOMPARE(run.loan("00043").section('|', 0, 1), "O|13");

        gestion.bibliotheque.enregistreClasse({}, 3, "Mme Roux");
        QCOMPARE(erreur([&] { gestion.bibliotheque.enregistreClasse({}, 3, "M. Autre"); }), 3197);
        QCOMPARE(gestion.bibliotheque.classes().last().instituteur, "Mme Roux");
    }

    // The forms as a teacher fills them: a child enrolled in another class
    // than the one shown, a book whose class is picked on its colour, then
    // given back by hand from the list; the kiosk's files hold what was typed.
    void formsAsATeacherFillsThem()
    {
        Lending run;
        run.folder.fillSmallSchool();
        run.start();
        run.borrow(2);
        Gestion gestion(run);
        FenetrePrincipale fenetre(gestion.bibliotheque);
        fenetre.montreSection(1);
        // The photograph comes from the camera as an image; the cover from a file.
        QImage photo(640, 480, QImage::Format_RGB32);
        photo.fill(Qt::red);
        const QString fichierCouverture = run.folder.root() + "/couverture.png";
        QImage(200, 300, QImage::Format_RGB32).save(fichierCouverture);
        quandModal([&photo](QWidget &form) {
            QVERIFY(choixImage(form).prendsImage(photo));
            tape(form, "prenom", "Inès");
            tape(form, "nom", "Roux");
            child<QComboBox>(form, "niveau")->setCurrentText("GS");
            child<QComboBox>(form, "classeEnfant")->setCurrentIndex(1);
            enregistre(form);
        });
        fenetre.enfants().ajoute();
        QCOMPARE(TestDb::scalar(run.folder.schoolDb(),
                                "SELECT group_concat(matricule || prénomenfant || nomenfant || classe || niveau) "
                                "FROM enfants WHERE classe = '02'"),
                 "20NoéPETIT02GS,21InèsRoux02GS");

        fenetre.montreSection(2);
        quandModal([&](QWidget &form) {
            QVERIFY(choixImage(form).prendsFichier(fichierCouverture));
            tape(form, "titre", "Les volcans");
            child<QToolButton>(form, "classeDewey5")->click();
            QTest::keyClicks(child<QLineEdit>(form, "dewey"), "51.2");
            child<QCheckBox>(form, "pretable")->setChecked(false);
            enregistre(form);
        });
        fenetre.livres().ajoute();
        QCOMPARE(TestDb::scalar(run.folder.catalogue(),
                                "SELECT inventaire || titre || dewey || emprunt || emprunté FROM luma WHERE titre LIKE '%volcans'"),
                 "00043Les volcans551.2NN");
        // The kiosk shows the photograph among the class's, and the cover
        // once the number is typed (the book made lendable for it).
        TestDb::exec(run.folder.catalogue(), "UPDATE luma SET emprunt = 'O' WHERE inventaire = '00043'");
        QString photoMontree, couvertureMontree;
        run.openClass(1, [&] {
            photoMontree = run.classe().Dessin1(1)->picture().source();
            run.classe().Dessin1_Click(1);
            for (int chiffre : {4, 3})
                run.doc().Command3D1_Click(chiffre);
            couvertureMontree = run.doc().Dessin1()->picture().source();
        });
        QVERIFY2(photoMontree.endsWith("ALTEMARE/21.BMP"), qPrintable(photoMontree));
        QVERIFY2(couvertureMontree.endsWith("LALUMA/LIVRES/00043.BMP"), qPrintable(couvertureMontree));

        fenetre.livres().filtre()->setText("ferme");
        QCOMPARE(fenetre.livres().modele().rowCount(), 1);
        QTest::mouseClick(child<QWidget>(fenetre, "listeLivres")->findChild<QWidget *>("qt_scrollarea_viewport"),
                          Qt::LeftButton, {}, QPoint(20, 5));
        quandModal([](QWidget &question) { static_cast<QMessageBox &>(question).button(QMessageBox::Yes)->click(); });
        fenetre.livres().rends();
        QCOMPARE(run.loan("00002").section('|', 0, 1), "N|");
        QVERIFY(run.journal(run.t->clock.now().toString("yy-MM-dd")).contains("Restitution"));
    }

    // A pipe in a cover's place is never waited on: the form opens.
    void pipeInACoversPlace()
    {
        Lending run;
        run.folder.fillSmallSchool();
        run.start();
        QDir(run.folder.base()).mkpath("LIVRES");
        QCOMPARE(mkfifo(QFile::encodeName(run.folder.base() + "/LIVRES/00001.BMP").constData(), 0644), 0);
        Gestion gestion(run);
        FenetrePrincipale fenetre(gestion.bibliotheque);
        fenetre.montreSection(2);
        fenetre.livres().filtre()->setText("00001");
        QTest::mouseClick(child<QWidget>(fenetre, "listeLivres")->findChild<QWidget *>("qt_scrollarea_viewport"),
                          Qt::LeftButton, {}, QPoint(20, 5));
        bool ouvert = false;
        quandModal([&](QWidget &form) {
            ouvert = true;
            static_cast<QDialog &>(form).reject();
        });
        fenetre.livres().modifie();
        QVERIFY(ouvert);
    }

    // The list narrows as one types, accents and case aside, every word in
    // some field; a word taken back widens it again.
    void listFilterAsOneTypes()
    {
        ModeleLivres modele;
        QList<FicheLivre> livres;
        for (const auto &[n, titre, mots] : {std::tuple{"00001", "L'Éléphant", "savane"}, {"00002", "Le loup", "forêt"},
                                            {"00003", "Loulou", "loup elephant"}}) {
            FicheLivre f;
            f.inventaire = n;
            f.titre = titre;
            f.motscles = mots;
            livres << f;
        }
        modele.charge(livres, {}, couleursParDefaut());
        const auto montres = [&] {
            QStringList n;
            for (int i = 0; i < modele.rowCount(); ++i)
                n << modele.livre(i).inventaire;
            return n.join(' ');
        };
        const QList<std::pair<QString, QString>> frappes{
            {"e", "00001 00002 00003"}, {"el", "00001 00003"}, {"ELEPH", "00001 00003"}, {"eleph sav", "00001"},
            {"eleph sa", "00001"},      {"eleph", "00001 00003"}, {"lou", "00002 00003"}, {"foret", "00002"},
            {"0000", "00001 00002 00003"}, {"", "00001 00002 00003"}};
        for (const auto &[texte, attendu] : frappes) {
            modele.filtre(texte);
            QCOMPARE(montres(), attendu);
        }
    }
};

QTEST_MAIN(GestionTest)
#include "tst_gestion.moc"
