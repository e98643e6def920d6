// Documentary search: the class boxes and their filter, the word and
// descriptor searches, the descriptor list and the document display, on
// temporary data folders with fake platform services.

#include "searchrun.h"

#include "lending/feuilleclasse.h"
#include "lending/feuilledocument.h"
#include "lending/feuilleecole.h"

class SearchTest : public QObject
{
    Q_OBJECT

private slots:
    void classBoxesBuildTheFilter_data()
    {
        QTest::addColumn<QList<int>>("touched");
        QTest::addColumn<QString>("filter");
        QTest::newRow("no box") << QList<int>{} << "dewey LIKE '*'";
        QTest::newRow("one box") << QList<int>{5} << "dewey LIKE '5*'";
        QTest::newRow("classes in order, not touches") << QList<int>{8, 2} << "dewey LIKE '2*' OR dewey LIKE '8*'";
        QTest::newRow("a box touched twice") << QList<int>{8, 2, 8} << "dewey LIKE '2*'";
        QTest::newRow("all ten") << QList<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}
                                 << "dewey LIKE '0*' OR dewey LIKE '1*' OR dewey LIKE '2*' OR dewey LIKE '3*' OR "
                                    "dewey LIKE '4*' OR dewey LIKE '5*' OR dewey LIKE '6*' OR dewey LIKE '7*' OR "
                                    "dewey LIKE '8*' OR dewey LIKE '9*'";
    }
    // The filter and the marks (the arrow above and the sun inside each
    // chosen box) last the whole run: the search screen closed by its door
    // and opened again keeps them. The boxes take the colour file's colours.
    void classBoxesBuildTheFilter()
    {
        QFETCH(QList<int>, touched);
        QFETCH(QString, filter);
        Search run;
        searchCatalogue(run);
        run.folder.writeFile("LALUMA/COULEURS.INI", "1,2,3\r\n10,20,30\r\n300,0,255\r\n0,0,0\r\n0,0,0\r\n"
                                                    "0,0,0\r\n0,0,0\r\n0,0,0\r\n0,0,0\r\n9,9,9\r\n");
        run.start();
        Feuillerecherche &screen = run.recherche();
        QCOMPARE((QList<QColor>{screen.couleurBoite(0), screen.couleurBoite(2), screen.couleurBoite(9)}),
                 (QList<QColor>{QColor(1, 2, 3), QColor(255, 0, 255), QColor(9, 9, 9)}));
        run.chooseClasses(touched);
        whileOpen(screen, [&] { QTest::mouseClick(child<Button3D>(screen, "Command3D3"), Qt::LeftButton); },
                  [&] { screen.exec(); });
        QCOMPARE(run.t->sound.played, QStringList{QDir(run.folder.base()).filePath("SONS/FERME.WAV")});
        run.chooseClasses({});
        QCOMPARE(run.module().FiltreDewey(), filter);
        const QStringList marked = filter.split(" OR ");
        for (int i = 0; i < 10; ++i) {
            const bool chosen = marked.contains(QStringLiteral("dewey LIKE '%1*'").arg(i));
            QCOMPARE(!screen.Dessin1(i)->isHidden(), chosen);
            QCOMPARE(!screen.Dessin3(i)->isHidden(), chosen);
        }
    }

    // The same word through both screens: typed, and picked in the list.
    void wordAndDescriptorSearches_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QList<int>>("classes");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("no class") << "loup" << QList<int>{} << QStringList{"00001", "00003", "00007"};
        QTest::newRow("one class") << "loup" << QList<int>{3} << QStringList{"00001"};
        QTest::newRow("two classes") << "loup" << QList<int>{5, 3} << QStringList{"00001", "00003"};
        QTest::newRow("only in the keywords") << "conte" << QList<int>{} << QStringList{"00001"};
        QTest::newRow("other case, accents count") << "ÉLÉPHANT" << QList<int>{} << QStringList{"00005"};
        QTest::newRow("blanks around") << "  ours  " << QList<int>{} << QStringList{"00002", "00005"};
        QTest::newRow("inner blank kept") << "ours brun" << QList<int>{} << QStringList{"00002"};
        QTest::newRow("two inner blanks") << "ours  brun" << QList<int>{} << QStringList{};
        QTest::newRow("apostrophe") << "l'ours" << QList<int>{} << QStringList{"00005"};
        QTest::newRow("bracket is text") << "[1]" << QList<int>{} << QStringList{"00008"};
        QTest::newRow("wildcard kept") << "ch?t" << QList<int>{} << QStringList{"00006"};
        QTest::newRow("class filter leaves out A12") << "ch?t" << QList<int>{0} << QStringList{};
        // Every document of the classes whose title or keywords are set.
        QTest::newRow("empty word") << "" << QList<int>{5} << QStringList{"00003", "00004"};
    }
    void wordAndDescriptorSearches()
    {
        QFETCH(QString, word);
        QFETCH(QList<int>, classes);
        QFETCH(QStringList, found);
        Search run;
        searchCatalogue(run);
        if (!word.isEmpty())
            TestDb::insert(run.folder.descriptors(), "luma+", {"descripteur"}, {word});
        TestDb::insert(run.folder.descriptors(), "luma+", {"descripteur"}, {"zèbre"});
        run.start();
        run.chooseClasses(classes);

        for (const bool typed : {true, false}) {
            const int messagesBefore = int(run.t->messages.shown.size());
            const QStringList shown = typed ? run.searchWord(word) : run.searchDescriptor(word);
            QCOMPARE(shown, found);
            // Nothing found is said, and only then; no search reports an error.
            const QList<ShownMessage> said = run.t->messages.shown.mid(messagesBefore);
            if (found.isEmpty()) {
                QCOMPARE(said.size(), 1);
                QCOMPARE(said[0].text, kNothingFound);
                QCOMPARE(said[0].title, QString("La LUMA - Cycle 1"));
                QCOMPARE(said[0].icon, MsgIcon::Exclamation);
            } else {
                QVERIFY2(said.isEmpty(), qPrintable(said.value(0).text));
            }
            QVERIFY(!run.t->pointer.busy);
        }
        // The word and the selection stay for the next visit.
        QCOMPARE(run.écriture().Texte1()->text(), word);
        QCOMPARE(run.descripteurs().Liste1()->selectedItems().size(), word.isEmpty() ? 0 : 1);
        QVERIFY(run.t->sound.played.isEmpty());
    }

    // A query the catalogue rejects is reported and leaves nothing of the
    // previous result to show; a catalogue gone when the search screen
    // closes ends the program, as a missing database does everywhere.
    void failuresAreReported()
    {
        Search run;
        searchCatalogue(run);
        run.start();
        QCOMPARE(run.searchWord("loup"), QStringList({"00001", "00003", "00007"}));
        TestDb::exec(run.folder.catalogue(), "ALTER TABLE luma RENAME COLUMN motsclés TO mots");
        QCOMPARE(run.searchWord("loup"), QStringList());
        QCOMPARE(run.t->messages.shown.size(), 1);
        QVERIFY(run.t->messages.shown[0].text.startsWith("L'erreur "));
        QVERIFY(!run.t->pointer.busy);
        QVERIFY(!run.catalogue().hasCurrentRecord());

        QVERIFY(QFile::remove(run.folder.catalogue()));
        run.recherche().Command3D3_Click();
        QCOMPARE(run.t->programEnd.ended, 1);
        QVERIFY(!run.t->pointer.busy);
    }

    void displayStepsOffBothEndsAndBack()
    {
        Search run;
        const QString file = run.folder.catalogue();
        TestDb::createCatalogue(file);
        addDocument(file, "00001", "A", "590");
        addDocument(file, "", "B", "0");
        addDocument(file, "00003", "C", "A12");
        addDocument(file, "00004", "D", "9");
        writeBmp(run.folder.base() + "/LIVRES/00001.BMP");
        writeBmp(run.folder.base() + "/LIVRES/00004.BMP", Qt::blue);
        TestDb::createDescriptors(run.folder.descriptors());
        TestDb::insert(run.folder.descriptors(), "luma+", {"descripteur"}, {"loup"});
        run.start();
        for (int i = 0; i < 10; ++i)
            run.module().setCouleur(i, short(10 * i), short(i), 0);
        run.catalogue().setRecordSource("SELECT * FROM luma ORDER BY titre");
        run.catalogue().refresh();

        feuilleaffichage &d = run.affichage();
        // The page shown: number, title, cover file ("" when none), class
        // colour (-1: no frame), and "<" ">" for the steps enabled.
        const auto expect = [&d](const QString &want) {
            const QString frame = QString::number(d.Forme1()->isHidden() ? -1 : d.couleurCadre().green());
            QCOMPARE(QStringList({d.Etiquette4()->text(), d.Etiquette3()->text(),
                                  d.Dessin1()->picture().source().section('/', -1), frame,
                                  QString(d.Commande1()->isEnabled() ? "<" : "") + (d.Commande2()->isEnabled() ? ">" : "")})
                         .join('|'),
                     want);
        };
        const QString empty = "|||-1|<";

        whileOpen(d, [&] {
            expect("00001|A|00001.BMP|5|<>");
            d.Commande2_Click();
            expect("|B|00001.BMP|0|<>"); // no number: the cover stays
            d.Picture2_Click();
            expect("00003|C||-1|<>");               // missing cover, letter class
            QCOMPARE(d.couleurCadre().green(), 0); // the hidden frame keeps its colour
            d.Commande2_Click();
            expect("00004|D|00004.BMP|9|<>");
            d.Commande2_Click();
            expect(empty);
            d.Commande2_Click(); // goes no further
            d.Picture2_Click();
            expect(empty);
            d.Commande1_Click();
            expect("00004|D|00004.BMP|9|<>");
            for (int k = 0; k < 6; ++k)
                d.Picture1_Click();
            expect("|||-1|>");
            d.Commande2_Click();
            expect("00001|A|00001.BMP|5|<>");
            // The loudspeakers only speak.
            d.Picture4_Click();
            d.Picture5_Click();
            expect("00001|A|00001.BMP|5|<>");
            QTest::mouseClick(child<Button3D>(d, "Command3D3"), Qt::LeftButton);
        }, [&] { d.exec(); });

        const QString sons = QDir(run.folder.base()).filePath("SONS/");
        QCOMPARE(run.t->sound.played, QStringList({sons + "AVANT.WAV", sons + "APRES.WAV", sons + "FERME.WAV"}));
        QVERIFY2(run.t->messages.shown.isEmpty(), qPrintable(run.t->messages.shown.value(0).text));
        QVERIFY(!run.t->pointer.busy);
    }

    // A word of the list, then the cover, title and number of the document
    // it finds, each touched; an empty page says nothing.
    void touchedWordsAreSaid()
    {
        Search run;
        searchCatalogue(run);
        TestDb::insert(run.folder.descriptors(), "luma+", {"descripteur"}, {" éléphant "});
        run.start();
        QListWidget *words = run.descripteurs().Liste1();
        run.descripteurs().show();
        const QListWidgetItem *item = words->findItems(" éléphant ", Qt::MatchExactly).value(0);
        QVERIFY(item);
        const QPoint at = words->visualItemRect(item).center();
        whileOpen(run.affichage(), [&] {
            feuilleaffichage &d = run.affichage();
            QTest::mouseClick(d.Dessin1(), Qt::LeftButton);
            QTest::mouseClick(d.Etiquette3(), Qt::LeftButton);
            QTest::mouseClick(d.Etiquette4(), Qt::LeftButton);
            QTest::mouseClick(d.Commande2(), Qt::LeftButton);
            QTest::mouseClick(d.Etiquette3(), Qt::LeftButton);
            QTest::mouseClick(d.Etiquette4(), Qt::LeftButton);
            QTest::mouseClick(child<Button3D>(d, "Command3D3"), Qt::LeftButton);
        }, [&] {
            QTest::mouseClick(words->viewport(), Qt::LeftButton, {}, at);
            run.descripteurs().Liste1_DblClick();
        });
        QCOMPARE(run.t->speech.said, QStringList({"éléphant", "L'ours et l'éléphant", "L'ours et l'éléphant",
                                                  "numéro, zéro, zéro, zéro, zéro, cinq"}));
        QCOMPARE(run.t->sound.played, QStringList({QDir(run.folder.base()).filePath("SONS/FERME.WAV")}));
    }

    // Back from the display, the typed word keeps the keyboard.
    void wordScreenKeepsTheFocus()
    {
        Search run;
        searchCatalogue(run);
        run.start();
        Feuillerecherche &screen = run.recherche();
        Feuilleécriture &écriture = run.écriture();
        bool focusAfterDisplay = false, displayed = false;
        whileOpen(écriture, [&] {
            QTest::keyClicks(écriture.Texte1(), "ours");
            whileOpen(run.affichage(), [&] {
                displayed = run.affichage().Etiquette4()->text() == "00002";
                QTest::mouseClick(child<Button3D>(run.affichage(), "Command3D3"), Qt::LeftButton);
            }, [&] { QTest::mouseClick(écriture.Dessin3(), Qt::LeftButton); });
            focusAfterDisplay = écriture.focusWidget() == écriture.Texte1();
            QTest::mouseClick(child<Button3D>(écriture, "Command3D3"), Qt::LeftButton);
        }, [&] { QTest::mouseClick(child<Button3D>(screen, "Command3D1"), Qt::LeftButton); });
        QVERIFY(displayed);
        QVERIFY(focusAfterDisplay);
    }

    void descriptorList_data()
    {
        QTest::addColumn<QVariantList>("stored"); // {"<no file>"}: COTATION.MDB removed
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("told"); // in the one message about the file; empty for none
        QTest::newRow("sorted, duplicates kept") << QVariantList{"loup", "chat", "loup", "Âne"}
                                                 << QStringList{"Âne", "chat", "loup", "loup"} << "";
        QTest::newRow("empty values skipped") << QVariantList{"", QVariant(), "  ", "ours"} << QStringList{"ours"} << "";
        QTest::newRow("blanks kept as stored") << QVariantList{" loup "} << QStringList{" loup "} << "";
        QTest::newRow("only empty values, no message") << QVariantList{"", QVariant()} << QStringList{} << "";
        QTest::newRow("missing file") << QVariantList{"<no file>"} << QStringList{} << "introuvable";
        QTest::newRow("empty table") << QVariantList{} << QStringList{} << "vide";
    }
    void descriptorList()
    {
        QFETCH(QVariantList, stored);
        QFETCH(QStringList, listed);
        QFETCH(QString, told);
        Search run;
        searchCatalogue(run);
        TestDb::exec(run.folder.descriptors(), "DELETE FROM [luma+]");
        if (stored == QVariantList{"<no file>"})
            QVERIFY(QFile::remove(run.folder.descriptors()));
        else
            for (const QVariant &value : stored)
                TestDb::insert(run.folder.descriptors(), "luma+", {"descripteur"}, {value});
        run.start();
        QCOMPARE(run.listed(), listed);
        if (told.isEmpty()) {
            QVERIFY(run.t->messages.shown.isEmpty());
            return;
        }
        QCOMPARE(run.t->messages.shown.size(), 1);
        const ShownMessage &message = run.t->messages.shown[0];
        QVERIFY2(message.text.contains("COTATION.MDB") && message.text.contains(told), qPrintable(message.text));
        QCOMPARE(message.title, QString("La LUMA"));
        QCOMPARE(message.icon, MsgIcon::Information);
        // The screen still searches, with the empty word.
        QCOMPARE(run.searchDescriptor(QString()).size(), 9);
    }

    // After a search, closing the search screen gives the lending screens the
    // whole catalogue again: a document the search did not find is lent.
    void closingRestoresTheCatalogueForLending()
    {
        Search run;
        searchCatalogue(run);
        TestDb::createSchool(run.folder.schoolDb());
        TestDb::addClass(run.folder.schoolDb(), "1", "Mme Lefèvre");
        TestDb::addChild(run.folder.schoolDb(), "12", "MARTIN", "Léa", "01");
        run.start();
        Feuillerecherche &screen = run.recherche();
        whileOpen(screen, [&] {
            QCOMPARE(run.searchWord("mer"), QStringList{"00004"});
            QTest::mouseClick(child<Button3D>(screen, "Command3D3"), Qt::LeftButton);
        }, [&] { screen.exec(); });
        QCOMPARE(run.catalogue().recordSource(), QString("SELECT * FROM luma ORDER BY inventaire ASC"));
        QCOMPARE(run.catalogue().recordCount(), 10);

        Feuilleenfant &data = run.t->context.données();
        data.Donnée1().setDatabaseName(run.folder.schoolDb());
        Feuilleécole &école = run.t->context.FeuilleÉcole();
        Feuilleclasse &classe = run.t->context.FeuilleClasse();
        feuilledocument &document = run.t->context.FeuilleDocument();
        école.Dessin1(0)->show();
        école.Dessin1_Click(0);
        whileOpen(classe, [&] {
            QTest::mouseClick(classe.Dessin1(0), Qt::LeftButton);
            whileOpen(document, [&] {
                document.Text1()->setText("2");
                QTest::mouseClick(document.Command3D4(), Qt::LeftButton);
            }, [&] { classe.Command3D1_Click(); });
        }, [&] { école.Command3D1_Click(); });
        QCOMPARE(TestDb::scalar(run.folder.catalogue(), "SELECT emprunteur FROM luma WHERE inventaire = '00002'"),
                 QString("12"));
        QVERIFY2(run.t->messages.shown.isEmpty(), qPrintable(run.t->messages.shown.value(0).text));
    }
};

QTEST_MAIN(SearchTest)
#include "tst_search.moc"
