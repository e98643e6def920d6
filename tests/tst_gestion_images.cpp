// The pictures the teachers' program saves into the folders: real 24-bit BMP
// files of the kind's size, upright, written whole over any spelling of the
// name, and nothing changed when they cannot be; the picture widget fed from
// a camera, a drop and the clipboard.

#include "datafolder.h"
#include "files.h"
#include "groups.h"
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
#include <QUrl>
#include <QtTest>

#include <memory>

using ImagesBmp::Sorte;

namespace {

struct BmpHeader
{
    int width = 0;
    int height = 0;
    int bits = 0;
    int compression = -1;
};

quint32 littleEndianAt(const QByteArray &bytes, int offset, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes[offset + i]);
    return value;
}

// What a Windows reader finds first: the file and info headers.
std::optional<BmpHeader> bmpHeader(const QByteArray &bytes)
{
    if (bytes.size() < 54 || !bytes.startsWith("BM") || littleEndianAt(bytes, 2, 4) != quint32(bytes.size()) ||
        littleEndianAt(bytes, 14, 4) != 40)
        return std::nullopt;
    return BmpHeader{int(littleEndianAt(bytes, 18, 4)), int(qint32(littleEndianAt(bytes, 22, 4))),
                     int(littleEndianAt(bytes, 28, 2)), int(littleEndianAt(bytes, 30, 4))};
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

QByteArray sourceBytes(const QString &format, const QImage &upright)
{
    if (format == QLatin1String("sideways"))
        return sidewaysJpeg(upright);
    return encoded(format == QLatin1String("jpg") ? upright.convertToFormat(QImage::Format_RGB32) : upright,
                   format == QLatin1String("jpg") ? "JPEG" : "PNG");
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
    const std::optional<BmpHeader> header = bmpHeader(fileContents(path));
    QVERIFY2(header, qPrintable(path));
    QCOMPARE(header->bits, 24);
    QCOMPARE(header->compression, 0);
    QCOMPARE(QSize(header->width, header->height), size);
    const QImage read = Picture::readThumbnail(path, size);
    QCOMPARE(read.size(), size);
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

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void waitActive(QWidget *window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

class TestGestionImages : public QObject
{
    Q_OBJECT

private slots:
    void savedAtTheKindsSize_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<bool>("transparentTop");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QSize>("saved");
        const int photo = int(Sorte::Photo), cover = int(Sorte::Couverture), classe = int(Sorte::Classe);
        QTest::newRow("photo, wide JPEG") << "jpg" << QSize(1200, 800) << false << photo << QSize(300, 300);
        QTest::newRow("photo, tall PNG") << "png" << QSize(400, 1000) << false << photo << QSize(300, 300);
        QTest::newRow("photo, tiny") << "png" << QSize(120, 90) << false << photo << QSize(90, 90);
        QTest::newRow("photo, camera on its side") << "sideways" << QSize(900, 1200) << false << photo << QSize(300, 300);
        QTest::newRow("cover, tall JPEG") << "jpg" << QSize(600, 1800) << false << cover << QSize(160, 480);
        QTest::newRow("cover, wide PNG") << "png" << QSize(3000, 500) << false << cover << QSize(960, 160);
        QTest::newRow("cover, tiny") << "png" << QSize(100, 150) << false << cover << QSize(100, 150);
        QTest::newRow("cover, transparent") << "png" << QSize(300, 600) << true << cover << QSize(240, 480);
        QTest::newRow("cover, 12 MP on its side") << "sideways" << QSize(3000, 4000) << false << cover << QSize(360, 480);
        QTest::newRow("class, 12 MP JPEG") << "jpg" << QSize(4000, 3000) << false << classe << QSize(400, 300);
        QTest::newRow("class, odd size JPEG") << "jpg" << QSize(4001, 2999) << false << classe << QSize(400, 300);
    }
    void savedAtTheKindsSize()
    {
        QFETCH(QString, format);
        QFETCH(QSize, upright);
        QFETCH(bool, transparentTop);
        QFETCH(int, kind);
        QFETCH(QSize, saved);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source.") + (format == "png" ? "png" : "jpg"));
        QVERIFY(writeFileBytes(source, sourceBytes(format, twoHalves(upright, transparentTop))));
        const QString written = ImagesBmp::enregistreFichier(source, Sorte(kind), dir.filePath(QStringLiteral("X.BMP")));
        QCOMPARE(written, dir.filePath(QStringLiteral("X.BMP")));
        checkSaved(written, saved, transparentTop ? Qt::white : Qt::red);
        QCOMPARE(entries(dir.path()), QStringList({"X.BMP", QFileInfo(source).fileName()}));
    }

    // A folder copied from Windows keeps the names' case as it was: the
    // picture replaces the file whatever its case, and one file remains,
    // the one the kiosk finds.
    void replacesTheFileWhateverItsCase_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::newRow("none") << QStringList();
        QTest::newRow("same name") << QStringList{"12.BMP"};
        QTest::newRow("lower case") << QStringList{"12.bmp"};
        QTest::newRow("two spellings") << QStringList{"12.Bmp", "12.bmp"};
    }
    void replacesTheFileWhateverItsCase()
    {
        QFETCH(QStringList, existing);
        DataFolder folder;
        folder.fillSmallSchool();
        const QStringList before = entries(folder.school());
        for (const QString &name : existing)
            QVERIFY(writeFileBytes(folder.school() + u'/' + name, encoded(QImage(40, 40, QImage::Format_RGB32), "BMP")));
        const QString written = ImagesBmp::enregistre(ImagesBmp::prepare(twoHalves({500, 500}), Sorte::Photo),
                                                      folder.school() + QStringLiteral("/12.BMP"));
        QCOMPARE(fichierPhotoEnfant(folder.school(), QStringLiteral("12")), written);
        checkSaved(written, {300, 300});
        QStringList after = entries(folder.school()), expected = before + QStringList{QFileInfo(written).fileName()};
        after.sort();
        expected.sort();
        QCOMPARE(after, expected);
    }

    void coverFolderMadeWhenMissing()
    {
        DataFolder folder;
        folder.fillSmallSchool();
        QDir(folder.base()).removeRecursively();
        QVERIFY(QDir().mkpath(folder.base()));
        ImagesBmp::enregistre(twoHalves({100, 200}), folder.base() + QStringLiteral("\\LIVRES\\00042.BMP"));
        checkSaved(fichierCouverture(folder.base(), QStringLiteral("00042")), {100, 200});
    }

    // A write that cannot be done leaves the old picture as it was, and no
    // temporary file beside it.
    void failedWriteChangesNothing_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("folder under the name") << "folder";
        QTest::newRow("link under the name") << "link";
        QTest::newRow("no such folder") << "missing";
    }
    void failedWriteChangesNothing()
    {
        QFETCH(QString, obstacle);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("ALTEMARE"));
        QVERIFY(QDir().mkpath(folder));
        QString target = folder + QStringLiteral("/CLASSE01.BMP");
        QVERIFY(writeFileBytes(target, encoded(twoHalves({30, 30}), "BMP")));
        if (obstacle == "folder") {
            QVERIFY(QFile::remove(target));
            QVERIFY(QDir(folder).mkdir(QStringLiteral("classe01.bmp")));
        }
        if (obstacle == "link") {
            QVERIFY(QFile::rename(target, dir.filePath(QStringLiteral("elsewhere.bmp"))));
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere.bmp")), target));
        }
        if (obstacle == "missing")
            target = dir.filePath(QStringLiteral("nowhere/LIVRES/00001.BMP"));
        const FileTree before = fileTree(dir.path());
        const QImage picture = ImagesBmp::prepare(twoHalves({800, 600}), Sorte::Classe);
        const auto save = [&] {
            try {
                ImagesBmp::enregistre(picture, target);
            } catch (const AppError &error) {
                return error.description().contains(QFileInfo(target).fileName(), Qt::CaseInsensitive);
            }
            return false;
        };
        if (obstacle == "read-only") {
            // Run by another account when the tests run as the administrator,
            // whom no folder's mode stops.
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
            QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
            const int code = asAccount(4321, 4321, 4321, save);
            ::chmod(QFile::encodeName(folder).constData(), 0755);
            QCOMPARE(code, 0);
        } else {
            QVERIFY(save());
        }
        COMPARE_TREES(fileTree(dir.path()), before);
    }

    void notAPictureIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("Le loup et l'agneau\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated JPEG") << encoded(twoHalves({200, 200}).convertToFormat(QImage::Format_RGB32), "JPEG").left(300);
        QTest::newRow("huge PNG") << blackPng(20000, 20000);
    }
    void notAPictureIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("image.png"));
        QVERIFY(writeFileBytes(source, bytes));
        QVERIFY_THROWS_EXCEPTION(AppError, ImagesBmp::enregistreFichier(source, Sorte::Couverture, dir.filePath("1.BMP")));
        QVERIFY_THROWS_EXCEPTION(AppError, ImagesBmp::litDonnees(bytes, Sorte::Photo, QStringLiteral("collée")));
        QCOMPARE(entries(dir.path()), QStringList{"image.png"});
    }

    // The widget's ways in, each ending in the saved file and its preview.
    void widgetSavesWhatItIsGiven_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QSize>("saved");
        QTest::newRow("camera") << "camera" << int(Sorte::Photo) << QSize(300, 300);
        QTest::newRow("camera, second of two") << "camera2" << int(Sorte::Classe) << QSize(400, 300);
        QTest::newRow("drop of a file") << "drop-file" << int(Sorte::Couverture) << QSize(360, 480);
        QTest::newRow("drop of picture data") << "drop-image" << int(Sorte::Photo) << QSize(300, 300);
        QTest::newRow("drop of PNG bytes") << "drop-png" << int(Sorte::Couverture) << QSize(360, 480);
        QTest::newRow("paste, Ctrl+V") << "paste" << int(Sorte::Classe) << QSize(400, 300);
    }
    void widgetSavesWhatItIsGiven()
    {
        QFETCH(QString, way);
        QFETCH(int, kind);
        QFETCH(QSize, saved);
        DataFolder folder;
        folder.fillSmallSchool();
        const QImage upright = twoHalves({600, 800}).convertToFormat(QImage::Format_RGB32);
        const QImage landscape = twoHalves({800, 600}).convertToFormat(QImage::Format_RGB32);
        const QImage picture = Sorte(kind) == Sorte::Classe ? landscape : upright;

        ChoixImage widget{Sorte(kind)};
        FakeCamera *camera = nullptr;
        widget.setFabriqueCamera([&] {
            auto fake = std::make_unique<FakeCamera>();
            fake->devices = {{"a", "Caméra A"}};
            if (way == "camera2")
                fake->devices << Camera::Appareil{"b", "Caméra B"};
            camera = fake.get();
            return fake;
        });
        QStringList told;
        widget.setQuandEnregistree([&](const QString &path) { told << path; });
        const QString target = folder.school() + QStringLiteral("/CLASSE03.BMP");
        widget.setCible(target);
        QVERIFY(!widget.findChild<QLabel *>("apercu")->property("aUneImage").toBool());
        // Shown only where a key goes through it: the camera's dialog is then
        // the one window, and active.
        if (way == "paste") {
            widget.show();
            waitActive(&widget);
        }

        if (way.startsWith("camera")) {
            widget.ouvreCamera();
            auto *dialog = widget.findChild<DialogueCamera *>();
            QVERIFY(dialog && camera);
            waitActive(dialog);
            if (way == "camera2") {
                dialog->findChild<QComboBox *>("choixCamera")->setCurrentIndex(1);
                QCOMPARE(camera->started, QList<QByteArray>({"a", "b"}));
            }
            auto *take = dialog->findChild<QPushButton *>("prendre");
            QVERIFY(!take->isEnabled()); // nothing to take before the first picture
            camera->sendFrame(QImage(640, 480, QImage::Format_RGB32));
            QTest::keyClick(dialog, Qt::Key_Space);
            QTRY_VERIFY(!take->isVisible()); // a button's shortcut clicks it a moment later
            // Taken: later pictures no longer change it; taken again after "Reprendre".
            camera->sendFrame(QImage(640, 480, QImage::Format_RGB32));
            dialog->findChild<QPushButton *>("reprendre")->click();
            camera->sendFrame(picture);
            QTest::keyClick(dialog, Qt::Key_Space);
            QTRY_VERIFY(!take->isVisible());
            camera->sendFrame(QImage(640, 480, QImage::Format_RGB32));
            dialog->findChild<QPushButton *>("utiliser")->click();
        } else if (way.startsWith("drop")) {
            QMimeData data;
            const QString file = folder.root() + QStringLiteral("/dropped.jpg");
            if (way == "drop-file") {
                QVERIFY(writeFileBytes(file, sidewaysJpeg(upright)));
                data.setUrls({QUrl(QStringLiteral("https://example.org/loup.jpg")), QUrl::fromLocalFile(file)});
            } else if (way == "drop-image") {
                data.setImageData(picture);
            } else {
                data.setData(QStringLiteral("image/png"), encoded(picture, "PNG"));
            }
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&widget, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&widget, &drop);
        } else {
            auto *data = new QMimeData;
            data->setImageData(picture);
            QGuiApplication::clipboard()->setMimeData(data);
            widget.findChild<QPushButton *>()->setFocus();
            QTest::keyClick(widget.findChild<QPushButton *>(), Qt::Key_V, Qt::ControlModifier);
        }

        QTRY_COMPARE(told, QStringList{target});
        checkSaved(target, saved);
        QVERIFY(widget.findChild<QLabel *>("apercu")->property("aUneImage").toBool());
        QVERIFY(!widget.findChild<QMessageBox *>());
    }

    // What is no picture, or cannot be saved, leaves the old file and says so.
    void widgetKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("given");
        QTest::newRow("drop of a text file") << "text-file";
        QTest::newRow("drop of a web address") << "web";
        QTest::newRow("paste of text") << "paste-text";
        QTest::newRow("camera cancelled") << "camera-cancelled";
        QTest::newRow("folder under the name") << "folder";
    }
    void widgetKeepsTheOldFile()
    {
        QFETCH(QString, given);
        DataFolder folder;
        folder.fillSmallSchool();
        const QString target = folder.base() + QStringLiteral("/LIVRES/00007.BMP");
        QVERIFY(QDir().mkpath(folder.base() + QStringLiteral("/LIVRES")));
        QVERIFY(writeFileBytes(target, encoded(twoHalves({40, 80}), "BMP")));
        ChoixImage widget(Sorte::Couverture);
        FakeCamera *camera = nullptr;
        widget.setFabriqueCamera([&] {
            auto fake = std::make_unique<FakeCamera>();
            fake->devices = {{"a", "Caméra A"}};
            camera = fake.get();
            return fake;
        });
        widget.setCible(folder.base() + QStringLiteral("/livres/00007.bmp"));
        QVERIFY(widget.findChild<QLabel *>("apercu")->property("aUneImage").toBool());
        widget.show();
        QMimeData data;
        if (given == "text-file") {
            const QString file = folder.root() + QStringLiteral("/notes.png");
            QVERIFY(writeFileBytes(file, "pas une image"));
            data.setUrls({QUrl::fromLocalFile(file)});
        } else if (given == "web") {
            data.setUrls({QUrl(QStringLiteral("https://example.org/loup.jpg"))});
        } else if (given == "folder") {
            QVERIFY(QFile::remove(target));
            QVERIFY(QDir().mkdir(target));
            data.setImageData(twoHalves({100, 100}));
        }
        const FileTree ready = fileTree(folder.root());
        if (given == "paste-text") {
            auto *text = new QMimeData;
            text->setText(QStringLiteral("Le loup"));
            QGuiApplication::clipboard()->setMimeData(text);
            widget.colle();
        } else if (given == "camera-cancelled") {
            widget.ouvreCamera();
            auto *dialog = widget.findChild<DialogueCamera *>();
            QVERIFY(dialog);
            camera->sendFrame(twoHalves({100, 100}));
            dialog->findChild<QPushButton *>("prendre")->click();
            dialog->reject();
        } else {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&widget, &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&widget, &drop);
        }
        QCoreApplication::processEvents();
        COMPARE_TREES(fileTree(folder.root()), ready);
        QCOMPARE(bool(widget.findChild<QMessageBox *>()), given != "camera-cancelled");
    }

    // Without a camera, or with one that fails, the dialog says so and has
    // nothing to take; the system's cameras (none here, maybe no backend)
    // neither crash nor offer one.
    void cameraDialogWithoutCamera_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::newRow("none plugged") << "none";
        QTest::newRow("fails at start") << "failing";
        QTest::newRow("the system's") << "system";
    }
    void cameraDialogWithoutCamera()
    {
        QFETCH(QString, camera);
        std::unique_ptr<Camera> chosen;
        if (camera == "system") {
            chosen = cameraSysteme();
            if (!chosen->appareils().isEmpty())
                QSKIP("this computer has a camera");
        } else {
            auto fake = std::make_unique<FakeCamera>();
            if (camera == "failing")
                fake->devices = {{"a", "Caméra A"}}, fake->failsAtStart = true;
            chosen = std::move(fake);
        }
        DialogueCamera dialog(std::move(chosen), Sorte::Photo);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!dialog.findChild<QPushButton *>("prendre")->isEnabled());
        QVERIFY(!dialog.findChild<QPushButton *>("utiliser")->isVisible());
        QTest::keyClick(&dialog, Qt::Key_Space);
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.photo().isNull());
    }
};

QTEST_MAIN(TestGestionImages)
#include "tst_gestion_images.moc"
