// The pictures the teachers' program saves into the folders: real 24-bit BMP
// files of the kind's size, upright, written whole over any spelling of the
// name, and nothing changed when they cannot be; the picture widget fed from
// a camera, a drop and the clipboard.

#include "datafolder.h"
#include "errors.h"
#include "files.h"
#include "pictures.h"

#include "folder/dossiers.h"
#include "gestion/camera.h"
#include "gestion/choiximage.h"
#include "gestion/imagesbmp.h"
#include "platform/apperror.h"
#include "platform/picture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtEndian>
#include <QUrl>
#include <QtTest>

#include <memory>

using ImagesBmp::Sorte;

namespace {

// What a Windows reader finds first: bits a pixel, compression, width and
// height (positive: stored bottom-up); nothing when the headers are not a BMP's.
QList<int> bmpHeader(const QByteArray &bytes)
{
    const auto at = [&](int offset) { return qFromLittleEndian<qint32>(bytes.constData() + offset); };
    if (bytes.size() < 54 || !bytes.startsWith("BM") || at(2) != bytes.size() || at(14) != 40)
        return {};
    return {qFromLittleEndian<qint16>(bytes.constData() + 28), at(30), at(18), at(22)};
}

// An upright picture: red above, blue below (the upper half transparent
// instead of red when asked), to tell which way up it was saved.
QImage twoHalves(QSize size, bool transparentTop = false)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(0, 0, size.width(), size.height() / 2, transparentTop ? QColor(Qt::transparent) : QColor(Qt::red));
    return image;
}

// A JPEG as a camera held on its side writes it: the pixels stored turned a
// quarter to the left, and an EXIF orientation (6) saying to turn them back.
QByteArray sidewaysJpeg(const QImage &upright)
{
    QByteArray bytes = encoded(upright.transformed(QTransform().rotate(-90)), "JPEG");
    const QByteArray tiff = QByteArray("MM\0\x2a\0\0\0\x08" "\0\x01" "\x01\x12\0\x03\0\0\0\x01\0\x06\0\0" "\0\0\0\0", 26);
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
    const int length = 2 + int(exif.size());
    const QByteArray segment = QByteArray("\xff\xe1") + char(length >> 8) + char(length & 0xff) + exif;
    return bytes.left(2) + segment + bytes.mid(2);
}

bool near(QRgb actual, QColor expected)
{
    return qAbs(qRed(actual) - expected.red()) < 48 && qAbs(qGreen(actual) - expected.green()) < 48 &&
           qAbs(qBlue(actual) - expected.blue()) < 48;
}

// Checks a saved file as the Windows programs and the kiosk read it: a BMP
// of 24 bits, uncompressed, bottom-up, of the size; red (or `top`) above and
// blue below.
void checkSaved(const QString &path, QSize size, QColor top = Qt::red)
{
    QCOMPARE(bmpHeader(fileContents(path)), (QList<int>{24, 0, size.width(), size.height()}));
    const QImage read = Picture::readThumbnail(path, size);
    QVERIFY2(near(read.pixel(size.width() / 2, 1), top), "top");
    QVERIFY2(near(read.pixel(size.width() / 2, size.height() - 2), Qt::blue), "bottom");
}

class FakeCamera : public Camera
{
public:
    QList<Appareil> devices;
    QList<QByteArray> started;
    bool failsAtStart = false;

    QList<Appareil> appareils() override { return devices; }
    void demarre(const QByteArray &id) override
    {
        started << id;
        if (failsAtStart && surErreur)
            surErreur(QStringLiteral("débranchée"));
    }
    void arrete() override {}
    void sendFrame(const QImage &image)
    {
        if (surImage)
            surImage(image);
    }
};

void waitActive(QWidget *window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// A picture widget on the small school's folder, its camera a fake one.
struct WidgetFixture
{
    DataFolder folder;
    ChoixImage widget;
    QList<Camera::Appareil> devices{{"a", "Caméra A"}};
    bool cameraFails = false;
    FakeCamera *camera = nullptr;
    QStringList told;

    explicit WidgetFixture(Sorte kind) : widget(kind)
    {
        folder.fillSmallSchool();
        widget.setFabriqueCamera([this] {
            auto fake = std::make_unique<FakeCamera>();
            fake->devices = devices;
            fake->failsAtStart = cameraFails;
            camera = fake.get();
            return fake;
        });
        widget.setQuandEnregistree([this](const QString &path) { told << path; });
    }
    bool hasPreview() const { return widget.findChild<QLabel *>("apercu")->property("aUneImage").toBool(); }
    bool drop(QMimeData &data)
    {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &drop);
        return enter.isAccepted();
    }
};

} // namespace

class TestGestionImages : public QObject
{
    Q_OBJECT

private slots:
    void savedAtTheKindsSize_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QSize>("saved");
        const int photo = int(Sorte::Photo), cover = int(Sorte::Couverture), classe = int(Sorte::Classe);
        QTest::newRow("photo, tall PNG") << "png" << QSize(400, 1000) << photo << QSize(300, 300);
        QTest::newRow("photo, tiny") << "png" << QSize(120, 90) << photo << QSize(90, 90);
        QTest::newRow("photo, camera on its side") << "sideways" << QSize(900, 1200) << photo << QSize(300, 300);
        QTest::newRow("cover, wide PNG") << "png" << QSize(3000, 500) << cover << QSize(960, 160);
        QTest::newRow("cover, tiny") << "png" << QSize(100, 150) << cover << QSize(100, 150);
        QTest::newRow("cover, transparent") << "transparent" << QSize(300, 600) << cover << QSize(240, 480);
        QTest::newRow("cover, 12 MP on its side") << "sideways" << QSize(3000, 4000) << cover << QSize(360, 480);
        QTest::newRow("class, odd size JPEG") << "jpg" << QSize(4001, 2999) << classe << QSize(400, 300);
    }
    void savedAtTheKindsSize()
    {
        QFETCH(QString, format);
        QFETCH(QSize, upright);
        QFETCH(int, kind);
        QFETCH(QSize, saved);
        QTemporaryDir dir;
        const QImage image = twoHalves(upright, format == "transparent");
        const QString source = dir.filePath(QStringLiteral("source.") + (format == "jpg" ? "jpg" : "png"));
        QVERIFY(writeFileBytes(source, format == "sideways" ? sidewaysJpeg(image)
                                       : format == "jpg"    ? encoded(image.convertToFormat(QImage::Format_RGB32), "JPEG")
                                                            : encoded(image, "PNG")));
        // Into a folder yet to be made, named as a Windows program would.
        ImagesBmp::enregistreFichier(source, Sorte(kind), dir.path() + QStringLiteral("\\LIVRES\\00042.BMP"));
        checkSaved(fichierCouverture(dir.path(), QStringLiteral("00042")), saved, format == "transparent" ? Qt::white : Qt::red);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList({"LIVRES", QFileInfo(source).fileName()}));
    }

    // A folder copied from Windows keeps the names' case as it was: the
    // picture replaces the file whatever its case, and one file remains,
    // the one the kiosk finds.
    void replacesTheFileWhateverItsCase()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        for (const char *name : {"12.BMP", "12.Bmp", "12.bmp"})
            QVERIFY(writeFileBytes(folder.school() + u'/' + name, encoded(QImage(40, 40, QImage::Format_RGB32), "BMP")));
        const QString written = ImagesBmp::enregistre(ImagesBmp::prepare(twoHalves({500, 500}), Sorte::Photo),
                                                      folder.school() + QStringLiteral("/12.BMP"));
        QCOMPARE(fichierPhotoEnfant(folder.school(), QStringLiteral("12")), written);
        checkSaved(written, {300, 300});
        // Name filters ignore case.
        QCOMPARE(QDir(folder.school()).entryList({"*12*"}, QDir::AllEntries | QDir::Hidden), QStringList{"12.BMP"});
    }

    // What is no picture, too big, or cannot be written is refused with the
    // file named, and changes nothing.
    void refusedChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("named");
        const QByteArray png = encoded(twoHalves({800, 600}), "PNG");
        QTest::newRow("text") << QByteArray("Le loup et l'agneau\n") << "LIVRES/1.BMP" << "image.png";
        QTest::newRow("huge PNG") << blackPng(20000, 20000) << "LIVRES/1.BMP" << "image.png";
        QTest::newRow("folder under the name") << png << "ALTEMARE/CLASSE01.BMP" << "CLASSE01.BMP";
        QTest::newRow("data folder gone") << png << "nowhere/LIVRES/00001.BMP" << "00001.BMP";
    }
    void refusedChangesNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, target);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("image.png"));
        QVERIFY(writeFileBytes(source, bytes));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("ALTEMARE/classe01.bmp")));
        const FileTree before = fileTree(dir.path());
        const std::optional<AppError> error =
            errorOf([&] { ImagesBmp::enregistreFichier(source, Sorte::Classe, dir.filePath(target)); });
        QVERIFY(error && error->description().contains(named, Qt::CaseInsensitive));
        COMPARE_TREES(fileTree(dir.path()), before);
    }

    // The widget's ways in, each ending in the saved file and its preview.
    void widgetSavesWhatItIsGiven_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QSize>("saved");
        QTest::newRow("camera, second of two") << "camera" << int(Sorte::Classe) << QSize(400, 300);
        QTest::newRow("drop of a file") << "drop-file" << int(Sorte::Couverture) << QSize(360, 480);
        QTest::newRow("drop of PNG bytes") << "drop-png" << int(Sorte::Photo) << QSize(300, 300);
        QTest::newRow("paste, Ctrl+V") << "paste" << int(Sorte::Classe) << QSize(400, 300);
    }
    void widgetSavesWhatItIsGiven()
    {
        QFETCH(QString, way);
        QFETCH(int, kind);
        QFETCH(QSize, saved);
        WidgetFixture f{Sorte(kind)};
        f.devices << Camera::Appareil{"b", "Caméra B"};
        const QSize size = Sorte(kind) == Sorte::Classe ? QSize(800, 600) : QSize(600, 800);
        const QImage picture = twoHalves(size).convertToFormat(QImage::Format_RGB32);
        const QString target = f.folder.school() + QStringLiteral("/CLASSE03.BMP");
        f.widget.setCible(target);
        QVERIFY(!f.hasPreview());

        if (way == "camera") {
            f.widget.ouvreCamera();
            auto *dialog = f.widget.findChild<DialogueCamera *>();
            QVERIFY(dialog && f.camera);
            waitActive(dialog);
            dialog->findChild<QComboBox *>("choixCamera")->setCurrentIndex(1);
            QCOMPARE(f.camera->started, QList<QByteArray>({"a", "b"}));
            auto *take = dialog->findChild<QPushButton *>("prendre");
            f.camera->sendFrame(QImage(640, 480, QImage::Format_RGB32));
            QTest::keyClick(dialog, Qt::Key_Space);
            QTRY_VERIFY(!take->isVisible()); // a button's shortcut clicks it a moment later
            // Taken: later pictures no longer change it; taken again after "Reprendre".
            f.camera->sendFrame(QImage(640, 480, QImage::Format_RGB32));
            dialog->findChild<QPushButton *>("reprendre")->click();
            f.camera->sendFrame(picture);
            QTest::keyClick(dialog, Qt::Key_Space);
            QTRY_VERIFY(!take->isVisible());
            f.camera->sendFrame(QImage(640, 480, QImage::Format_RGB32));
            dialog->findChild<QPushButton *>("utiliser")->click();
        } else if (way == "paste") {
            // Shown, as a key goes only to an active window.
            f.widget.show();
            waitActive(&f.widget);
            auto *data = new QMimeData;
            data->setImageData(picture);
            QGuiApplication::clipboard()->setMimeData(data);
            f.widget.findChild<QPushButton *>()->setFocus();
            QTest::keyClick(f.widget.findChild<QPushButton *>(), Qt::Key_V, Qt::ControlModifier);
        } else {
            QMimeData data;
            const QString file = f.folder.root() + QStringLiteral("/dropped.jpg");
            QVERIFY(writeFileBytes(file, sidewaysJpeg(picture)));
            if (way == "drop-file") // a web address, skipped, before the file
                data.setUrls({QUrl(QStringLiteral("https://example.org/loup.jpg")), QUrl::fromLocalFile(file)});
            else
                data.setData(QStringLiteral("image/png"), encoded(picture, "PNG"));
            QVERIFY(f.drop(data));
        }

        QTRY_COMPARE(f.told, QStringList{target});
        checkSaved(target, saved);
        QVERIFY(f.hasPreview());
        QVERIFY(!f.widget.findChild<QMessageBox *>());
    }

    // What is no picture leaves the old file and says so; a camera cancelled,
    // missing or failing leaves it silently, its dialog having said why.
    void widgetKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("given");
        QTest::newRow("drop of a text file") << "text-file";
        QTest::newRow("paste of text") << "paste-text";
        QTest::newRow("camera cancelled") << "camera-cancelled";
        QTest::newRow("no camera plugged") << "camera-none";
        QTest::newRow("camera failing at start") << "camera-failing";
    }
    void widgetKeepsTheOldFile()
    {
        QFETCH(QString, given);
        WidgetFixture f{Sorte::Couverture};
        QVERIFY(QDir().mkpath(f.folder.base() + QStringLiteral("/LIVRES")));
        QVERIFY(writeFileBytes(f.folder.base() + QStringLiteral("/LIVRES/00007.BMP"), encoded(twoHalves({40, 80}), "BMP")));
        QVERIFY(writeFileBytes(f.folder.root() + QStringLiteral("/notes.png"), "pas une image"));
        f.widget.setCible(f.folder.base() + QStringLiteral("/livres/00007.bmp"));
        QVERIFY(f.hasPreview());
        f.widget.show();
        const FileTree ready = fileTree(f.folder.root());
        if (given == "paste-text") {
            auto *text = new QMimeData;
            text->setText(QStringLiteral("Le loup"));
            QGuiApplication::clipboard()->setMimeData(text);
            f.widget.colle();
        } else if (given.startsWith("camera")) {
            if (given == "camera-none")
                f.devices.clear();
            f.cameraFails = given == "camera-failing";
            f.widget.ouvreCamera();
            auto *dialog = f.widget.findChild<DialogueCamera *>();
            QVERIFY(dialog);
            auto *take = dialog->findChild<QPushButton *>("prendre");
            if (given == "camera-cancelled") {
                f.camera->sendFrame(twoHalves({100, 100}));
                take->click();
            } else {
                // Nothing to take, nor to use.
                QVERIFY(!take->isEnabled());
                QTest::keyClick(dialog, Qt::Key_Space);
                dialog->accept();
                QVERIFY(dialog->isVisible());
                QVERIFY(dialog->photo().isNull());
            }
            dialog->reject();
        } else {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(f.folder.root() + QStringLiteral("/notes.png"))});
            f.drop(data);
        }
        QCoreApplication::processEvents();
        COMPARE_TREES(fileTree(f.folder.root()), ready);
        QCOMPARE(bool(f.widget.findChild<QMessageBox *>()), !given.startsWith("camera"));
    }
};

QTEST_MAIN(TestGestionImages)
#include "tst_gestion_images.moc"
