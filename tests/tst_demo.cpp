// The demo folder generator: what the program relies on in the folder it makes.

#include "demogenerator.h"
#include "platform/textfile.h"

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

QList<QStringList> rows(const QString &path, const QString &sql)
{
    QList<QStringList> result;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return result;
    }
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
                row << (text ? QString::fromUtf8(text) : QString());
            }
            result << row;
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

QStringList column(const QList<QStringList> &table, int c = 0)
{
    QStringList values;
    for (const QStringList &row : table)
        values << row.value(c);
    return values;
}

// The values of a request file read the way sequential input reads them:
// separated by commas or line ends, quotes taken off.
QStringList sequentialValues(const QString &text)
{
    QStringList values;
    int i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        QString value;
        if (i < text.size() && text[i] == '"') {
            const int end = text.indexOf('"', i + 1);
            value = text.mid(i + 1, end < 0 ? -1 : end - i - 1);
            i = end < 0 ? int(text.size()) : end + 1;
            while (i < text.size() && text[i] != ',' && text[i] != '\r')
                ++i;
        } else {
            const int start = i;
            while (i < text.size() && text[i] != ',' && text[i] != '\r')
                ++i;
            value = text.mid(start, i - start).trimmed();
        }
        values << value;
        if (text.mid(i, 2) == "\r\n")
            i += 2;
        else if (i < text.size())
            ++i;
    }
    return values;
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void foldersAndFiles();
    void tablesAndColumns_data();
    void tablesAndColumns();
    void inventoryNumbers();
    void childrenAndClasses();
    void loansPointAtChildren();
    void requestFiles();
    void refusesAFolderInUse();
    void sameSeedSameFolder();
    void largeCatalogueDrawsOnlyTheFirstCovers();

private:
    static DemoOptions smallOptions(const QString &folder, std::uint32_t seed = 7)
    {
        DemoOptions options;
        options.folder = folder;
        options.documents = 120;
        options.children = 90;
        options.sounds = false;
        options.seed = seed;
        return options;
    }

    QTemporaryDir m_dir;
    QString m_base, m_school;
};

void TestDemo::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const DemoReport report = generateDemo(smallOptions(m_dir.path()));
    QVERIFY2(report.ok, qPrintable(report.error));
    m_base = m_dir.filePath("LALUMA");
    m_school = m_dir.filePath("ALTEMARE");
}

void TestDemo::foldersAndFiles()
{
    for (const QString &file : {m_base + "/LUMA.MDB", m_base + "/COTATION.MDB", m_base + "/MEMBRES.MDB",
                                m_school + "/ALTEMARE.MDB"})
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
    for (const char *folder : {"SONS", "LIVRES", "IMAGES", "REQUETES"})
        QVERIFY2(QFileInfo(m_base + '/' + folder).isDir(), folder);
    // The program writes the colours at its first start, and journals only on loans.
    QVERIFY(!QFileInfo::exists(m_base + "/COULEURS.INI"));
    QVERIFY(QDir(m_base).entryList({"*.JNL"}).isEmpty());
    QVERIFY(QDir(m_base + "/SONS").isEmpty());
}

void TestDemo::tablesAndColumns_data()
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

void TestDemo::tablesAndColumns()
{
    QFETCH(QString, file);
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    const QString path = m_dir.filePath(file);
    QCOMPARE(column(rows(path, QString("PRAGMA table_info(\"%1\")").arg(table)), 1), columns);
    QVERIFY(rows(path, QString("SELECT count(*) FROM \"%1\"").arg(table)).value(0).value(0).toInt() > 0);
}

void TestDemo::inventoryNumbers()
{
    const QStringList numbers = column(rows(m_base + "/LUMA.MDB", "SELECT inventaire FROM luma ORDER BY rowid"));
    QCOMPARE(numbers.size(), 120);
    QCOMPARE(numbers.first(), QString("00001"));
    QCOMPARE(numbers.last(), QString("00120"));
    QCOMPARE(QSet<QString>(numbers.begin(), numbers.end()).size(), numbers.size());
    // Every main class is there, as the search screen's ten boxes expect.
    const QStringList classes = column(rows(m_base + "/LUMA.MDB", "SELECT DISTINCT substr(dewey, 1, 1) FROM luma "
                                                                  "ORDER BY 1"));
    QCOMPARE(classes, QString("0123456789").split("", Qt::SkipEmptyParts));
    // The hundred-thousandth document still gets five digits.
    QCOMPARE(demoInventory(99998), QString("99999"));
    QCOMPARE(demoInventory(99999), QString("00000"));
}

void TestDemo::childrenAndClasses()
{
    const QString school = m_school + "/ALTEMARE.MDB";
    QSet<int> numbers;
    for (const QString &n : column(rows(school, "SELECT équipenuméro FROM équipe"))) {
        QVERIFY2(n.toInt() >= 1 && n.toInt() <= 15, qPrintable(n));
        numbers.insert(n.toInt());
        QVERIFY(QFileInfo::exists(m_school + QString("/CLASSE%1.BMP").arg(n.toInt(), 2, 10, QChar('0'))));
    }
    const QList<QStringList> children = rows(school, "SELECT matricule, classe FROM enfants");
    QCOMPARE(children.size(), 90);
    QHash<QString, int> perClass;
    QSet<QString> matricules;
    int withoutPhoto = 0;
    const QRegularExpression twoDigits("^\\d\\d$");
    for (const QStringList &child : children) {
        QVERIFY2(twoDigits.match(child[1]).hasMatch(), qPrintable(child[1]));
        QVERIFY2(numbers.contains(child[1].toInt()), qPrintable(child[1]));
        ++perClass[child[1]];
        QVERIFY(!child[0].isEmpty());
        matricules.insert(child[0]);
        withoutPhoto += QFileInfo::exists(m_school + '/' + child[0] + ".BMP") ? 0 : 1;
    }
    QCOMPARE(matricules.size(), children.size());
    for (auto it = perClass.cbegin(); it != perClass.cend(); ++it)
        QVERIFY2(it.value() <= 35, qPrintable(it.key()));
    QCOMPARE(withoutPhoto, 3);
}

void TestDemo::loansPointAtChildren()
{
    const QStringList matricules = column(rows(m_school + "/ALTEMARE.MDB", "SELECT matricule FROM enfants"));
    const QList<QStringList> loans = rows(m_base + "/LUMA.MDB", "SELECT emprunt, emprunteur, catégorieemprunteur, "
                                                                "dateemprunt FROM luma WHERE emprunté = 'O'");
    QVERIFY(!loans.isEmpty());
    QSet<QString> borrowers;
    for (const QStringList &loan : loans) {
        QCOMPARE(loan[0], QString("O"));
        QVERIFY2(matricules.contains(loan[1]), qPrintable(loan[1]));
        QVERIFY2(!borrowers.contains(loan[1]), "one loan per child");
        borrowers.insert(loan[1]);
        QCOMPARE(loan[2], QString("école"));
        const QDate date = QDate::fromString(loan[3], "dd/MM/yyyy");
        QVERIFY2(date.isValid() && date <= QDate::currentDate(), qPrintable(loan[3]));
    }
}

void TestDemo::requestFiles()
{
    const QStringList files = QDir(m_base + "/REQUETES").entryList({"*.RQT"}, QDir::Files);
    QVERIFY(files.size() >= 18); // more than one page of the picture screen
    bool oneLineFile = false;
    bool accentSeen = false;
    for (const QString &name : files) {
        QFile file(m_base + "/REQUETES/" + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY2(bytes.endsWith("\r\n"), qPrintable(name));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
        accentSeen = accentSeen || bytes.contains('\xE9'); // é in Windows-1252
        const QString text = TextFile::decode1252(bytes);
        QCOMPARE(TextFile::encode1252(text), bytes);
        const QStringList values = sequentialValues(text);
        QVERIFY2(values.size() >= 4, qPrintable(name));
        oneLineFile = oneLineFile || sequentialValues(text.section("\r\n", 0, 0)).size() >= 4;
        QVERIFY2(values[0].startsWith("SELECT * FROM luma WHERE "), qPrintable(values[0]));
        QVERIFY(!values[1].isEmpty());
        QVERIFY2(values[2].endsWith(".BMP", Qt::CaseInsensitive), qPrintable(values[2]));
        QVERIFY2(values[2] == ".BMP" || QFileInfo::exists(m_base + "/IMAGES/" + values[2]), qPrintable(values[2]));
        QVERIFY2(values[3].endsWith(".WAV", Qt::CaseInsensitive), qPrintable(values[3]));
    }
    QVERIFY(oneLineFile);
    QVERIFY(accentSeen);
}

void TestDemo::refusesAFolderInUse()
{
    const QString catalogue = m_base + "/LUMA.MDB";
    const QDateTime written = QFileInfo(catalogue).lastModified();
    const DemoReport again = generateDemo(smallOptions(m_dir.path()));
    QVERIFY(!again.ok);
    QVERIFY2(again.error.contains("LALUMA"), qPrintable(again.error));
    QCOMPARE(QFileInfo(catalogue).lastModified(), written);

    // An empty folder left ready for it is fine.
    QTemporaryDir other;
    QVERIFY(QDir(other.path()).mkdir("LALUMA"));
    const DemoReport fresh = generateDemo(smallOptions(other.path()));
    QVERIFY2(fresh.ok, qPrintable(fresh.error));
}

void TestDemo::sameSeedSameFolder()
{
    QTemporaryDir a, b, c;
    QVERIFY(generateDemo(smallOptions(a.path())).ok);
    QVERIFY(generateDemo(smallOptions(b.path())).ok);
    QVERIFY(generateDemo(smallOptions(c.path(), 8)).ok);
    const auto catalogue = [](const QTemporaryDir &dir) {
        return rows(dir.filePath("LALUMA/LUMA.MDB"), "SELECT * FROM luma ORDER BY inventaire");
    };
    const auto children = [](const QTemporaryDir &dir) {
        return rows(dir.filePath("ALTEMARE/ALTEMARE.MDB"), "SELECT * FROM enfants ORDER BY matricule");
    };
    QCOMPARE(catalogue(a), catalogue(b));
    QCOMPARE(children(a), children(b));
    QCOMPARE(QDir(a.filePath("LALUMA/LIVRES")).entryList(), QDir(b.filePath("LALUMA/LIVRES")).entryList());
    QVERIFY(catalogue(a) != catalogue(c));
}

void TestDemo::largeCatalogueDrawsOnlyTheFirstCovers()
{
    QTemporaryDir dir;
    DemoOptions options = smallOptions(dir.path());
    options.documents = 2500;
    const DemoReport report = generateDemo(options);
    QVERIFY2(report.ok, qPrintable(report.error));
    QCOMPARE(rows(dir.filePath("LALUMA/LUMA.MDB"), "SELECT count(*) FROM luma").value(0).value(0), QString("2500"));
    const QStringList covers = QDir(dir.filePath("LALUMA/LIVRES")).entryList(QDir::Files, QDir::Name);
    QVERIFY(covers.size() > 300);
    QVERIFY2(covers.last() <= QString("00400.BMP"), qPrintable(covers.last()));
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
