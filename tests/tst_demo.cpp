// The demo folder generator: what the program relies on in the folder it makes.

#include "demogenerator.h"
#include "files.h"
#include "search/requetes.h"
#include "testdb.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

DemoOptions smallOptions(const QString &folder)
{
    return DemoOptions{folder, 120, 90, false, 7};
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const DemoReport report = generateDemo(smallOptions(m_dir.path()));
        QVERIFY2(report.ok, qPrintable(report.error));
        m_base = m_dir.filePath("LALUMA");
        m_school = m_dir.filePath("ALTEMARE");
    }

    void foldersAndFiles()
    {
        QVERIFY(QFileInfo(m_base + "/MEMBRES.MDB").isFile()); // the others are read below
        for (const char *folder : {"SONS", "LIVRES", "IMAGES", "REQUETES"})
            QVERIFY2(QFileInfo(m_base + '/' + folder).isDir(), folder);
        // The program writes the colours at its first start.
        QVERIFY(!QFileInfo::exists(m_base + "/COULEURS.INI"));
    }

    void tablesAndColumns_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("columns");
        QTest::newRow("enfants") << "ALTEMARE/ALTEMARE.MDB" << "enfants"
                                 << QStringList{"matricule", "nomenfant", "prénomenfant", "classe", "niveau"};
        QTest::newRow("équipe") << "ALTEMARE/ALTEMARE.MDB" << "équipe"
                                << QStringList{"équipenuméro", "équipeinstituteur"};
        QTest::newRow("luma") << "LALUMA/LUMA.MDB" << "luma"
                              << QStringList{"inventaire", "titre", "éditeur", "dewey", "motsclés", "emprunt",
                                             "emprunté", "emprunteur", "catégorieemprunteur", "dateemprunt", "cumul"};
        QTest::newRow("luma+") << "LALUMA/COTATION.MDB" << "luma+" << QStringList{"descripteur"};
    }

    void tablesAndColumns()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QStringList, columns);
        const QString path = m_dir.filePath(file);
        QCOMPARE(TestDb::scalar(path, "SELECT group_concat(name, ',') FROM pragma_table_info('" + table + "')"),
                 columns.join(','));
        QVERIFY(TestDb::scalar(path, "SELECT count(*) FROM \"" + table + "\"").toInt() > 0);
    }

    // Inventory numbers of five digits, from 00001, each once; classes of
    // two digits, at most 35 children each.
    void numbersAndClasses()
    {
        const QString luma = m_base + "/LUMA.MDB";
        QCOMPARE(TestDb::scalar(luma, "SELECT printf('%d %d %s %s %d', count(*), count(DISTINCT inventaire), "
                                      "min(inventaire), max(inventaire), "
                                      "total(inventaire NOT GLOB '[0-9][0-9][0-9][0-9][0-9]')) FROM luma"),
                 QString("120 120 00001 00120 0"));
        // The hundred-thousandth document still gets five digits.
        QCOMPARE(demoInventory(99998), QString("99999"));
        QCOMPARE(demoInventory(99999), QString("00000"));
        const QString school = m_school + "/ALTEMARE.MDB";
        QCOMPARE(TestDb::scalar(school, "SELECT printf('%d %d', count(*), total(ifnull(classe, '') NOT GLOB "
                                        "'[0-9][0-9]')) FROM enfants"),
                 QString("90 0"));
        QVERIFY(TestDb::scalar(school, "SELECT max(n) FROM (SELECT count(*) AS n FROM enfants GROUP BY classe)").toInt()
                <= 35);
    }

    // Windows-1252 text with CR LF line ends, read by the program's own reader.
    void requestFiles()
    {
        const QStringList files = QDir(m_base + "/REQUETES").entryList({"*.RQT"}, QDir::Files);
        QVERIFY(files.size() >= 18); // more than one page of the picture screen
        bool accentSeen = false;
        for (const QString &name : files) {
            const QByteArray bytes = fileContents(m_base + "/REQUETES/" + name);
            QVERIFY2(bytes.endsWith("\r\n"), qPrintable(name));
            QCOMPARE(bytes.count('\n') + bytes.count('\r'), 2 * bytes.count("\r\n")); // no lone CR or LF
            QVERIFY2(!bytes.contains('\xC3'), qPrintable(name)); // no UTF-8 accented letter
            accentSeen = accentSeen || bytes.contains('\xE9');   // é in Windows-1252
            const ContenuRequete read = LitRequete(m_base + "\\REQUETES\\" + name);
            QVERIFY2(read.tete.startsWith("SELECT * FROM luma WHERE "), qPrintable(read.tete));
            QVERIFY2(!read.titre.isEmpty(), qPrintable(name));
            QVERIFY2(read.image == ".BMP" || QFileInfo::exists(m_base + "/IMAGES/" + read.image), qPrintable(read.image));
            QVERIFY2(read.son.endsWith(".WAV", Qt::CaseInsensitive), qPrintable(read.son));
        }
        QVERIFY(accentSeen);
    }

    void refusesAFolderInUse()
    {
        const QString catalogue = m_base + "/LUMA.MDB";
        const QDateTime written = QFileInfo(catalogue).lastModified();
        const DemoReport again = generateDemo(smallOptions(m_dir.path()));
        QVERIFY(!again.ok);
        QVERIFY2(again.error.contains("LALUMA"), qPrintable(again.error));
        QCOMPARE(QFileInfo(catalogue).lastModified(), written);
    }

private:
    QTemporaryDir m_dir;
    QString m_base, m_school;
};

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
