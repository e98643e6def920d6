// The lending chain: class choice, child choice, document entry, borrow and
// return, on temporary data folders with fake platform services.

#include "files.h"
#include "lending.h"

#include "lending/pret.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

class LendingTest : public QObject
{
    Q_OBJECT

private slots:
    // With the voice off (--sans-voix) nothing is said, and the recorded
    // sounds still play.
    void loanAndReturnThroughTheScreens_data()
    {
        QTest::addColumn<bool>("voice");
        QTest::newRow("voice") << true;
        QTest::newRow("--sans-voix") << false;
    }
    void loanAndReturnThroughTheScreens()
    {
        QFETCH(bool, voice);
        Lending run;
        run.folder.fillSmallSchool();
        writeBmp(run.folder.base() + "/LIVRES/00042.BMP");
        writeBmp(run.folder.school() + "/12.BMP", Qt::blue);
        run.start();
        run.t->module().setVoix(voice);
        Feuilleécole &ecole = run.ecole();
        ecole.show();

        // Class 01, MARTIN Léa (second in surname order), document 00042.
        auto pickLéa = [&run](const std::function<void(feuilledocument &)> &onDocument) {
            Feuilleclasse &classe = run.classe();
            QTest::mouseClick(classe.Dessin1(1), Qt::LeftButton);
            feuilledocument &doc = run.doc();
            whileOpen(doc, [&doc, onDocument] { onDocument(doc); },
                      [&classe] { QTest::mouseClick(classe.Command3D1(), Qt::LeftButton); });
        };

        ecole.Dessin1(0)->show();
        QTest::mouseClick(ecole.Dessin1(0), Qt::LeftButton);
        QVERIFY(!ecole.Forme1(0)->isHidden());
        bool photoShown = false, waitingAfterLoan = false;
        QString titleShown;
        qint64 readsBeforeLoan = -1, readsAtReturn = -2;
        auto openClass = [&](const std::function<void()> &inside) {
            whileOpen(run.classe(), inside,
                      [&] { QTest::mouseClick(child<Button3D>(ecole, "Command3D1"), Qt::LeftButton); });
        };
        openClass([&] {
            photoShown = run.classe().Dessin1(1)->picture().source().endsWith("/12.BMP");
            pickLéa([&](feuilledocument &doc) {
                for (const char *name : {"Command3D1_4", "Command3D1_2"})
                    QTest::mouseClick(child<Button3D>(doc, name), Qt::LeftButton);
                titleShown = doc.Panel3D1()->text();
                readsBeforeLoan = run.t->context.données().Donnée2().readsOfTheRows();
                QTest::mouseClick(child<Button3D>(doc, "Command3D4"), Qt::LeftButton);
            });
            waitingAfterLoan = run.waitingForChild();
            QTest::mouseClick(child<Button3D>(run.classe(), "Command3D3"), Qt::LeftButton);
        });

        QVERIFY(photoShown);
        QCOMPARE(titleShown, QString(" Le loup"));
        QVERIFY(waitingAfterLoan);
        QCOMPARE(run.loan("00042"), QString("O|12|école|05/12/2026|1"));
        // Windows-1252, CR LF, each line between quotes.
        const QByteArray who = "\"Emprunteur : 12 (emprunteur \xE9" "cole - classe 01 - MS) - MARTIN L\xE9" "a\"\r\n"
                               "\"Document : 00042 - Le loup - \xC9" "ditions du Pr\xE9\"\r\n";
        const QByteArray loan = "\"05/12/2026 - 14:30 - Emprunt d'un document\"\r\n" + who +
                                "\"emprunt\xE9 le 05/12/2026\"\r\n";
        QCOMPARE(run.journal("26-12-05"), loan);

        // Three days later Léa brings it back: return mode, no number pad.
        run.t->clock.current = QDateTime(QDate(2026, 12, 8), QTime(9, 15));
        bool padHidden = false, coverShown = false;
        openClass([&] {
            pickLéa([&](feuilledocument &doc) {
                padHidden = doc.Panel3D3()->isHidden() && !doc.Command3D5()->isHidden();
                titleShown = doc.Panel3D1()->text();
                coverShown = !doc.Dessin1()->picture().isNull();
                readsAtReturn = run.t->context.données().Donnée2().readsOfTheRows();
                QTest::mouseClick(child<Button3D>(doc, "Command3D5"), Qt::LeftButton);
            });
            waitingAfterLoan = run.waitingForChild();
        });

        QVERIFY(padHidden);
        QVERIFY(coverShown);
        // The kiosk's own loan moved no row: the photograph's look at the
        // catalogue did not read it all again.
        QCOMPARE(readsAtReturn, readsBeforeLoan);
        QCOMPARE(titleShown, QString(" Le loup"));
        QVERIFY(waitingAfterLoan);
        QCOMPARE(run.loan("00042"), QString("N|||08/12/2026|1"));
        QCOMPARE(run.journal("26-12-08"),
                 "\"08/12/2026 - 09:15 - Restitution d'un document\"\r\n" + who +
                     "\"emprunt\xE9 le 05/12/2026 - restitu\xE9 le 08/12/2026 -  3 jours\"\r\n");
        QCOMPARE(run.journal("26-12-05"), loan);

        const QString sons = QDir(run.folder.base()).filePath("SONS/");
        QCOMPARE(run.t->sound.played, QStringList({sons + "EMPRUNTE.WAV", sons + "FERME.WAV", sons + "RENDS.WAV"}));
        QCOMPARE(run.t->speech.said, voice ? QStringList({"Léa", "quatre", "deux, Le loup", "Léa"}) : QStringList());
        QVERIFY(run.t->messages.shown.isEmpty());
    }

    // The loan count is a number stored as text.
    void loanCountPlusOne_data()
    {
        QTest::addColumn<QString>("cumul");
        QTest::addColumn<QString>("after");
        QTest::newRow("empty") << "" << "1";
        QTest::newRow("9") << "9" << "10";
        QTest::newRow("beyond any integer") << "99999999999999999999" << "100000000000000000000";
        QTest::newRow("leading zeros, blanks") << " 0041 " << "42";
        QTest::newRow("digits then text") << "12 fois" << "13";
    }
    void loanCountPlusOne()
    {
        QFETCH(QString, cumul);
        QTEST(cumulPlusUn(cumul), "after");
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("typed"); // digits on the pad ("C": erase), or keys on the keyboard after "keys:"
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("lendable");
        QTest::addColumn<bool>("cover");
        QTest::addColumn<QStringList>("said"); // each digit touched, with the title that then appears
        QTest::newRow("on the shelf, with cover") << "1" << "1" << " Le loup" << true << true << QStringList{"un, Le loup"};
        QTest::newRow("found by its last digits") << "12" << "12" << " Les couleurs" << true << false
                                                  << QStringList{"un, Le loup", "deux, Les couleurs"};
        QTest::newRow("may not be lent") << "3" << "3" << " Pas de livre avec ce numéro..." << false << false
                                         << QStringList{"trois"};
        QTest::newRow("already lent") << "4" << "4" << " Ce livre est déjà emprunté." << false << true
                                      << QStringList{"quatre"};
        QTest::newRow("emprunté empty") << "5" << "5" << " Ce livre est déjà emprunté." << false << false
                                        << QStringList{"cinq"};
        QTest::newRow("no such number") << "99" << "99" << " Pas de livre avec ce numéro..." << false << false
                                        << QStringList{"neuf", "neuf"};
        QTest::newRow("sixth digit ignored") << "000012" << "00001" << " Le loup" << true << true
                                             << QStringList{"zéro", "zéro", "zéro", "zéro", "un, Le loup"};
        QTest::newRow("erased") << "12C" << "" << " Quel livre veux-tu emprunter ?" << false << false
                                << QStringList{"un, Le loup", "deux, Les couleurs"};
        QTest::newRow("keyboard: digits only") << "keys:1a'2*?" << "12" << " Les couleurs" << true << false
                                               << QStringList{"Le loup", "Les couleurs"};
        QTest::newRow("keyboard: five at most") << "keys:000012" << "00001" << " Le loup" << true << true
                                                << QStringList{"Le loup"};
    }
    void lookup()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(bool, lendable);
        QFETCH(bool, cover);
        QFETCH(QStringList, said);
        Lending run;
        run.folder.fillSmallSchool();
        TestDb::addDocument(run.folder.catalogue(), "00003", "Interdit", "N", "N");
        TestDb::addDocument(run.folder.catalogue(), "00004", "Parti", "O", "O", "20", "école", "01/12/2026");
        TestDb::addDocument(run.folder.catalogue(), "00005", "Sans état", "O", "");
        writeBmp(run.folder.base() + "/LIVRES/00001.BMP");
        writeBmp(run.folder.base() + "/LIVRES/00004.BMP");
        run.start();
        feuilledocument &doc = run.doc();
        doc.show();
        if (typed.startsWith("keys:"))
            QTest::keyClicks(doc.Text1(), typed.mid(5));
        else
            for (QChar digit : typed)
                QTest::mouseClick(child<Button3D>(doc, digit == u'C' ? QStringLiteral("Command3D2") : "Command3D1_" + QString(digit)),
                                  Qt::LeftButton);
        QCOMPARE(doc.Text1()->text(), text);
        QCOMPARE(doc.Panel3D1()->text(), title);
        QCOMPARE(doc.Panel3D1()->textColor(), lendable ? kRed : kBlue);
        QCOMPARE(!doc.Command3D4()->isHidden(), lendable);
        QCOMPARE(!doc.Etiquette1()->isHidden(), lendable);
        QVERIFY(doc.Command3D5()->isHidden());
        QCOMPARE(!doc.Dessin1()->picture().isNull(), cover);
        QCOMPARE(run.t->speech.said, said);
        QVERIFY(run.t->sound.played.isEmpty());
        QVERIFY(run.t->messages.shown.isEmpty());
    }

    void modeDecision_data()
    {
        QTest::addColumn<QString>("matricule");
        QTest::addColumn<QStringList>("documents"); // inventaire|titre|emprunt|emprunté|emprunteur|catégorie
        QTest::addColumn<bool>("returnMode");
        QTest::addColumn<QString>("title");
        const QString ask = " Quel livre veux-tu emprunter ?";
        QTest::newRow("lent to the child") << "12" << QStringList{"00001|Le loup|O|O|12|école"} << true << " Le loup";
        QTest::newRow("loan no longer allowed") << "12" << QStringList{"00001|Le loup|N|O|12|école"} << false << ask;
        QTest::newRow("another kind of borrower") << "12" << QStringList{"00001|Le loup|O|O|12|adulte"} << false << ask;
        QTest::newRow("two loans: first by number")
            << "12" << QStringList{"00007|Sept|O|O|12|école", "00003|Trois|O|O|12|école"} << true << " Trois";
        QTest::newRow("quote in matricule") << "1'2" << QStringList{"00001|Le loup|O|O|1'2|école"} << true << " Le loup";
        QTest::newRow("star is no wildcard") << "1*" << QStringList{"00001|Le loup|O|O|12|école"} << false << ask;
        QTest::newRow("question mark is no wildcard") << "1?" << QStringList{"00001|Le loup|O|O|12|école"} << false << ask;
        QTest::newRow("hash is no wildcard") << "1#" << QStringList{"00001|Le loup|O|O|12|école"} << false << ask;
        QTest::newRow("brackets are no class") << "[1]" << QStringList{"00001|Le loup|O|O|1|école"} << false << ask;
        QTest::newRow("star finds its own loan") << "1*" << QStringList{"00001|Le loup|O|O|1*|école"} << true << " Le loup";
        QTest::newRow("brackets find their own loan")
            << "[1]" << QStringList{"00001|Le loup|O|O|[1]|école"} << true << " Le loup";
    }
    void modeDecision()
    {
        QFETCH(QString, matricule);
        QFETCH(QStringList, documents);
        QFETCH(bool, returnMode);
        QFETCH(QString, title);
        Lending run;
        oneClass(run, {matricule});
        for (const QString &document : documents) {
            const QStringList f = document.split('|');
            TestDb::addDocument(run.folder.catalogue(), f[0], f[1], f[2], f[3], f[4], f[5], "01/12/2026");
        }
        run.start();
        bool pictureOfMode = false, padShown = false;
        run.openClass(0, [&] {
            QTest::mouseClick(run.classe().Dessin1(0), Qt::LeftButton);
            const Button3D *expected = returnMode ? run.doc().Command3D5() : run.doc().Command3D4();
            pictureOfMode = run.classe().Command3D1()->picture().sameAs(expected->picture());
            padShown = !run.doc().Panel3D3()->isHidden();
            QTest::mouseClick(run.classe().Picture1(), Qt::LeftButton);
        });
        QVERIFY(pictureOfMode);
        QCOMPARE(padShown, !returnMode);
        QCOMPARE(run.doc().Panel3D1()->text(), title);
        QCOMPARE(run.t->sound.played.value(0).section('/', -1), QString(returnMode ? "RENDS.WAV" : "EMPRUNTE.WAV"));
        QVERIFY(run.t->messages.shown.isEmpty());
    }

    // Between the moment the child sees the document and the touch, another
    // kiosk or the management program changes it, or the save is refused:
    // nothing is written or journaled. A changed document is shown as the
    // record now calls for; a refused save says so in a box, shown once the
    // lending lock is let go, and the fields show the record as saved.
    void changedOrRefusedIsNeitherLoanNorReturn_data()
    {
        QTest::addColumn<bool>("borrow");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("title"); // "": the document screen closed
        QTest::addColumn<QString>("loan");
        const QString refuse = "CREATE TRIGGER refuse BEFORE UPDATE ON luma BEGIN SELECT RAISE(ABORT, 'refusé'); END";
        QTest::newRow("lent elsewhere") << true << "UPDATE luma SET emprunté = 'O', emprunteur = '99', cumul = '3'"
                                        << " Ce livre est déjà emprunté." << "O|99||01/12/2026|3";
        QTest::newRow("count changed") << true << "UPDATE luma SET cumul = '7'" << " Le loup" << "N|||01/12/2026|7";
        QTest::newRow("another document in its row") << true << "UPDATE luma SET inventaire = '00077'"
                                                     << " Pas de livre avec ce numéro..." << "<none>";
        QTest::newRow("returned elsewhere")
            << false << "UPDATE luma SET emprunté = 'N', emprunteur = '', dateemprunt = '04/12/2026'" << ""
            << "N||école|04/12/2026|2";
        QTest::newRow("borrow refused") << true << refuse << "" << "N|||01/12/2026|2";
        QTest::newRow("return refused") << false << refuse << "" << "O|12|école|01/12/2026|2";
    }
    void changedOrRefusedIsNeitherLoanNorReturn()
    {
        QFETCH(bool, borrow);
        QFETCH(QString, change);
        QFETCH(QString, title);
        QFETCH(QString, loan);
        const bool refused = change.startsWith("CREATE");
        Lending run;
        oneClass(run, {"12"});
        TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", borrow ? "N" : "O", borrow ? "" : "12",
                            borrow ? "" : "école", "01/12/2026", "2");
        run.start();
        QStringList held;
        run.t->messages.onShow = noteHeld(run.folder.base(), held);
        QString titleAfter;
        bool waiting = false;
        QString offered;
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            whileOpen(run.doc(), [&] {
                if (borrow)
                    run.doc().Command3D1_Click(1);
                TestDb::exec(run.folder.catalogue(), change);
                QTest::mouseClick(borrow ? run.doc().Command3D4() : run.doc().Command3D5(), Qt::LeftButton);
                titleAfter = run.doc().isVisible() ? run.doc().Panel3D1()->text() : QString();
            }, [&] { run.classe().Command3D1_Click(); });
            waiting = run.waitingForChild();
            // The same child again: the return is offered only if the child still holds the book.
            run.classe().Dessin1_Click(0);
            const Picture &mode = run.classe().Command3D1()->picture();
            if (!run.classe().Command3D1()->isHidden())
                offered = mode.sameAs(run.doc().Command3D5()->picture()) ? "return"
                          : mode.sameAs(run.doc().Command3D4()->picture()) ? "borrow" : "?";
        });
        QCOMPARE(titleAfter, title);
        QVERIFY(waiting);
        QCOMPARE(offered, QString(refused && !borrow ? "return" : "borrow"));
        QCOMPARE(run.loan("00001"), loan);
        QVERIFY(!run.folder.exists("LALUMA/26-12-05.JNL"));
        QCOMPARE(intents(run.folder.base()), QStringList());
        QCOMPARE(run.t->messages.shown.size(), refused ? 1 : 0);
        QCOMPARE(held, QStringList());
        if (refused)
            QCOMPARE(run.t->context.données().Etiquette6().text() + run.t->context.données().Etiquette12().text(),
                     loan.left(1) + "2");
    }

    // What the children's screen shows: how many photographs, the class's
    // picture and, with children, the first one's default picture, the last
    // place's photograph and the child it gives.
    void classOfAnySize_data()
    {
        QTest::addColumn<int>("children");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("no child") << 0 << QStringList{"0", "class picture"};
        QTest::newRow("35 children") << 35 << QStringList{"35", "class picture", "default", "M34.BMP", "M34 P34"};
        QTest::newRow("36 children") << 36 << QStringList{"35", "class picture", "default", "M34.BMP", "M34 P34"};
    }
    void classOfAnySize()
    {
        QFETCH(int, children);
        Lending run;
        QStringList matricules;
        for (int i = 0; i < children; ++i)
            matricules << QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0'));
        oneClass(run, matricules);
        for (int i = 1; i < children; ++i) // the first child has no photograph
            writeBmp(run.folder.school() + "/" + matricules[i] + ".BMP");
        writeBmp(run.folder.school() + "/CLASSE01.BMP", Qt::green);
        run.start();
        run.ecole().Dessin1(0)->setPicture(Picture::fromFile(run.folder.school() + "/CLASSE01.BMP", QSize(64, 64)));
        QStringList shown;
        run.openClass(0, [&] {
            Feuilleclasse &c = run.classe();
            int visible = 0;
            for (int k = 0; k < Feuilleclasse::kPhotos; ++k)
                visible += c.Dessin1(k)->isHidden() ? 0 : 1;
            shown << QString::number(visible)
                  << (c.Dessin2()->picture().sameAs(run.ecole().Dessin1(0)->picture()) ? "class picture" : "");
            if (children == 0)
                return;
            shown << (c.Dessin1(0)->picture().sameAs(c.Dessin3()->picture()) ? "default" : "")
                  << c.Dessin1(34)->picture().source().section('/', -1);
            c.Dessin1_Click(34);
            shown << run.t->context.données().Etiquette3().text() + c.Panel3D1()->text();
        });
        QTEST(shown, "shown");
        QCOMPARE(run.t->messages.shown.size(), children == 0 ? 1 : 0);
    }
};

QTEST_MAIN(LendingTest)
#include "tst_lending.moc"
