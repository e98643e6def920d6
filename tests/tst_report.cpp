// "Qui a quel livre ?": what the report finds in a data folder, the files it
// writes, and that it leaves the data folder as it found it.

#include "pgdossier.h"
#include "commande.h"
#include "datafolder.h"
#include "fakes.h"
#include "files.h"
#include "pgdossier.h"
#include "rapport.h"
#include "testdb.h"

#include <QImage>
#include <QtTest>

#include <sqlite3.h>

namespace {

const QDateTime kMaintenant(QDate(2026, 12, 30), QTime(10, 0));

void ecrisImage(const QString &chemin, const QColor &couleur)
{
    QDir().mkpath(QFileInfo(chemin).path());
    QImage image(60, 80, QImage::Format_RGB32);
    image.fill(couleur);
    QVERIFY(image.save(chemin, "BMP"));
}

struct Lancement
{
    int code = -1;
    QStringList sortie;
    QStringList erreurs;
    FakeMessageBoxes boites;
    QStringList ouverts;
};

} // namespace

class ReportTest : public QObject
{
    Q_OBJECT

private:
    DataFolder m_dossier;
    QTemporaryDir m_sorties;

    QString ecole() const { return m_dossier.schoolDb(); }
    QString catalogue() const { return m_dossier.catalogue(); }

    RapportPrets rapport(int retard = kRetardParDefaut)
    {
        return lisRapport(dossiersDuRapport(m_dossier.base()), kMaintenant, retard);
    }

    std::unique_ptr<Lancement> lance(const QStringList &arguments)
    {
        auto l = std::make_unique<Lancement>();
        FakeClock horloge;
        horloge.current = kMaintenant;
        const ServicesRapport services{
            horloge,
            l->boites,
            [&](const QString &fichier) { l->ouverts << fichier; return true; },
            [&](const QString &ligne) { l->sortie << ligne; },
            [&](const QString &ligne) { l->erreurs << ligne; },
        };
        l->code = lanceRapport(arguments, services);
        return l;
    }

    // A loan as the report gives it: "class|child|days|late|photo|cover", the
    // class "?" for an unknown borrower, "?" days for an unreadable date; "-"
    // when it is no child's loan.
    static QString pret(const RapportPrets &r, const QString &inventaire)
    {
        const auto ligne = [](const QString &classe, const QString &enfant, bool photo, const PretRapport &p) {
            return QStringList{classe, enfant, p.jours ? QString::number(*p.jours) : "?", p.enRetard ? "retard" : "",
                               photo ? "photo" : "", p.couverture.isNull() ? "" : "couverture"}
                .join('|');
        };
        for (const ClasseRapport &c : r.classes)
            for (const EnfantRapport &e : c.enfants)
                for (const PretRapport &p : e.prets)
                    if (p.inventaire == inventaire)
                        return ligne(c.numero, TexteRapport::nomEnfant(e), !e.photo.isNull(), p);
        for (const PretRapport &p : r.inconnus)
            if (p.inventaire == inventaire)
                return ligne("?", "", false, p);
        return "-";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_sorties.isValid());
        TestDb::createSchool(ecole());
        TestDb::addClass(ecole(), "2", "M. Roussel");
        TestDb::addClass(ecole(), "1", "Mme Lefèvre");
        TestDb::addClass(ecole(), "10", "Mme Vide");
        TestDb::addChild(ecole(), "101", "MARTIN", "Léa", "01", "MS");
        TestDb::addChild(ecole(), "102", "BERNARD", "Tom", "01", "MS");
        TestDb::addChild(ecole(), "103", "PETIT", "Zoé", "02", "GS");
        TestDb::addChild(ecole(), "104", "DURAND", "Noé", "02", "GS");
        TestDb::addChild(ecole(), "105", "ROUX", "Max", "10", "PS");
        TestDb::addChild(ecole(), "106", "LEROY", "Inès", "07", "PS");

        // inventaire, titre, emprunt, emprunté, emprunteur, catégorie, date, cumul
        TestDb::createCatalogue(catalogue());
        TestDb::addDocument(catalogue(), "00001", "Le loup", "O", "O", "101", "école", "20/12/2026", "12");
        TestDb::addDocument(catalogue(), "00002", "La ferme", "O", "O", "102", "école", "01/12/2026 10:30:00", "9");
        // As another program may write it: other case, ISO date, blanks.
        TestDb::addDocument(catalogue(), "00003", "Les couleurs", "O", "o", "103 ", "ÉCOLE", "2026-12-09", "100");
        TestDb::addDocument(catalogue(), "00004", "La lune", "O", "O", "999", "école", "01/01/2026", "");
        TestDb::addDocument(catalogue(), "00005", "Lent à un adulte", "O", "O", "A12", "", "01/01/2026", "40");
        TestDb::addDocument(catalogue(), "00006", "Sur l'étagère", "O", "N", "", "", "03/03/2026", "40");
        TestDb::addDocument(catalogue(), "00007", "Le chat", "O", "O", "106", "école", "29/12/2026", "abc");
        TestDb::addDocument(catalogue(), "00008", "Le pré", "O", "O", "101", "école", "hier", "7");
        // Given back through the teachers' program, which leaves the borrower's fields filled.
        TestDb::addDocument(catalogue(), "00009", "Rendu au bureau", "O", "N", "104", "école", "02/12/2026", "3");

        ecrisImage(m_dossier.school() + "/101.BMP", Qt::red);
        ecrisImage(m_dossier.school() + "/103.bmp", Qt::green);
        ecrisImage(m_dossier.school() + "/CLASSE01.BMP", Qt::blue);
        ecrisImage(m_dossier.base() + "/LIVRES/00001.BMP", Qt::yellow);
        ecrisImage(m_dossier.base() + "/LIVRES/00003.bmp", Qt::cyan);
    }

    // Where each loan of the catalogue lands, and what it says.
    void prets_data()
    {
        QTest::addColumn<QString>("inventaire");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("ten days, cover and photo") << "00001" << "01|Léa MARTIN|10||photo|couverture";
        QTest::newRow("date with a time, late, no cover, no photo") << "00002" << "01|Tom BERNARD|29|retard||";
        QTest::newRow("other case, ISO date, just not late") << "00003" << "02|Zoé PETIT|21||photo|couverture";
        QTest::newRow("class not in the class list") << "00007" << "07|Inès LEROY|1|||";
        QTest::newRow("unreadable date") << "00008" << "01|Léa MARTIN|?||photo|";
        QTest::newRow("unknown borrower") << "00004" << "?||363|retard||";
        QTest::newRow("given back, borrower still filled") << "00009" << "-";
        QTest::newRow("lent, but not through the kiosk") << "00005" << "-";
    }

    void prets()
    {
        QFETCH(QString, inventaire);
        QFETCH(QString, attendu);
        QCOMPARE(pret(rapport(), inventaire), attendu);
    }

    void classesEtTotaux()
    {
        const RapportPrets r = rapport();
        QStringList classes;
        for (const ClasseRapport &c : r.classes)
            classes << c.numero + (c.connue ? "" : "?") + ":" + QString::number(c.enfants.size()) + "/" +
                           QString::number(c.effectif);
        // In number order (not text order), the empty class kept, the unknown one last.
        QCOMPARE(classes, QStringList({"01:2/2", "02:1/2", "10:0/1", "07?:1/1"}));
        QCOMPARE(r.classes[0].instituteur, QString("Mme Lefèvre"));
        QVERIFY(!r.classes[0].image.isNull());
        QVERIFY(r.classes[1].image.isNull());
        // The class list's order of names; a child's loans stay together.
        QCOMPARE(TexteRapport::nomEnfant(r.classes[0].enfants[0]), QString("Tom BERNARD"));
        QCOMPARE(r.classes[0].enfants[1].prets.size(), 2);

        // Unknown borrowers, children, children with a loan, loans, late loans.
        QCOMPARE((QList<int>{int(r.inconnus.size()), r.enfants, r.enfantsAvecPret, r.prets, r.retards}),
                 (QList<int>{1, 6, 4, 6, 2}));

        // Counts compared as numbers, whatever their text.
        QStringList populaires;
        for (const LivreEmprunte &l : r.plusEmpruntes)
            populaires << l.inventaire + "=" + QString::number(l.cumul) + (l.enPret ? "*" : "");
        QCOMPARE(populaires, QStringList({"00003=100*", "00005=40*", "00006=40", "00001=12*", "00002=9*", "00008=7*", "00009=3"}));
    }

    void retardChoisi()
    {
        QCOMPARE((QList<int>{rapport(28).retards, rapport(29).retards}), (QList<int>{2, 1}));
        QCOMPARE(pret(rapport(0), "00007"), QString("07|Inès LEROY|1|retard||"));
    }

    // Both forms written, and by default the day's PDF; the data folder left
    // exactly as it was, even while a kiosk is in the middle of saving a loan.
    void fichiersEtLectureSeule()
    {
        sqlite3 *kiosque = nullptr;
        QCOMPARE(sqlite3_open(catalogue().toUtf8().constData(), &kiosque), SQLITE_OK);
        QCOMPARE(sqlite3_exec(kiosque, "BEGIN IMMEDIATE; UPDATE luma SET titre = titre WHERE inventaire = '00001'",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        const FileTree avant = fileTree(m_dossier.root());

        const QString pdf = m_sorties.filePath("prets.pdf");
        const QString html = m_sorties.filePath("prets.HTML");
        const auto l1 = lance({m_dossier.base(), "-o", pdf});
        QCOMPARE(l1->code, 0);
        const auto l2 = lance({m_dossier.root(), "-o", html, "--retard", "30", "--ouvrir"});
        QCOMPARE(l2->code, 0);
        QCOMPARE(l2->ouverts, QStringList{html});
        QVERIFY(l2->boites.shown.isEmpty());

        COMPARE_TREES(fileTree(m_dossier.root()), avant);
        // The kiosk's save goes through once the report is done.
        QCOMPARE(sqlite3_exec(kiosque, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(kiosque);
        // Without -o: the day's PDF, in the current folder.
        const QString courant = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dossier.base()));
        const auto l3 = lance({});
        QVERIFY(QDir::setCurrent(courant));
        QCOMPARE(l3->code, 0);
        QVERIFY2(QFile::remove(m_dossier.base() + "/prets-2026-12-30.pdf"), qPrintable(l3->erreurs.join('\n')));

        const QByteArray octets = fileContents(pdf);
        QVERIFY(octets.startsWith("%PDF-1."));
        QVERIFY(octets.contains("/MediaBox [0 0 595")); // A4
        const QString page = QString::fromUtf8(fileContents(html));
        QVERIFY(page.startsWith("<!DOCTYPE html>"));
        QVERIFY(page.contains("Léa MARTIN"));
        // Self-contained: every picture inside the file.
        QCOMPARE(page.count("<img "), page.count("src=\"data:image/png;base64,"));
        QVERIFY(page.count("<img ") >= 4);
        // Only the files asked for, no temporary left beside them.
        QCOMPARE(QDir(m_sorties.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void erreurs_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--vite"} << 2 << "Option inconnue";
        QTest::newRow("delay not a number") << QStringList{"--retard", "trois"} << 2 << "nombre de jours";
        QTest::newRow("neither PDF nor HTML") << QStringList{"-o", "prets.txt"} << 2 << ".pdf ou .html";
        QTest::newRow("two folders") << QStringList{"a", "b"} << 2 << "Un seul dossier";
        QTest::newRow("no such folder") << QStringList{"/nulle/part"} << 1 << "n'existe pas";
        QTest::newRow("no database") << QStringList{"VIDE"} << 1 << "introuvable";
        QTest::newRow("damaged catalogue") << QStringList{"ABIME"} << 1 << "endommagée";
    }

    void erreurs()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        QTemporaryDir dossier;
        QDir(dossier.path()).mkpath("VIDE");
        QDir(dossier.path()).mkpath("ABIME");
        QFile::copy(ecole(), dossier.filePath("ABIME/ALTEMARE.MDB"));
        QVERIFY(writeFileBytes(dossier.filePath("ABIME/LUMA.MDB"), QByteArray(4096, 'x')));

        const QString courant = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dossier.path()));
        const auto l = lance(QStringList{"-o", dossier.filePath("sortie.pdf"), "--ouvrir"} + arguments);
        QVERIFY(QDir::setCurrent(courant));

        QCOMPARE(l->code, code);
        QCOMPARE(l->erreurs.size(), 1);
        QVERIFY2(l->erreurs.first().startsWith("luma-rapport : ") && l->erreurs.first().contains(message),
                 qPrintable(l->erreurs.first()));
        // Started from the desktop: the same message in a box.
        QCOMPARE(l->boites.shown.size(), 1);
        QVERIFY(l->ouverts.isEmpty());
        QVERIFY(!QFile::exists(dossier.filePath("sortie.pdf")));
    }

    // The same report from the folder once its databases are on a server,
    // their files gone (last: it writes the folder's BASE.INI).
    void surServeur()
    {
        const auto resume = [](const RapportPrets &r) {
            QStringList lignes{QString::number(r.enfants), QString::number(r.enfantsAvecPret), QString::number(r.prets),
                               QString::number(r.retards)};
            for (const ClasseRapport &c : r.classes)
                lignes << c.numero + '|' + c.instituteur + '|' + QString::number(c.enfants.size());
            for (int i = 1; i <= 9; ++i)
                lignes << pret(r, QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')));
            for (const LivreEmprunte &l : r.plusEmpruntes)
                lignes << l.inventaire + '=' + QString::number(l.cumul);
            return lignes;
        };
        const QStringList surFichiers = resume(rapport());
        auto serveur = std::make_unique<PgServeur>();
        LUMA_SERVEUR_PG_REQUIS(serveur);
        deplaceSurServeur(*serveur, QStringLiteral("rapport"), m_dossier);
        QVERIFY(QFile::remove(catalogue()) && QFile::remove(ecole()));
        QCOMPARE(resume(rapport()), surFichiers);
    }
};

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
