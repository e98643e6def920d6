#pragma once

// Header only: a run of the program's search screens on a temporary data
// folder, for the tests that link the whole program.

#include "datafolder.h"
#include "screens.h"
#include "testcontext.h"
#include "testdb.h"

#include "folder/baseini.h"
#include "search/feuilleaffichage.h"
#include "search/feuilledescripteurs.h"
#include "search/feuilleecriture.h"
#include "search/feuillerecherche.h"
#include "search/recherche1.h"
#include "search/requetes.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

inline const QString kNothingFound = QStringLiteral("Aucun livre n'a été trouvé...");

// One run of the program on its own data folder, as the start-up leaves it:
// colours read, catalogue cursor on the whole catalogue, saved requests and
// descriptor list read.
struct Search
{
    DataFolder folder;
    std::unique_ptr<TestContext> t;

    // On the folder's server when its BASE.INI names one.
    void start()
    {
        for (const char *sound : {"FERME", "AVANT", "APRES"})
            folder.writeFile(QStringLiteral("LALUMA/SONS/%1.WAV").arg(QLatin1String(sound)), "RIFF");
        t = std::make_unique<TestContext>();
        t->context.données().setServeur(serveurDuDossier(folder.base()));
        Module11 &m = t->module();
        m.setCheminBase(folder.base());
        m.setCheminEcole(folder.school());
        m.LitCouleurs();
        Cursor &catalogue = t->context.données().Donnée2();
        catalogue.setDatabaseName(folder.catalogue());
        catalogue.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
        catalogue.refresh();
        t->context.requêtes().ListeRequetes(m);
        descripteurs().ChargeDescripteurs();
    }

    Module11 &module() { return t->module(); }
    Cursor &catalogue() { return t->context.données().Donnée2(); }
    Feuillerecherche &recherche() { return t->context.FeuilleRecherche(); }
    Feuilleécriture &écriture() { return t->context.FeuilleÉcriture(); }
    feuilledescripteurs &descripteurs() { return t->context.FeuilleDescripteurs(); }
    feuilleaffichage &affichage() { return t->context.FeuilleAffichage(); }
    Recherche1 &requêtes() { return t->context.FeuilleRecherche1(); }

    // Marks the class boxes, then leaves for the word screen so that the
    // filter is built, and comes back.
    void chooseClasses(const QList<int> &classes)
    {
        for (int i : classes)
            QTest::mouseClick(recherche().Dessin2(i), Qt::LeftButton);
        whileOpen(écriture(), [] {}, [this] { QTest::mouseClick(child<Button3D>(recherche(), "Command3D1"), Qt::LeftButton); });
    }

    // Runs `search` and, when the document display opens, pages through it
    // with "après" until the empty page: the numbers shown, in order. Null
    // when the display did not open.
    QStringList documentsShown(const std::function<void()> &search)
    {
        QStringList shown;
        bool opened = false;
        QObject guard; // no page-through left pending once this returns
        QTimer::singleShot(0, &guard, [&] {
            feuilleaffichage &display = affichage();
            if (!display.isVisible())
                return;
            opened = true;
            for (int k = 0; k < 100 && display.Commande2()->isEnabled(); ++k) {
                shown << display.Etiquette4()->text();
                QTest::mouseClick(display.Commande2(), Qt::LeftButton);
            }
            display.hide();
        });
        search();
        return opened ? shown : QStringList();
    }

    QStringList searchWord(const QString &word)
    {
        écriture().Texte1()->setText(word);
        return documentsShown([this] { QTest::mouseClick(écriture().Commande2(), Qt::LeftButton); });
    }

    // Selects the descriptor (none when empty) and searches it.
    QStringList searchDescriptor(const QString &descriptor)
    {
        QListWidget *list = descripteurs().Liste1();
        list->clearSelection();
        if (!descriptor.isEmpty()) {
            const QList<QListWidgetItem *> items = list->findItems(descriptor, Qt::MatchExactly);
            if (items.isEmpty())
                qFatal("no descriptor %s", qPrintable(descriptor));
            items.first()->setSelected(true);
        }
        return documentsShown([this] { QTest::mouseClick(descripteurs().Commande2(), Qt::LeftButton); });
    }

    QStringList listed()
    {
        QStringList words;
        for (int i = 0; i < descripteurs().Liste1()->count(); ++i)
            words << descripteurs().Liste1()->item(i)->text();
        return words;
    }
};

inline void addDocument(const QString &file, const QVariant &inventaire, const QVariant &titre, const QVariant &dewey,
                 const QVariant &motsclés = QVariant())
{
    TestDb::insert(file, "luma", {"inventaire", "titre", "dewey", "motsclés", "emprunt", "emprunté"},
                   {inventaire, titre, dewey, motsclés, "O", "N"});
}

// A small catalogue with the words, signs and classes the searches meet.
inline void searchCatalogue(Search &run)
{
    const QString file = run.folder.catalogue();
    TestDb::createCatalogue(file);
    addDocument(file, "00001", "Le loup et l'agneau", "398.2", "conte, loup");
    addDocument(file, "00002", "Petit Ours brun", "843", "ours");
    addDocument(file, "00003", "Les animaux de la forêt", "590", "loup, forêt");
    addDocument(file, "00004", "La mer", "551", "mer, bateau");
    addDocument(file, "00005", "L'ours et l'éléphant", "843", "ours");
    addDocument(file, "00006", "Le chat", "A12", "chat");
    addDocument(file, "00007", "Une histoire de loup", "", "");
    addDocument(file, "00008", "Cent [1] comptines", "784", "comptines");
    addDocument(file, "00009", "Cent 1 comptines", "784", "comptines");
    addDocument(file, "00010", QVariant(), "5", QVariant());
    TestDb::createDescriptors(run.folder.descriptors());
    TestDb::insert(run.folder.descriptors(), "luma+", {"descripteur"}, {"loup"});
}
