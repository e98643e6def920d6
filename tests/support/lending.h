#pragma once

// Header only: a run of the program's lending screens on a temporary data
// folder, for the tests that link the whole program.

#include "datafolder.h"
#include "lockholder.h"
#include "screens.h"
#include "testcontext.h"
#include "testdb.h"

#include "lending/feuilleclasse.h"
#include "lending/feuilledocument.h"
#include "lending/feuilleecole.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <functional>
#include <memory>

inline const QColor kBlue(0, 0, 255);
inline const QColor kRed(255, 0, 0);

// One run of the program on its own data folder, the cursors opened as the
// start-up leaves them.
struct Lending
{
    DataFolder folder;
    std::unique_ptr<TestContext> t;

    void start()
    {
        for (const char *sound : {"FERME", "EMPRUNTE", "RENDS"})
            folder.writeFile(QStringLiteral("LALUMA/SONS/%1.WAV").arg(QLatin1String(sound)), "RIFF");
        t = std::make_unique<TestContext>();
        t->openAsStartUp(folder);
    }

    Feuilleécole &ecole() { return t->context.FeuilleÉcole(); }
    Feuilleclasse &classe() { return t->context.FeuilleClasse(); }
    feuilledocument &doc() { return t->context.FeuilleDocument(); }

    // Marks class `slot` and opens its children; `inside` runs while the
    // child choice screen is up, which is then closed if still open.
    void openClass(int slot, const std::function<void()> &inside)
    {
        ecole().Dessin1(slot)->show();
        ecole().Dessin1_Click(slot);
        whileOpen(classe(), inside, [this] { ecole().Command3D1_Click(); });
    }

    QString field(const QString &inventaire, const QString &name)
    {
        return TestDb::scalar(folder.catalogue(),
                              QStringLiteral("SELECT \"%1\" FROM luma WHERE inventaire = '%2'").arg(name, inventaire));
    }
    // The loan fields of a document: "emprunté|emprunteur|catégorie|date|cumul".
    QString loan(const QString &inventaire)
    {
        return TestDb::scalar(folder.catalogue(),
                              QStringLiteral("SELECT printf('%s|%s|%s|%s|%s', emprunté, emprunteur, catégorieemprunteur, "
                                             "dateemprunt, cumul) FROM luma WHERE inventaire = '%1'")
                                  .arg(inventaire));
    }
    QByteArray journal(const QString &day) { return folder.readFile(QStringLiteral("LALUMA/") + day + ".JNL"); }
    // The class's first child borrows the document whose number ends in `digit`.
    void borrow(int digit = 1)
    {
        openClass(0, [this, digit] {
            classe().Dessin1_Click(0);
            doc().Command3D1_Click(digit);
            doc().Command3D4_Click();
        });
    }
    bool waitingForChild()
    {
        Feuilleclasse &c = classe();
        for (int k = 0; k < Feuilleclasse::kPhotos; ++k)
            if (!c.Forme1(k)->isHidden())
                return false;
        return c.Command3D1()->isHidden() && c.Picture1()->isHidden() && c.Panel3D1()->text() == " Qui es-tu ?" &&
               c.Panel3D1()->textColor() == kBlue;
    }
};

// A school of one class whose children are given by matricule, surnames
// sorting in the given order, first names "P" + position.
inline void oneClass(Lending &run, const QStringList &matricules)
{
    TestDb::createSchool(run.folder.schoolDb());
    TestDb::addClass(run.folder.schoolDb(), "1", "Mme Lefèvre");
    for (int i = 0; i < matricules.size(); ++i)
        TestDb::addChild(run.folder.schoolDb(), matricules[i], QStringLiteral("N%1").arg(i, 2, 10, QLatin1Char('0')),
                         QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0')), "01");
    TestDb::createCatalogue(run.folder.catalogue());
}

// Child 12 alone in class 1, and one book on the shelf: 00001, "Le loup",
// lent twice before.
inline void oneChildOneBook(Lending &run)
{
    oneClass(run, {"12"});
    TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", "N", "", "", "01/12/2026", "2");
}

// The catalogue as the folder conversion may leave it: numbers may repeat.
inline void withoutUniqueNumbers(const QString &catalogue)
{
    TestDb::exec(catalogue, "CREATE TABLE copie AS SELECT * FROM luma; DROP TABLE luma; "
                            "ALTER TABLE copie RENAME TO luma");
}

// The intents left in the data folder's EN-COURS.
inline QStringList intents(const QString &base)
{
    return QDir(base + "/EN-COURS").entryList({"*.PRET"}, QDir::Files | QDir::System);
}

// Notes, at each box, the lending lock and intents that no other kiosk could
// take while it is open.
inline std::function<void(const ShownMessage &)> noteHeld(const QString &base, QStringList &held)
{
    return [base, &held](const ShownMessage &) {
        for (const QString &name : QStringList{"PRETS.LCK"} + intents(base))
            if (QFileInfo(base + "/EN-COURS/" + name).isFile() &&
                !LockHolder::freeForAnother(base + "/EN-COURS/" + name))
                held << name;
    };
}
