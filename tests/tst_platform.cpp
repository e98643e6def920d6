// The platform stand-ins: paths written the Windows way, Windows-1252 text,
// twips geometry, pictures, the shared widgets and the Qt services (the
// durable files are tst_platform_files).

#include "platform/datafile.h"
#include "platform/geometry.h"
#include "platform/paths.h"
#include "platform/picture.h"
#include "platform/qtservices.h"
#include "platform/textfile.h"
#include "platform/widgets.h"

#include "files.h"
#include "pictures.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QMessageBox>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QImage solidImage(const QColor &color, QSize size = QSize(4, 4))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Runs `answer` on the message box once it is on screen.
void whenMessageBoxShows(const std::function<void(QMessageBox *)> &answer)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(box);
        }
    });
    timer->start();
}

qint64 statusKilobytes(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct DecodeCost
{
    QSize size;
    qint64 milliseconds = -1;
    qint64 extraKilobytes = -1; // peak memory above what the process held before
};

// Reads the thumbnail in a child process, so that the peak memory measured
// is the decoding's own and a decoding that runs away cannot take the tests
// with it.
DecodeCost costOfThumbnail(const QString &path, QSize bound)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(30);
        QFile clear("/proc/self/clear_refs");
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5"); // the peak starts again from here
        clear.close();
        const qint64 before = statusKilobytes("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const QImage image = Picture::readThumbnail(path, bound);
        const qint64 values[4] = {image.width(), image.height(), timer.elapsed(), statusKilobytes("VmHWM:") - before};
        (void)!::write(channel[1], values, sizeof values);
        ::_exit(0);
    }
    ::close(channel[1]);
    qint64 values[4] = {-1, -1, -1, -1};
    const bool got = ::read(channel[0], values, sizeof values) == ssize_t(sizeof values);
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (!got)
        return {};
    return {QSize(int(values[0]), int(values[1])), values[2], values[3]};
}

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_french = installFrenchTranslation(*QCoreApplication::instance());

        const QString root = m_dir.path();
        QVERIFY(QDir(root).mkpath("LaLuma/sons"));
        QVERIFY(QDir(root).mkpath("LaLuma/Éveil"));
        QVERIFY(QDir(root).mkpath("Doubles"));
        QVERIFY(writeFileBytes(root + "/LaLuma/sons/Ferme.wav", "RIFF"));
        QVERIFY(writeFileBytes(root + "/LaLuma/Éveil/élodie.bmp", "BM"));
        QVERIFY(writeFileBytes(root + "/LaLuma/Noe\u0308l.bmp", "BM")); // accent stored decomposed
        QVERIFY(writeFileBytes(root + "/LaLuma/.cache", ""));
        QVERIFY(writeFileBytes(root + "/Doubles/Photo.bmp", "BM"));
        QVERIFY(writeFileBytes(root + "/Doubles/PHOTO.bmp", "BM"));
        m_base = root + "/LaLuma";
    }

    // Paths

    void resolvesWindowsPaths_data()
    {
        // %T stands for the temporary folder.
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("expected");

        QTest::newRow("names in another case") << "%T\\LALUMA\\SONS\\FERME.WAV" << "%T/LaLuma/sons/Ferme.wav";
        QTest::newRow("accented capitals") << "%T\\laluma\\ÉVEIL\\ÉLODIE.BMP" << "%T/LaLuma/Éveil/élodie.bmp";
        QTest::newRow("accent composed differently") << "%T\\LALUMA\\NOËL.BMP" << "%T/LaLuma/Noe\u0308l.bmp";
        QTest::newRow("exact match preferred") << "%T\\Doubles\\Photo.bmp" << "%T/Doubles/Photo.bmp";
        QTest::newRow("first of several matches") << "%T\\Doubles\\photo.BMP" << "%T/Doubles/PHOTO.bmp";
        QTest::newRow("missing file kept as written") << "%T\\LALUMA\\SONS\\NEW.WAV" << "%T/LaLuma/sons/NEW.WAV";
        QTest::newRow("missing folder kept as written") << "%T\\LALUMA\\LIVRES\\12.BMP" << "%T/LaLuma/LIVRES/12.BMP";
        QTest::newRow("trailing separator kept") << "%T\\LALUMA\\SONS\\" << "%T/LaLuma/sons/";
        QTest::newRow("doubled separators") << "%T\\\\LALUMA\\\\SONS\\FERME.WAV" << "%T/LaLuma/sons/Ferme.wav";
        QTest::newRow("parent folder") << "%T\\LALUMA\\SONS\\..\\SONS\\FERME.WAV" << "%T/LaLuma/sons/Ferme.wav";
        QTest::newRow("forward slashes") << "%T/laluma/sons/ferme.wav" << "%T/LaLuma/sons/Ferme.wav";
        QTest::newRow("drive root") << "C:\\" << "/";
        QTest::newRow("root without drive") << "\\LUMA.MDB" << "/LUMA.MDB";
        QTest::newRow("any drive letter") << "d:%T\\LaLuma\\SONS\\FERME.WAV" << "%T/LaLuma/sons/Ferme.wav";
        QTest::newRow("empty") << "" << "";
    }

    void resolvesWindowsPaths()
    {
        QFETCH(QString, written);
        QFETCH(QString, expected);
        written.replace("%T", m_dir.path());
        expected.replace("%T", m_dir.path());
        QCOMPARE(nativePath(written), expected);
        // Folders read once for many names choose the same entries.
        FolderListings listings;
        QCOMPARE(nativePath(written, &listings), expected);
        QCOMPARE(nativePath(written, &listings), expected);
    }

    void relativePathsStartFromCurrentFolder()
    {
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_base));
        const QString resolved = nativePath("SONS\\FERME.WAV");
        const QString upward = nativePath("..\\DOUBLES\\PHOTO.BMP");
        QVERIFY(QDir::setCurrent(previous));

        QCOMPARE(QFileInfo(resolved).canonicalFilePath(), QFileInfo(m_base + "/sons/Ferme.wav").canonicalFilePath());
        QCOMPARE(QFileInfo(upward).fileName(), QString("PHOTO.bmp"));
    }

    void normalFilesAndFolders()
    {
        QVERIFY(isNormalFile(m_base + "\\SONS\\FERME.WAV"));
        QVERIFY(!isNormalFile(m_base + "\\.CACHE")); // hidden counts as missing
        QVERIFY(!isNormalFile(m_base + "\\SONS"));
        QVERIFY(!isNormalFile(m_base + "\\SONS\\QUITTE.WAV"));
        QVERIFY(!isNormalFile(QString()));

        QVERIFY(isFolder(m_base + "\\éveil\\"));
        QVERIFY(!isFolder(m_base + "\\SONS\\FERME.WAV"));
        QVERIFY(!isFolder(m_base + "\\REQUETES"));
    }

    // A name from a request may go down into subfolders, never out; a file
    // name alone goes nowhere else.
    void relativePathsStayInside_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::addColumn<bool>("safeName");
        QTest::newRow("plain") << "Élodie.BMP" << true << true;
        QTest::newRow("subfolder") << "ANIMAUX\\CHAT.BMP" << true << false;
        QTest::newRow("subfolder, slash") << "animaux/chat.bmp" << true << false;
        QTest::newRow("dots in a name") << "a..b" << true << true;
        QTest::newRow("parent") << "..\\LUMA.MDB" << false << false;
        QTest::newRow("parent, slash") << "../LUMA.MDB" << false << false;
        QTest::newRow("the parent itself") << ".." << false << false;
        QTest::newRow("down then out") << "ANIMAUX\\..\\..\\LUMA.MDB" << false << false;
        QTest::newRow("ends in parent") << "ANIMAUX\\.." << false << false;
        QTest::newRow("absolute") << "/etc/passwd" << false << false;
        QTest::newRow("root of the drive") << "\\X.BMP" << false << false;
        QTest::newRow("drive") << "C:\\X.BMP" << false << false;
        QTest::newRow("drive, no separator") << "c:X.BMP" << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("the folder itself") << "." << false << false;
        QTest::newRow("a folder") << "ANIMAUX\\" << false << false;
        QTest::newRow("NUL") << QString("A") + QChar(u'\0') + "/../B" << false << false;
    }
    void relativePathsStayInside()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QFETCH(bool, safeName);
        QCOMPARE(isSafeRelativePath(name), safe);
        QCOMPARE(isSafeFileName(name), safeName);
    }

    // Windows-1252 files

    // Windows-1252, where it differs from Latin-1 too; every byte comes back
    // as it was; what it cannot hold becomes one question mark per character
    // (a Latin-1 control is not €).
    void windows1252()
    {
        const QString text = "«Élodie à l'école» 5 € Œuf œil l’été – — … Ÿ™";
        const QByteArray bytes("\xAB\xC9lodie \xE0 l'\xE9" "cole\xBB 5 \x80 \x8C" "uf \x9C" "il l\x92\xE9t\xE9 "
                               "\x96 \x97 \x85 \x9F\x99");
        QCOMPARE(TextFile::encode1252(text), bytes);
        QCOMPARE(TextFile::decode1252(bytes), text);

        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString decoded = TextFile::decode1252(all);
        QVERIFY(decoded.size() == 256 && !decoded.contains(QChar::ReplacementCharacter));
        QCOMPARE(TextFile::encode1252(decoded), all);
        QCOMPARE(TextFile::encode1252("日本 a\U0001F600b " + QString(QChar(0x0080))), QByteArray("?? a?b ?"));
    }

    // Geometry

    void convertsTwips_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QRect>("pixels");

        QTest::newRow("door button doubled") << 2.0 << QRect(8640, 180, 825, 1125) << QRect(1152, 24, 110, 150);
        QTest::newRow("rounded to nearest") << 1.0 << QRect(7, 8, 15, 15) << QRect(0, 1, 1, 1);
        // A control from 7 to 23 twips ends where a neighbour placed at 23 begins.
        QTest::newRow("edges, not sizes") << 1.0 << QRect(7, 0, 16, 15) << QRect(0, 0, 2, 1);
    }

    void convertsTwips()
    {
        QFETCH(double, scale);
        QFETCH(QRect, twips);
        QFETCH(QRect, pixels);
        const Geometry geometry(scale);
        QCOMPARE(geometry.rect(twips.x(), twips.y(), twips.width(), twips.height()), pixels);
        QCOMPARE(geometry.twipsFromPx(geometry.px(1500)), 1500.0);
    }

    void scalesFontsAndWindow()
    {
        const QFont name = Geometry(1.0).font("Times New Roman", 8.25, true);
        QCOMPARE(name.pixelSize(), 11);
        QVERIFY(name.bold());
        QCOMPARE(Geometry(1.5).font("Times New Roman", 27.0, false).pixelSize(), 54);
        // The client area leaves out the frame and the caption.
        QCOMPARE(Geometry().clientSizeForOuter(kScreenWidthTwips, kScreenHeightTwips), QSize(640, 457));
        QCOMPARE(Geometry(2.0).clientSizeForOuter(kScreenWidthTwips, kScreenHeightTwips), QSize(1280, 914));
    }

    // Pictures

    // A picture is decoded at the size it is shown at, or not at all: a file
    // of a few kilobytes announcing 20000 x 20000 points neither holds a touch
    // nor takes the memory of its gigapixels; a drawing or any other format
    // under a .BMP name is no picture.
    void picturesDecodeWithinBounds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("padding"); // zeros after the bytes
        QTest::addColumn<QSize>("decoded");  // empty when refused
        const auto photo = [](bool progressive) {
            QImage image(6000, 4000, QImage::Format_RGB32);
            image.fill(Qt::darkGreen);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            QImageWriter writer(&buffer, "JPEG");
            writer.setProgressiveScanWrite(progressive);
            writer.setQuality(90);
            return writer.write(image) ? bytes : QByteArray();
        };
        const QImage red = solidImage(Qt::red, QSize(1600, 1200));
        QTest::newRow("PNG 20000 x 20000") << blackPng(20000, 20000) << qint64(0) << QSize();
        QTest::newRow("BMP 20000 x 20000, run-length") << rleBmp(20000, 20000) << qint64(0) << QSize();
        const qint64 mono = qint64(12000) * 2500;
        QTest::newRow("BMP 20000 x 12000, 1 bit, 30 MB") << bmpHeaders(20000, 12000, 1, 0, 2, mono) << mono << QSize();
        // Within what the decoders take by themselves, but whole they would
        // take 100 MB.
        QTest::newRow("PNG 5000 x 5000") << blackPng(5000, 5000, true) << qint64(0) << QSize();
        const qint64 large = qint64(5000) * 5000;
        QTest::newRow("BMP 5000 x 5000, 256 colours") << bmpHeaders(5000, 5000, 8, 0, 256, large) << large << QSize();
        QTest::newRow("JPEG announcing 20000 x 20000") << jpegAnnouncing(20000, 20000) << qint64(0) << QSize();
        QTest::newRow("GIF announcing 20000 x 20000") << gifAnnouncing(20000, 20000) << qint64(0) << QSize();
        QTest::newRow("SVG named .BMP") << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='40' height='40'>"
                                                     "<rect width='40' height='40' fill='red'/></svg>")
                                        << qint64(0) << QSize();
        QTest::newRow("icon named .BMP") << encoded(solidImage(Qt::red, QSize(32, 32)), "ICO") << qint64(0) << QSize();
        QTest::newRow("PNG 1600 x 1200") << encoded(red, "PNG") << qint64(0) << QSize(200, 150);
        QTest::newRow("JPEG 2400 x 1800") << encoded(red.scaled(2400, 1800), "JPEG") << qint64(0) << QSize(200, 150);
        QTest::newRow("JPEG 6000 x 4000") << photo(false) << qint64(0) << QSize(200, 133);
        // Decoded whole whatever the size asked: 100 MB of coefficients.
        QTest::newRow("progressive JPEG 6000 x 4000") << photo(true) << qint64(0) << QSize();
        QTest::newRow("BMP 90 x 120, smaller than shown") << encoded(red.scaled(90, 120), "BMP") << qint64(0) << QSize(90, 120);
    }
    void picturesDecodeWithinBounds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, padding);
        QFETCH(QSize, decoded);
        QVERIFY(!bytes.isEmpty());
        const QString path = m_dir.filePath("PICTURE.BMP");
        QFile::remove(path);
        QVERIFY(writeFileBytes(path, bytes));
        QVERIFY(QFile::resize(path, bytes.size() + padding));
        QVERIFY(QFileInfo(path).size() <= DataFile::kMediaLimit);

        const DecodeCost cost = costOfThumbnail(path, QSize(200, 200));
        QVERIFY2(cost.milliseconds >= 0, "the child decoding the picture died");
        QVERIFY2(cost.extraKilobytes < 64 * 1024, qPrintable(QString::number(cost.extraKilobytes) + " KB"));
        QCOMPARE(cost.size.isEmpty() ? QSize() : cost.size, decoded);
        if (decoded.isEmpty())
            QVERIFY2(cost.milliseconds < 100, qPrintable(QString::number(cost.milliseconds) + " ms"));
    }

    void unreadablePicturesAreNull_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");

        QTest::newRow("garbage") << "garbage.BMP" << QByteArray("this is no picture at all");
        QTest::newRow("truncated bitmap") << "cut.BMP" << QByteArray("BM\x36\x00\x00\x00", 6);
        QTest::newRow("missing") << "missing.BMP" << QByteArray("<none>");
        QTest::newRow("broken drawing") << "broken.svg" << QByteArray("<svg><rect");
    }

    void unreadablePicturesAreNull()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString path = m_dir.filePath(name);
        if (content != "<none>")
            QVERIFY(writeFileBytes(path, content));
        QVERIFY(Picture::fromFile(path, QSize(64, 64)).isNull());
        QVERIFY(Picture::fromResource(path).isNull());
        QVERIFY(Picture::fromResource(":/assets/absent.svg").isNull());
    }

    void drawsSvgSharplyOnHighDensityScreens()
    {
        // Left half black, right half white; the drawing is square but the
        // target is twice as wide, so it is stretched.
        const QString path = m_dir.filePath("halves.svg");
        QVERIFY(writeFileBytes(path, "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'><rect width='5' "
                                     "height='10' fill='#000000'/><rect x='5' width='5' height='10' fill='#ffffff'/></svg>"));
        const Picture drawing = Picture::fromResource(path);

        QImage canvas(80, 20, QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(2.0);
        canvas.fill(Qt::red);
        {
            QPainter painter(&canvas);
            drawing.paint(painter, QRectF(0, 0, 40, 10)); // logical pixels
        }
        // At two device pixels per logical pixel the edge between the halves
        // falls between device columns 39 and 40, with no blur across it.
        QCOMPARE(QList<QColor>({canvas.pixelColor(39, 10), canvas.pixelColor(40, 10), canvas.pixelColor(79, 19)}),
                 QList<QColor>({Qt::black, Qt::white, Qt::white}));
    }

    // Widgets

    void picturesRectanglesAndPanelsClicks()
    {
        QWidget window;
        window.resize(300, 200);
        auto *picture = new PictureImage(&window);
        picture->setGeometry(20, 20, 80, 80);
        auto *frame = new ShapeRect(&window);
        frame->setGeometry(20, 20, 80, 80); // in front of the picture, as the selection frame is
        frame->setOutline(Qt::red, 5);
        auto *panel = new Panel3D(&window);
        panel->setGeometry(0, 100, 300, 100);
        panel->setText(" Choisis ta classe");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicks(picture, &PictureImage::clicked);
        QSignalSpy doubleClicks(picture, &PictureImage::doubleClicked);
        QSignalSpy panelDoubleClicks(panel, &Panel3D::doubleClicked);

        // The rectangle lets clicks through, even on its outline.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(22, 22));
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(clicks.count(), 2);
        const QImage shown = window.grab().toImage();
        QCOMPARE(shown.pixelColor(24, 24), QColor(Qt::red));
        QVERIFY(shown.pixelColor(25, 25) != QColor(Qt::red));
        QVERIFY(shown.pixelColor(19, 19) != QColor(Qt::red));

        // Pressed on the picture, released outside it: no click.
        QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, QPoint(250, 50));
        QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, QPoint(50, 50));
        QCOMPARE(clicks.count(), 2);

        // A double click is one click followed by one double click.
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(doubleClicks.count(), 1);
        QCOMPARE(clicks.count(), 3);

        // The panel answers double clicks only.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 150));
        QCOMPARE(panelDoubleClicks.count(), 0);
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 150));
        QCOMPARE(panelDoubleClicks.count(), 1);
    }

    void pictureImageWithoutPictureShowsWhatIsBehind()
    {
        QWidget window;
        window.resize(100, 100);
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor(128, 255, 128));
        window.setPalette(palette);
        auto *picture = new PictureImage(&window);
        picture->setGeometry(0, 0, 100, 100);

        const QString path = m_dir.filePath("blue.png");
        QVERIFY(solidImage(Qt::blue).save(path, "PNG"));
        picture->setPicture(Picture::fromFile(path, QSize(64, 64)));
        QCOMPARE(window.grab().toImage().pixelColor(50, 50), QColor(Qt::blue));
        picture->clear();
        QCOMPARE(window.grab().toImage().pixelColor(50, 50), QColor(128, 255, 128));
    }

    void buttonSinksWhilePressed()
    {
        Button3D button;
        button.resize(80, 100);
        const QString path = m_dir.filePath("face.png");
        QVERIFY(solidImage(Qt::yellow).save(path, "PNG"));
        button.setPicture(Picture::fromFile(path, QSize(64, 64)));

        const QImage raised = button.grab().toImage();
        // Lit from the top left, the picture inside, the face's margin around it.
        QCOMPARE(QList<QColor>({raised.pixelColor(2, 2), raised.pixelColor(40, 50), raised.pixelColor(6, 50)}),
                 QList<QColor>({Qt::white, Qt::yellow, QColor(192, 192, 192)}));

        button.setDown(true);
        const QImage sunken = button.grab().toImage();
        QVERIFY(sunken.pixelColor(2, 2) != QColor(Qt::white));

        button.setDown(false);
        button.setFaceColor(QColor(255, 128, 0));
        QCOMPARE(button.grab().toImage().pixelColor(6, 50), QColor(255, 128, 0));
    }

    // Qt services

    void messageBoxAnswers_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("french"); // the answered button's text, when Qt's translation is there

        QTest::newRow("Return answers the default, Yes")
            << int(MsgButtons::YesNo) << int(Qt::Key_Return) << MsgAnswer::Yes << "Oui";
        QTest::newRow("Escape answers No") << int(MsgButtons::YesNo) << int(Qt::Key_Escape) << MsgAnswer::No << "Non";
        QTest::newRow("Return on a lone OK") << int(MsgButtons::Ok) << int(Qt::Key_Return) << MsgAnswer::Ok << "";
    }

    // A box shows the arrow over the hourglass and gives the hourglass back.
    void messageBoxAnswers()
    {
        QFETCH(int, buttons);
        QFETCH(int, key);
        QFETCH(int, answer);
        QFETCH(QString, french);
        QtMousePointer pointer;
        QtMessageBoxes boxes;
        pointer.hourglass();
        pointer.hourglass(); // overrides do not pile up: one arrow() undoes both
        QString title, buttonText;
        Qt::CursorShape whileShown = Qt::BlankCursor;
        whenMessageBoxShows([&](QMessageBox *box) {
            title = box->windowTitle();
            if (QAbstractButton *button = box->button(answer == MsgAnswer::No ? QMessageBox::No : QMessageBox::Yes))
                buttonText = button->text().remove(u'&');
            if (const QCursor *cursor = QGuiApplication::overrideCursor())
                whileShown = cursor->shape();
            QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(boxes.show("Veux-tu partir ?", "La LUMA - Cycle 1", MsgIcon::Question, MsgButtons(buttons)), answer);
        QCOMPARE(title, QString("La LUMA - Cycle 1"));
        if (m_french && !french.isEmpty())
            QCOMPARE(buttonText, french);
        QCOMPARE(whileShown, Qt::ArrowCursor);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        pointer.arrow();
        QVERIFY(!QGuiApplication::overrideCursor());
        pointer.arrow(); // the arrow when already the arrow is harmless
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void soundPlayerNeverWaits()
    {
        // A WAV of silence: 8 kHz, 8 bits, mono, one second; waiting for it five times would take five.
        const QString path = m_dir.filePath("FERME.WAV");
        const QByteArray header("RIFF\x64\x1F\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x40\x1F\0\0\x01\0\x08\0"
                                "data\x40\x1F\0\0", 44);
        QVERIFY(writeFileBytes(path, header + QByteArray(8000, '\x80')));

        {
            QtSoundPlayer player;
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < 5; ++i) {
                player.play(path);
                player.play(m_dir.filePath("ABSENT.WAV"));
                player.play(QString());
            }
            QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
            // The sound loads on Qt's own thread: let it end before the player goes.
            QTest::qWait(300);
        }
        // What the player's sounds left to delete later, deleted now: the test
        // ends here, and the leak check would count it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private:
    QTemporaryDir m_dir;
    QString m_base; // a data folder whose names differ in case from what the program writes
    bool m_french = false;
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
