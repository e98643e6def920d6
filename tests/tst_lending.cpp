// The lending chain: class choice, child choice, document entry, borrow and
// return, on temporary data folders with fake platform services.

#include "datafolder.h"
#include "files.h"
#include "groups.h"
#include "lockholder.h"
#include "screens.h"
#include "testcontext.h"
#include "testdb.h"

#include "app/intentionpret.h"
#include "lending/pret.h"
#include "lending/feuilleclasse.h"
#include "lending/feuilledocument.h"
#include "lending/feuilleecole.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

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
    QByteArray journal(const QString &day) { return folder.readFile(QStringLiteral("LALUMA/") + day + ".JNL"); }
    void setNow(int day, int hour, int minute)
    {
        t->clock.current = QDateTime(QDate(2026, 12, day), QTime(hour, minute));
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
void oneClass(Lending &run, const QStringList &matricules)
{
    TestDb::createSchool(run.folder.schoolDb());
    TestDb::addClass(run.folder.schoolDb(), "1", "Mme Lefèvre");
    for (int i = 0; i < matricules.size(); ++i)
        TestDb::addChild(run.folder.schoolDb(), matricules[i], QStringLiteral("N%1").arg(i, 2, 10, QLatin1Char('0')),
                         QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0')), "01");
    TestDb::createCatalogue(run.folder.catalogue());
}

// The catalogue as the folder conversion may leave it: numbers may repeat.
void withoutUniqueNumbers(const QString &catalogue)
{
    TestDb::exec(catalogue, "CREATE TABLE copie AS SELECT * FROM luma; DROP TABLE luma; "
                            "ALTER TABLE copie RENAME TO luma");
}

// Every file of the data folder but the intents, with its bytes.
QHash<QString, QByteArray> snapshot(const QString &base)
{
    QHash<QString, QByteArray> files;
    for (const QFileInfo &info : QDir(base).entryInfoList(QDir::Files))
        files.insert(info.fileName(), fileContents(info.filePath()));
    return files;
}

// An intent as a kiosk leaves it, or as anyone may write it: one
// "key=base64" line per value.
using IntentValues = QList<QPair<QString, QByteArray>>;
QString writeIntent(const QString &base, const QString &name, const IntentValues &values)
{
    QDir().mkpath(base + "/EN-COURS");
    QByteArray bytes;
    for (const auto &[key, value] : values)
        bytes += key.toUtf8() + '=' + value.toBase64() + '\n';
    const QString path = base + "/EN-COURS/" + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// The intent of a borrow of `inventaire` (row `rowid`) from the shelf.
IntentValues borrowIntent(const QString &inventaire, qint64 rowid, const QByteArray &entry)
{
    return {{"journal", "26-12-05.JNL"},
            {"entree", entry},
            {"rowid", QByteArray::number(rowid)},
            {"inventaire", inventaire.toUtf8()},
            {"avant.inventaire", inventaire.toUtf8()},
            {"avant.emprunté", "N"},
            {"avant.emprunteur", ""},
            {"avant.cumul", "2"},
            {"avant.dateemprunt", "01/12/2026"},
            {"fin", "1"}};
}

qint64 rowidOf(const QString &catalogue, const QString &condition)
{
    return TestDb::scalar(catalogue, "SELECT rowid FROM luma WHERE " + condition).toLongLong();
}

QStringList intents(const QString &base)
{
    return QDir(base + "/EN-COURS").entryList({"*.PRET"}, QDir::Files | QDir::System);
}

// Notes, at each box, the lending lock and intents that no other kiosk could
// take while it is open.
std::function<void(const ShownMessage &)> noteHeld(const QString &base, QStringList &held)
{
    return [base, &held](const ShownMessage &) {
        for (const QString &name : QStringList{"PRETS.LCK"} + intents(base))
            if (QFileInfo(base + "/EN-COURS/" + name).isFile() &&
                !LockHolder::freeForAnother(base + "/EN-COURS/" + name))
                held << name;
    };
}

} // namespace

class LendingTest : public QObject
{
    Q_OBJECT

private slots:
    void loanAndReturnThroughTheScreens()
    {
        Lending run;
        run.folder.fillSmallSchool();
        writeBmp(run.folder.base() + "/LIVRES/00042.BMP");
        writeBmp(run.folder.school() + "/12.BMP", Qt::blue);
        run.start();
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
        QCOMPARE(run.field("00042", "emprunté"), QString("O"));
        QCOMPARE(run.field("00042", "emprunteur"), QString("12"));
        QCOMPARE(run.field("00042", "catégorieemprunteur"), QString("école"));
        QCOMPARE(run.field("00042", "dateemprunt"), QString("05/12/2026"));
        QCOMPARE(run.field("00042", "cumul"), QString("1"));
        // Windows-1252, CR LF, each line between quotes.
        const QByteArray who = "\"Emprunteur : 12 (emprunteur \xE9" "cole - classe 01 - MS) - MARTIN L\xE9" "a\"\r\n"
                               "\"Document : 00042 - Le loup - \xC9" "ditions du Pr\xE9\"\r\n";
        const QByteArray loan = "\"05/12/2026 - 14:30 - Emprunt d'un document\"\r\n" + who +
                                "\"emprunt\xE9 le 05/12/2026\"\r\n";
        QCOMPARE(run.journal("26-12-05"), loan);

        // Three days later Léa brings it back: return mode, no number pad.
        run.setNow(8, 9, 15);
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
        QCOMPARE(run.field("00042", "emprunté"), QString("N"));
        QCOMPARE(run.field("00042", "emprunteur"), QString(""));
        QCOMPARE(run.field("00042", "catégorieemprunteur"), QString(""));
        QCOMPARE(run.field("00042", "dateemprunt"), QString("08/12/2026"));
        QCOMPARE(run.field("00042", "cumul"), QString("1"));
        QCOMPARE(run.journal("26-12-08"),
                 "\"08/12/2026 - 09:15 - Restitution d'un document\"\r\n" + who +
                     "\"emprunt\xE9 le 05/12/2026 - restitu\xE9 le 08/12/2026 -  3 jours\"\r\n");
        QCOMPARE(run.journal("26-12-05"), loan);

        const QString sons = QDir(run.folder.base()).filePath("SONS/");
        QCOMPARE(run.t->sound.played, QStringList({sons + "EMPRUNTE.WAV", sons + "FERME.WAV", sons + "RENDS.WAV"}));
        QVERIFY(run.t->messages.shown.isEmpty());
    }

    // The loan count is a number stored as text.
    void borrowCountsOneMoreLoan_data()
    {
        QTest::addColumn<QString>("cumul");
        QTest::addColumn<QString>("after");
        QTest::newRow("4") << "4" << "5";
        QTest::newRow("9") << "9" << "10";
        QTest::newRow("beyond any integer") << "99999999999999999999" << "100000000000000000000";
    }
    void borrowCountsOneMoreLoan()
    {
        QFETCH(QString, cumul);
        QFETCH(QString, after);
        Lending run;
        oneClass(run, {"12"});
        TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", "N", "", "", "", cumul);
        run.start();
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            run.doc().Command3D1_Click(1);
            run.doc().Command3D4_Click();
        });
        QCOMPARE(run.field("00001", "emprunteur"), QString("12"));
        QCOMPARE(run.field("00001", "cumul"), after);
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

    // The first name is said as it appears; with the voice off nothing is
    // said, and the recorded sounds still play.
    void childChoiceSaysTheFirstName_data()
    {
        QTest::addColumn<bool>("voice");
        QTest::newRow("voice") << true;
        QTest::newRow("--sans-voix") << false;
    }
    void childChoiceSaysTheFirstName()
    {
        QFETCH(bool, voice);
        Lending run;
        run.folder.fillSmallSchool();
        run.start();
        run.t->module().setVoix(voice);
        run.openClass(0, [&] {
            QTest::mouseClick(run.classe().Dessin1(1), Qt::LeftButton);
            QTest::mouseClick(run.classe().Dessin1(0), Qt::LeftButton);
            QTest::mouseClick(run.classe().Picture1(), Qt::LeftButton);
            whileOpen(run.doc(), [&] { QTest::mouseClick(child<Button3D>(run.doc(), "Command3D1_1"), Qt::LeftButton); },
                      [&] { QTest::mouseClick(run.classe().Command3D1(), Qt::LeftButton); });
        });
        // Sorted by surname: BERNARD Zoé, then MARTIN Léa.
        QCOMPARE(run.t->speech.said, voice ? QStringList({"Léa", "Zoé", "un, Le loup"}) : QStringList());
        QStringList played;
        for (const QString &path : run.t->sound.played)
            played << path.section('/', -1);
        QCOMPARE(played, QStringList({"EMPRUNTE.WAV", "EMPRUNTE.WAV"}));
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

    void refusedSaveIsNoLoanNorReturn_data()
    {
        QTest::addColumn<bool>("borrow");
        QTest::newRow("borrow") << true;
        QTest::newRow("return") << false;
    }
    void refusedSaveIsNoLoanNorReturn()
    {
        QFETCH(bool, borrow);
        Lending run;
        oneClass(run, {"12"});
        TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", borrow ? "N" : "O", borrow ? "" : "12",
                            borrow ? "" : "école", "01/12/2026", "2");
        TestDb::exec(run.folder.catalogue(),
                     "CREATE TRIGGER refuse BEFORE UPDATE ON luma BEGIN SELECT RAISE(ABORT, 'refusé'); END;");
        run.start();
        bool waiting = false;
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            if (borrow) {
                run.doc().Command3D1_Click(1);
                run.doc().Command3D4_Click();
            } else {
                run.doc().Command3D5_Click();
            }
            waiting = run.waitingForChild();
        });
        QCOMPARE(run.t->messages.shown.size(), 1);
        QVERIFY(waiting);
        QVERIFY(!run.folder.exists("LALUMA/26-12-05.JNL"));
        const QString before = borrow ? "N" : "O";
        QCOMPARE(run.field("00001", "emprunté"), before);
        QCOMPARE(run.field("00001", "cumul"), QString("2"));
        QCOMPARE(run.field("00001", "dateemprunt"), QString("01/12/2026"));
        // The bound fields show the record as saved, not the refused edits.
        QCOMPARE(run.t->context.données().Etiquette6().text(), before);
        QCOMPARE(run.t->context.données().Etiquette12().text(), QString("2"));
    }

    // Another kiosk, or the management program, changes the document between
    // the moment the child sees it and the touch: nothing is written or
    // journaled, and the child sees what the record now calls for.
    void changedSinceShownIsNeitherLoanNorReturn_data()
    {
        QTest::addColumn<bool>("borrow");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("title");
        QTest::newRow("lent elsewhere") << true << "emprunté = 'O', emprunteur = '99', cumul = '3'"
                                        << " Ce livre est déjà emprunté.";
        QTest::newRow("count changed") << true << "cumul = '7'" << " Le loup";
        QTest::newRow("another document in its row") << true << "inventaire = '00077'"
                                                     << " Pas de livre avec ce numéro...";
        QTest::newRow("returned elsewhere") << false << "emprunté = 'N', emprunteur = '', dateemprunt = '04/12/2026'"
                                            << "";
    }
    void changedSinceShownIsNeitherLoanNorReturn()
    {
        QFETCH(bool, borrow);
        QFETCH(QString, change);
        QFETCH(QString, title);
        Lending run;
        oneClass(run, {"12"});
        TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", borrow ? "N" : "O", borrow ? "" : "12",
                            borrow ? "" : "école", "01/12/2026", "2");
        run.start();
        QString titleAfter;
        bool stillOnDocument = false, borrowOffered = false;
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            whileOpen(run.doc(), [&] {
                if (borrow)
                    run.doc().Command3D1_Click(1);
                TestDb::exec(run.folder.catalogue(), "UPDATE luma SET " + change);
                if (borrow)
                    QTest::mouseClick(run.doc().Command3D4(), Qt::LeftButton);
                else
                    QTest::mouseClick(run.doc().Command3D5(), Qt::LeftButton);
                titleAfter = run.doc().Panel3D1()->text();
                stillOnDocument = run.doc().isVisible();
            }, [&] { run.classe().Command3D1_Click(); });
            // The same child, now holding nothing: borrowing is offered.
            run.classe().Dessin1_Click(0);
            borrowOffered = !run.classe().Command3D1()->isHidden() &&
                            run.classe().Command3D1()->picture().sameAs(run.doc().Command3D4()->picture());
        });
        QVERIFY(!run.folder.exists("LALUMA/26-12-05.JNL"));
        QCOMPARE(QDir(run.folder.base() + "/EN-COURS").entryList({"*.PRET"}, QDir::Files), QStringList());
        QVERIFY(run.t->messages.shown.isEmpty());
        if (borrow) {
            QVERIFY(stillOnDocument);
            QCOMPARE(titleAfter, title);
            QVERIFY(!run.doc().Command3D4()->isVisibleTo(&run.doc()) || title == " Le loup");
        } else {
            QVERIFY(!stillOnDocument);
            QVERIFY(borrowOffered);
            QCOMPARE(run.field("00001", "dateemprunt"), QString("04/12/2026"));
        }
        QVERIFY(run.field("00001", "emprunteur") != "12" || !borrow);
    }

    // A kiosk stopped at any point of a borrow: the next start journals the
    // loan it saved, exactly once, and drops what it never saved. It looks at
    // the very record the intent names: a number written with an apostrophe,
    // or shared by two books (the intent names "Le loup bis").
    void interruptedLoansAreSettledAtTheNextStart_data()
    {
        QTest::addColumn<QString>("stoppedAfter");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("saved"); // title of the row saved since the intent
        QTest::addColumn<bool>("journaled");
        QTest::newRow("intent cut short") << "part of the intent" << "00001" << "" << false;
        QTest::newRow("before the save") << "intent" << "00001" << "" << false;
        QTest::newRow("after the save") << "save" << "00001" << "Le loup" << true;
        QTest::newRow("after the entry") << "entry" << "00001" << "Le loup" << true;
        QTest::newRow("apostrophe in the number") << "save" << "00'01" << "Le loup" << true;
        QTest::newRow("repeated number, its row saved") << "save" << "00002" << "Le loup bis" << true;
        QTest::newRow("repeated number, the other row changed") << "save" << "00002" << "Le loup" << false;
    }
    void interruptedLoansAreSettledAtTheNextStart()
    {
        QFETCH(QString, stoppedAfter);
        QFETCH(QString, number);
        QFETCH(QString, saved);
        QFETCH(bool, journaled);
        Lending run;
        oneClass(run, {"12"});
        const QString catalogue = run.folder.catalogue();
        withoutUniqueNumbers(catalogue);
        TestDb::addDocument(catalogue, number, "Le loup", "O", "N", "", "", "01/12/2026", "2");
        if (number == "00002")
            TestDb::addDocument(catalogue, number, "Le loup bis", "O", "N", "", "", "01/12/2026", "2");
        run.start();
        Module11 &m = run.t->module();
        const Module11::EntreeJournal entry =
            m.composeJournal("Emprunt d'un document",
                             {"12", "01", "MS", "N00", "P00", number, "Le loup", "", "05/12/2026"});
        const QHash<QString, QString> shown{{"inventaire", number}, {"emprunté", "N"}, {"emprunteur", ""},
                                            {"cumul", "2"}, {"dateemprunt", "01/12/2026"}};
        {
            IntentionPret intent = IntentionPret::ecrit(
                m, entry, rowidOf(catalogue, number == "00002" ? "titre = 'Le loup bis'" : "1"), shown);
            // The program stops here: the intent stays, no longer locked.
        }
        const QString folder = run.folder.base() + "/EN-COURS";
        const QString intentFile = QDir(folder).entryInfoList({"*.PRET"}, QDir::Files).value(0).filePath();
        if (stoppedAfter == "part of the intent") {
            QFile cut(intentFile);
            QVERIFY(cut.open(QIODevice::ReadWrite));
            QVERIFY(cut.resize(cut.size() / 2));
        }
        if (!saved.isEmpty())
            TestDb::exec(catalogue, "UPDATE luma SET emprunté = 'O', emprunteur = '12', cumul = '3', "
                                    "catégorieemprunteur = 'école', dateemprunt = '05/12/2026' WHERE titre = '" +
                                        saved + "'");
        if (stoppedAfter == "entry")
            QVERIFY(m.ajouteAuJournal(entry));

        // The next start, on this kiosk or another.
        TestContext next;
        next.module().setCheminBase(run.folder.base());
        reprendIntentions(next.module());
        QCOMPARE(run.journal("26-12-05"), journaled ? entry.octets : QByteArray());
        QCOMPARE(intents(run.folder.base()), QStringList());
        QVERIFY(next.messages.shown.isEmpty());
        // Settled once: a further start changes nothing.
        reprendIntentions(next.module());
        QCOMPARE(run.journal("26-12-05"), journaled ? entry.octets : QByteArray());
    }

    // Whatever the journal holds before a loan stays byte for byte; only a
    // torn entry that the dead kiosk's intent proves its own is cut. In the
    // texts, <E> stands for the loan's entry and <T> for its first 25 bytes.
    void journalKeepsOthersBytes_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("killed"); // the kiosk died after its intent, then `tail` was written
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("LF-only journal") << true << QByteArray("\"a\"\n\"b\"\n") << false << QByteArray()
                                         << QByteArray("\"a\"\n\"b\"\n\r\n<E>");
        QTest::newRow("foreign last line") << true << QByteArray("\"a\"\r\nMot de la ma\xEEtresse") << false
                                           << QByteArray() << QByteArray("\"a\"\r\nMot de la ma\xEEtresse\r\n<E>");
        QTest::newRow("CR alone at the end") << true << QByteArray("\"a\"\r") << false << QByteArray()
                                             << QByteArray("\"a\"\r\r\n<E>");
        QTest::newRow("torn entry, no intent") << true << QByteArray("\"a\"\r\n<T>") << false << QByteArray()
                                               << QByteArray("\"a\"\r\n<T>\r\n<E>");
        QTest::newRow("torn entry of a killed kiosk") << true << QByteArray("\"a\"\r\n") << true << QByteArray("<T>")
                                                      << QByteArray("\"a\"\r\n<E>");
        QTest::newRow("torn after a line without end") << true << QByteArray("\"a\"") << true
                                                       << QByteArray("\r\n<T>") << QByteArray("\"a\"\r\n<E>");
        QTest::newRow("torn inside the line end") << true << QByteArray("\"a\"") << true << QByteArray("\r")
                                                  << QByteArray("\"a\"\r\n<E>");
        QTest::newRow("torn in a new journal") << false << QByteArray() << true << QByteArray("<T>")
                                               << QByteArray("<E>");
        QTest::newRow("written whole, then killed") << true << QByteArray("\"a\"\n") << true << QByteArray("\r\n<E>")
                                                    << QByteArray("\"a\"\n\r\n<E>");
        QTest::newRow("a teacher's line after the intent") << true << QByteArray("\"a\"\r\n") << true
                                                           << QByteArray("\"note\"\n")
                                                           << QByteArray("\"a\"\r\n\"note\"\n\r\n<E>");
        QTest::newRow("journal rewritten shorter") << true << QByteArray("\"a\"\r\n\"b\"\r\n") << true
                                                   << QByteArray("<rewritten>") << QByteArray("\"a\"\n\r\n<E>");
    }
    void journalKeepsOthersBytes()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, before);
        QFETCH(bool, killed);
        QFETCH(QByteArray, tail);
        QFETCH(QByteArray, expected);
        Lending run;
        oneClass(run, {"12"});
        TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", "N", "", "", "01/12/2026", "2");
        run.start();
        Module11 &m = run.t->module();
        const Module11::EntreeJournal entry =
            m.composeJournal("Emprunt d'un document",
                             {"12", "01", "MS", "N00", "P00", "00001", "Le loup", "", "05/12/2026"});
        const auto fill = [&](QByteArray text) {
            return text.replace("<E>", entry.octets).replace("<T>", entry.octets.left(25));
        };
        const QString journal = "LALUMA/26-12-05.JNL";
        if (exists)
            run.folder.writeFile(journal, fill(before));
        if (!killed) {
            QVERIFY(m.ajouteAuJournal(entry));
        } else {
            {
                const TextFile::FileLock lock = verrouPrets(m);
                IntentionPret intent = IntentionPret::ecrit(
                    m, entry, rowidOf(run.folder.catalogue(), "inventaire = '00001'"),
                    {{"inventaire", "00001"}, {"emprunté", "N"}, {"emprunteur", ""}, {"cumul", "2"},
                     {"dateemprunt", "01/12/2026"}});
                TestDb::exec(run.folder.catalogue(), "UPDATE luma SET emprunté = 'O', emprunteur = '12', cumul = '3'");
                if (tail == "<rewritten>")
                    run.folder.writeFile(journal, "\"a\"\n");
                else
                    run.folder.writeFile(journal, (exists ? fill(before) : QByteArray()) + fill(tail));
                // The kiosk stops here: its intent stays.
            }
            const bool writtenAlready = run.journal("26-12-05") == fill(expected);
            TestContext next;
            next.module().setCheminBase(run.folder.base());
            QCOMPARE(reprendIntentions(next.module()), writtenAlready ? 0 : 1);
            QVERIFY(next.messages.shown.isEmpty());
        }
        QCOMPARE(run.journal("26-12-05"), fill(expected));
    }

    // A link planted where the loan writes (today's journal, the lending
    // lock, the folder of intents): the loan is refused with an error,
    // nothing is written where the link points nor anywhere else.
    void loanNeverWritesThroughALink_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("today's journal") << "26-12-05.JNL";
        QTest::newRow("lending lock") << "EN-COURS/PRETS.LCK";
        QTest::newRow("folder of intents") << "EN-COURS";
    }
    void loanNeverWritesThroughALink()
    {
        QFETCH(QString, link);
        Lending run;
        oneClass(run, {"12"});
        TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", "N", "", "", "01/12/2026", "2");
        QTemporaryDir elsewhere;
        const QString target = link == "EN-COURS" ? elsewhere.path() : elsewhere.filePath("precieux.txt");
        if (link != "EN-COURS") {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("ne pas toucher\r\n") == 16);
        }
        QVERIFY(QDir().mkpath(QFileInfo(run.folder.base() + "/" + link).path()));
        QVERIFY(QFile::link(target, run.folder.base() + "/" + link));
        const QHash<QString, QByteArray> before = snapshot(elsewhere.path());
        run.start();
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            run.doc().Command3D1_Click(1);
            run.doc().Command3D4_Click();
        });
        QCOMPARE(run.t->messages.shown.size(), 1);
        QVERIFY2(run.t->messages.shown[0].text.contains("lien"), qPrintable(run.t->messages.shown[0].text));
        QCOMPARE(run.field("00001", "emprunté"), QString("N"));
        QCOMPARE(snapshot(elsewhere.path()), before);
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(QFileInfo(run.folder.base() + "/" + link).isSymLink());
        QVERIFY(!QFileInfo::exists(run.folder.base() + "/26-12-05.JNL") || link == "26-12-05.JNL");
        QCOMPARE(intents(run.folder.base()), QStringList());
    }

    // Two kiosk accounts share the data folder through a group: what the
    // first creates (EN-COURS, the lock, an intent it left when killed,
    // today's journal) does not stop the second's loan.
    void secondAccountLendsAfterTheFirst_data()
    {
        QTest::addColumn<bool>("firstKilled");
        QTest::newRow("after a loan") << false;
        QTest::newRow("after a loan killed before its entry") << true;
    }
    void secondAccountLendsAfterTheFirst()
    {
        QFETCH(bool, firstKilled);
        if (::geteuid() != 0)
            QSKIP("changing account needs root");
        constexpr gid_t kShared = 4242;
        Lending run;
        oneClass(run, {"12", "13"});
        for (const char *inventaire : {"00001", "00002"})
            TestDb::addDocument(run.folder.catalogue(), inventaire, "Le loup", "O", "N", "", "", "01/12/2026", "2");
        run.start();
        const QByteArray base = QFile::encodeName(run.folder.base());
        QCOMPARE(::chmod(QFile::encodeName(run.folder.root()).constData(), 0755), 0);
        for (const QByteArray &path : {base, base + "/LUMA.MDB"}) {
            QCOMPARE(::chown(path.constData(), 0, kShared), 0);
            QCOMPARE(::chmod(path.constData(), path == base ? 0770 : 0660), 0);
        }
        TestContext kiosk;
        Module11 &m = kiosk.module();
        m.setCheminBase(run.folder.base());
        const auto loan = [&](const QString &matricule, const QString &inventaire, bool killed) {
            const Module11::EntreeJournal entry = m.composeJournal(
                "Emprunt d'un document", {matricule, "01", "MS", "N", "P", inventaire, "Le loup", "", "05/12/2026"});
            const TextFile::FileLock lock = verrouPrets(m);
            IntentionPret intent = IntentionPret::ecrit(m, entry,
                                                        rowidOf(run.folder.catalogue(), "inventaire = '" + inventaire + "'"),
                                                        {{"inventaire", inventaire}, {"emprunté", "N"},
                                                         {"emprunteur", ""}, {"cumul", "2"},
                                                         {"dateemprunt", "01/12/2026"}});
            TestDb::exec(run.folder.catalogue(), "UPDATE luma SET emprunté = 'O', emprunteur = '" + matricule +
                                                     "' WHERE inventaire = '" + inventaire + "'");
            if (killed)
                ::_exit(0);
            if (!m.ajouteAuJournal(entry))
                return false;
            intent.termine();
            return true;
        };
        QCOMPARE(asAccount(65534, 65534, kShared, [&] { return loan("12", "00001", firstKilled); }), 0);
        QCOMPARE(asAccount(4243, 4243, kShared, [&] { return loan("13", "00002", false); }), 0);

        QCOMPARE(run.field("00002", "emprunteur"), QString("13"));
        const QByteArray journal = run.journal("26-12-05");
        QCOMPARE(journal.count("Emprunt d'un document"), 2);
        QVERIFY(journal.indexOf("Emprunteur : 12") < journal.indexOf("Emprunteur : 13"));
        QCOMPARE(QDir(run.folder.base() + "/EN-COURS").entryList({"*.PRET"}, QDir::Files), QStringList());
    }

    // Another program keeps the lending lock (a read lock, which any account
    // that can read the file can take; a kiosk stopped in its loan) or a
    // living kiosk's intent: the borrow gives up at the deadline through the
    // error report, writing nothing, and the start-up still finishes.
    void lendingGivesUpWhenALockIsKept_data()
    {
        QTest::addColumn<QString>("held");
        QTest::addColumn<int>("holder");
        QTest::addColumn<int>("count");
        QTest::newRow("lending lock read by another account") << "PRETS.LCK" << int(LockHolder::Kind::Read) << 1;
        QTest::newRow("lending lock of a stopped kiosk") << "PRETS.LCK" << int(LockHolder::Kind::Stopped) << 1;
        QTest::newRow("intents of living kiosks") << "AUTRE%1.PRET" << int(LockHolder::Kind::Write) << 4;
    }
    void lendingGivesUpWhenALockIsKept()
    {
        QFETCH(QString, held);
        QFETCH(int, holder);
        QFETCH(int, count);
        Lending run;
        oneClass(run, {"12"});
        TestDb::addDocument(run.folder.catalogue(), "00001", "Le loup", "O", "N", "", "", "01/12/2026", "2");
        const QString base = run.folder.base();
        QDir().mkpath(base + "/EN-COURS");
        std::vector<std::unique_ptr<LockHolder>> others;
        QStringList kept;
        for (int i = 0; i < count; ++i) {
            const QString name = held.contains("%1") ? held.arg(i) : held;
            if (name.endsWith(".PRET")) {
                writeIntent(base, name, borrowIntent("00001", rowidOf(run.folder.catalogue(), "1"), "\"x\"\r\n"));
                kept << name;
            } else {
                QFile lockFile(base + "/EN-COURS/" + name);
                QVERIFY(lockFile.open(QIODevice::WriteOnly));
            }
            others.push_back(std::make_unique<LockHolder>(base + "/EN-COURS/" + name, LockHolder::Kind(holder)));
            QVERIFY(others.back()->holds());
        }
        run.start();
        run.t->module().setDélaiVerrou(400ms);
        const QHash<QString, QByteArray> before = snapshot(base);

        // The screen keeps being served while the kiosk waits, under the
        // waiting pointer.
        bool servedWhileWaiting = false, hourglass = false;
        QElapsedTimer timer;
        timer.start();
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            run.doc().Command3D1_Click(1);
            QTimer::singleShot(100ms, &run.doc(), [&] {
                servedWhileWaiting = true;
                hourglass = run.t->pointer.busy;
            });
            run.doc().Command3D4_Click();
        });
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(servedWhileWaiting);
        QVERIFY(hourglass);
        QVERIFY(!run.t->pointer.busy);
        QCOMPARE(run.t->messages.shown.size(), 1);
        const ShownMessage &box = run.t->messages.shown[0];
        QVERIFY2(box.text.contains("3218") && box.text.contains("autre poste"), qPrintable(box.text));
        QCOMPARE(box.title, QString("La LUMA - cycle 1"));
        QCOMPARE(snapshot(base), before);
        QCOMPARE(intents(base), kept);

        // The next start finishes as well, waiting once, and says what it
        // could not do.
        TestContext next;
        next.module().setCheminBase(base);
        next.module().setDélaiVerrou(400ms);
        timer.restart();
        next.module().trapped([&] { reprendIntentions(next.module()); });
        QVERIFY2(timer.elapsed() < 1200, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(next.messages.shown.size(), count);
        for (const ShownMessage &shown : next.messages.shown)
            QVERIFY2(shown.text.contains("3218"), qPrintable(shown.text));
        QCOMPARE(snapshot(base), before);
        QCOMPARE(intents(base), kept);
    }

    // Whatever goes wrong during a loan, the box that says so is shown once
    // the lending lock and the intent are let go: another kiosk could take
    // them while it is open. (Refused intents: see below.)
    void noBoxWhileTheLendingLockIsHeld_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("save refused") << "save";
        QTest::newRow("journal refused") << "journal";
    }
    void noBoxWhileTheLendingLockIsHeld()
    {
        QFETCH(QString, fault);
        Lending run;
        oneClass(run, {"12"});
        const QString catalogue = run.folder.catalogue();
        TestDb::addDocument(catalogue, "00001", "Le loup", "O", "N", "", "", "01/12/2026", "2");
        const QString base = run.folder.base();
        if (fault == "save")
            TestDb::exec(catalogue, "CREATE TRIGGER refuse BEFORE UPDATE ON luma BEGIN SELECT RAISE(ABORT, 'refusé'); END;");
        else
            QVERIFY(QDir().mkpath(base + "/26-12-05.JNL")); // a folder: the append fails
        run.start();
        QStringList held;
        run.t->messages.onShow = noteHeld(base, held);
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            run.doc().Command3D1_Click(1);
            run.doc().Command3D4_Click();
        });
        QCOMPARE(run.t->messages.shown.size(), 1);
        QCOMPARE(held, QStringList());
    }

    // An intent is read as what anyone may have written: one that names
    // another file as its journal, other fields, or a record that cannot be
    // found exactly is kept and reported at each start (not at each loan),
    // and nothing is written by guess: not the catalogue, not a journal.
    void intentsAreCheckedBeforeTheyAreSettled_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // "<none>": left out
        QTest::newRow("journal named LUMA.MDB") << "journal" << "LUMA.MDB";
        QTest::newRow("journal outside the folder") << "journal" << "../26-12-05.JNL";
        QTest::newRow("journal not named by a day") << "journal" << "26-12-5.JNL";
        QTest::newRow("journal name with a line end") << "journal" << "26-12-05.JNL\n";
        QTest::newRow("unknown field") << "avant.titre" << "Le loup";
        QTest::newRow("loan field left out") << "avant.cumul" << "<none>";
        QTest::newRow("repeated number, no rowid") << "rowid" << "<none>";
        QTest::newRow("deleted book") << "rowid" << "<deleted>";
        QTest::newRow("rowid of another book") << "rowid" << "<other>";
        QTest::newRow("rowid not a number") << "rowid" << "1 OR 1=1";
        QTest::newRow("entry of five lines") << "entree" << "<five lines>";
        QTest::newRow("entry without its line ends") << "entree" << "\"05/12/2026 - 10:00 - Emprunt\"";
        QTest::newRow("intent linked to /dev/zero") << "<file>" << "<zero>";
        QTest::newRow("intent that is a pipe") << "<file>" << "<pipe>";
    }
    void intentsAreCheckedBeforeTheyAreSettled()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        Lending run;
        oneClass(run, {"12"});
        const QString catalogue = run.folder.catalogue();
        withoutUniqueNumbers(catalogue);
        // Two books numbered 00001: the first lent elsewhere (as if its save
        // happened), the second on the shelf as the intent says; 00002 for
        // a loan meanwhile.
        TestDb::addDocument(catalogue, "00001", "Le loup", "O", "O", "99", "école", "05/12/2026", "3");
        TestDb::addDocument(catalogue, "00001", "Le loup bis", "O", "N", "", "", "01/12/2026", "2");
        TestDb::addDocument(catalogue, "00002", "La chèvre", "O", "N", "", "", "01/12/2026", "2");
        TestDb::addDocument(catalogue, "00001", "Supprimé");
        const qint64 deleted = rowidOf(catalogue, "titre = 'Supprimé'");
        TestDb::exec(catalogue, "DELETE FROM luma WHERE titre = 'Supprimé'");
        const QString base = run.folder.base();
        const QByteArray earlier = "\"05/12/2026 - 09:00 - Emprunt d'un document\"\r\n\"Emprunteur : 7\"\r\n"
                                   "\"Document : 00009\"\r\n\"emprunté le 05/12/2026\"\r\n";
        run.folder.writeFile("LALUMA/26-12-05.JNL", earlier);

        IntentValues values = borrowIntent("00001", rowidOf(catalogue, "titre = 'Le loup'"),
                                           "\"05/12/2026 - 10:00 - Emprunt d'un document\"\r\n\"Emprunteur : 12\"\r\n"
                                           "\"Document : 00001\"\r\n\"emprunté le 05/12/2026\"\r\n");
        const auto at = std::find_if(values.begin(), values.end(), [&](const auto &v) { return v.first == key; });
        QByteArray stored = value.toUtf8();
        if (value == "<deleted>")
            stored = QByteArray::number(deleted);
        if (value == "<other>")
            stored = QByteArray::number(rowidOf(catalogue, "inventaire = '00002'"));
        if (value == "<five lines>")
            stored = values[1].second + "\"\"\r\n";
        if (value == "<none>")
            values.erase(at);
        else if (at != values.end())
            at->second = stored;
        else
            values.insert(values.size() - 1, {key, stored});
        const QString intent = writeIntent(base, "A.PRET", values);
        if (value == "<zero>")
            QVERIFY(QFile::remove(intent) && QFile::link("/dev/zero", intent));
        if (value == "<pipe>")
            QVERIFY(QFile::remove(intent) && ::mkfifo(QFile::encodeName(intent).constData(), 0644) == 0);
        const QHash<QString, QByteArray> before = snapshot(base);

        const auto start = [&] {
            TestContext next;
            next.module().setCheminBase(base);
            QStringList held;
            next.messages.onShow = noteHeld(base, held);
            QCOMPARE(reprendIntentions(next.module()), 0);
            QCOMPARE(held, QStringList());
            QCOMPARE(next.messages.shown.size(), 1);
            QVERIFY2(next.messages.shown[0].text.contains("A.PRET"), qPrintable(next.messages.shown[0].text));
            QCOMPARE(intents(base), QStringList{"A.PRET"});
        };
        start();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(snapshot(base), before);

        // A loan meanwhile passes the intent over without a word.
        run.start();
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            run.doc().Command3D1_Click(2);
            run.doc().Command3D4_Click();
        });
        QVERIFY(run.t->messages.shown.isEmpty());
        QCOMPARE(run.field("00002", "emprunteur"), QString("12"));
        const QByteArray journal = run.journal("26-12-05");
        QVERIFY(journal.startsWith(earlier));
        QCOMPARE(journal.count("\r\n"), 8);
        QVERIFY(journal.mid(earlier.size()).contains("Document : 00002"));

        // Reported again at the next start.
        start();
        QCOMPARE(run.journal("26-12-05"), journal);
    }

    void classOfAnySize_data()
    {
        QTest::addColumn<int>("children");
        QTest::newRow("no child") << 0;
        QTest::newRow("35 children") << 35;
        QTest::newRow("36 children") << 36;
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

        int visible = -1;
        bool classPicture = false, defaultPicture = false;
        QString lastSource, lastChild;
        run.openClass(0, [&] {
            Feuilleclasse &c = run.classe();
            visible = 0;
            for (int k = 0; k < Feuilleclasse::kPhotos; ++k)
                visible += c.Dessin1(k)->isHidden() ? 0 : 1;
            classPicture = c.Dessin2()->picture().sameAs(run.ecole().Dessin1(0)->picture());
            if (children == 0)
                return;
            defaultPicture = c.Dessin1(0)->picture().sameAs(c.Dessin3()->picture());
            lastSource = c.Dessin1(34)->picture().source();
            c.Dessin1_Click(34);
            lastChild = run.t->context.données().Etiquette3().text() + c.Panel3D1()->text();
        });
        QCOMPARE(visible, std::min(children, 35));
        QVERIFY(classPicture);
        QCOMPARE(run.t->messages.shown.size(), children == 0 ? 1 : 0);
        if (children > 0) {
            QVERIFY(defaultPicture);
            QVERIFY2(lastSource.endsWith("/M34.BMP"), qPrintable(lastSource));
            QCOMPARE(lastChild, QString("M34 P34"));
        }
    }
};

QTEST_MAIN(LendingTest)
#include "tst_lending.moc"
