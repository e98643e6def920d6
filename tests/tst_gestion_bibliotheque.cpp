// The pictures of the requests: Tux Paint's drawings found by their French
// descriptions, whatever their description files hold, and any picture saved
// at the proportions of the kiosk's slot, on white.

#include "files.h"

#include "gestion/bibliothequeimages.h"
#include "gestion/choiximage.h"
#include "gestion/imagesbmp.h"

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

bool near(QRgb actual, QColor expected)
{
    return qAbs(qRed(actual) - expected.red()) < 40 && qAbs(qGreen(actual) - expected.green()) < 40 &&
           qAbs(qBlue(actual) - expected.blue()) < 40;
}

// Left half transparent, right half red.
QByteArray halfRedSvg(QSize size)
{
    return QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='%1' height='%2'><rect x='%3' width='%3' "
                          "height='%2' fill='red'/></svg>")
        .arg(size.width())
        .arg(size.height())
        .arg(size.width() / 2)
        .toUtf8();
}

} // namespace

class TestGestionBibliotheque : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::shared_ptr<BibliothequeImages> m_stamps;

    // A drawing (or a PNG picture) and its description file.
    void stamp(const QString &path, const QByteArray &description, const char *format = "svg")
    {
        QDir(m_dir.path()).mkpath(QFileInfo(m_dir.filePath(path)).path());
        if (format == QByteArray("svg"))
            QVERIFY(writeFileBytes(m_dir.filePath(path + ".svg"), halfRedSvg({20, 20})));
        else
            QVERIFY(QImage(8, 8, QImage::Format_ARGB32).save(m_dir.filePath(path + "." + format)));
        QVERIFY(writeFileBytes(m_dir.filePath(path + ".txt"), description));
    }

private slots:
    void initTestCase()
    {
        stamp("animals/cat", "A cat.\nde.utf8=Eine Katze.\nfr.utf8=Un chat.\n");
        stamp("animals/kitten", "A kitten.\nfr_CA.utf8=Un minou.\nfr.utf8=Un petit chat\n");
        stamp("animals/cat_mirror", "A cat.\nfr.utf8=Un chat retourné.\n");
        stamp("animals/dog", "A dog.\n", "png");
        stamp("town/castle", "A castle.\r\nfr.utf8=Un CHÂTEAU fort.\r\n");
        QImage(8, 8, QImage::Format_ARGB32).save(m_dir.filePath("town/castle.png"));
        stamp("broken/binary", QByteArray("A cat\0\xff\xfe.\nfr.utf8=Un chat.\n", 24));
        stamp("broken/huge", QByteArray("fr.utf8=Un chat.\n").repeated(10000));
        stamp("broken/pipe", "");
        QFile::remove(m_dir.filePath("broken/pipe.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("broken/pipe.txt")).constData(), 0644), 0);
        // Read away from this thread: a pipe waited on would hold it forever.
        auto done = std::make_shared<std::promise<std::shared_ptr<BibliothequeImages>>>();
        auto read = done->get_future();
        std::thread([done, dir = m_dir.path()] { done->set_value(std::make_shared<BibliothequeImages>(dir)); }).detach();
        QVERIFY2(read.wait_for(std::chrono::seconds(10)) == std::future_status::ready, "held by a pipe");
        m_stamps = read.get();
    }

    void searchFindsByFrenchWords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found");
        const QString cat = "Un chat.", kitten = "Un petit chat", castle = "Un CHÂTEAU fort.", dog = "A dog.";
        QTest::newRow("nothing typed: all, in order") << "" << QStringList{dog, cat, castle, kitten};
        QTest::newRow("word starts") << "cha" << QStringList{cat, castle, kitten};
        QTest::newRow("no accent, lower case") << "chateau" << QStringList{castle};
        QTest::newRow("accent, upper case") << "  Château  FORT " << QStringList{castle};
        QTest::newRow("every word") << "chat petit" << QStringList{kitten};
        QTest::newRow("one word missing") << "chat chien" << QStringList{};
        QTest::newRow("inside a word") << "hat" << QStringList{};
        QTest::newRow("no French: English") << "dog" << QStringList{dog};
        QTest::newRow("French before Canadian") << "minou" << QStringList{};
    }
    void searchFindsByFrenchWords()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        QStringList descriptions;
        for (int i : m_stamps->cherche(typed))
            descriptions << m_stamps->tampons().at(i).description;
        QCOMPARE(descriptions, found);
    }

    void stampsArePicturesBesideTheirText()
    {
        // The broken description files and the mirrored copy are left out;
        // the drawing is taken rather than its PNG.
        QStringList paths;
        for (const BibliothequeImages::Tampon &stamp : m_stamps->tampons())
            paths << QDir(m_dir.path()).relativeFilePath(stamp.chemin);
        QCOMPARE(paths, (QStringList{"animals/dog.png", "animals/cat.svg", "town/castle.svg", "animals/kitten.svg"}));
    }

    void requestPictureAtTheSlotsProportions_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("source");
        QTest::newRow("wide photograph") << "png" << QSize(1600, 400);
        QTest::newRow("tall picture") << "png" << QSize(300, 1200);
        QTest::newRow("small stamp, enlarged") << "png" << QSize(64, 64);
        QTest::newRow("drawing, drawn at the size") << "svg" << QSize(8, 4);
    }
    void requestPictureAtTheSlotsProportions()
    {
        QFETCH(QString, format);
        QFETCH(QSize, source);
        const QString from = m_dir.filePath("source." + format), to = m_dir.filePath("IMAGES/CHAT.BMP");
        if (format == "svg") {
            QVERIFY(writeFileBytes(from, halfRedSvg(source)));
        } else {
            QImage image(source, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            QPainter(&image).fillRect(source.width() / 2, 0, source.width(), source.height(), Qt::red);
            QVERIFY(image.save(from));
        }
        ImagesBmp::enregistreFichier(from, ImagesBmp::Sorte::Requete, to);
        const QImage saved(to);
        QCOMPARE(saved.depth(), 32); // read back from 24 bits, as Qt gives it
        QVERIFY2(qAbs(saved.width() * 1005 - saved.height() * 1365) <= 1365 / 2, "the slot's proportions");
        QVERIFY(saved.width() >= 400);
        // The source fitted in the middle, as large as it goes.
        const QSizeF in = QSizeF(source).scaled(saved.size(), Qt::KeepAspectRatio);
        const QRectF fitted(QPointF((saved.width() - in.width()) / 2, (saved.height() - in.height()) / 2), in);
        const auto at = [&](qreal x, qreal y) { return saved.pixel(int(x), int(y)); };
        QVERIFY2(near(at(fitted.left() + in.width() * 0.75, fitted.center().y()), Qt::red), "right half");
        QVERIFY2(near(at(fitted.right() - 3, fitted.top() + 3), Qt::red), "fills the slot");
        QVERIFY2(near(at(fitted.left() + in.width() * 0.25, fitted.center().y()), Qt::white), "transparency");
        // A drawing is drawn at the size, not enlarged from its own: its edges stay sharp.
        const qreal edge = fitted.center().x();
        QVERIFY2(near(at(edge - 4, fitted.top() + 1), Qt::white) && near(at(edge + 4, fitted.top() + 1), Qt::red), "sharp");
        QVERIFY2(near(at(saved.width() - 2, 1), Qt::white) && near(at(1, saved.height() - 2), Qt::white), "margins");
    }

    void chosenFromTheLibraryDialog()
    {
        ChoixImage widget(ImagesBmp::Sorte::Requete);
        widget.setBibliotheque(true, m_dir.filePath("none"));
        const QString target = m_dir.filePath("IMAGES/CHATEAU.BMP");
        widget.setCible(target);
        QList<QPushButton *> buttons = widget.findChildren<QPushButton *>();
        const auto library = std::find_if(buttons.begin(), buttons.end(), [](QPushButton *b) {
            return b->text().contains("Biblioth");
        });
        QVERIFY(library != buttons.end());
        QVERIFY2(!(*library)->isEnabled(), "without the package");
        widget.setBibliotheque(true, m_dir.path());
        QVERIFY((*library)->isEnabled());
        (*library)->click();
        auto *dialog = dynamic_cast<DialogueBibliothequeImages *>(widget.findChild<QDialog *>());
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->estPret());
        QTest::keyClicks(dialog->findChild<QLineEdit *>(), "chateau");
        QTest::keyClick(dialog->findChild<QLineEdit *>(), Qt::Key_Return);
        QTRY_VERIFY(QFile::exists(target));
        QCOMPARE(QImage(target).size(), ImagesBmp::taillePreparee({20, 20}, ImagesBmp::Sorte::Requete));
    }
};

QTEST_MAIN(TestGestionBibliotheque)
#include "tst_gestion_bibliotheque.moc"
