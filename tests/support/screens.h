#pragma once

// Header only: driving the program's modal screens from a test.

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs `open`, which shows `screen` modally; `inside` runs while it is up,
// and the screen is then closed if `inside` left it open.
inline void whileOpen(QDialog &screen, const std::function<void()> &inside, const std::function<void()> &open)
{
    QTimer::singleShot(0, &screen, [&screen, inside] {
        inside();
        if (screen.isVisible())
            screen.hide();
    });
    open();
}

// A control of a screen, by its name; the test stops when there is none.
template <typename W>
W *child(QWidget &screen, const QString &name)
{
    W *w = screen.findChild<W *>(name);
    if (!w)
        qFatal("no control %s", qPrintable(name));
    return w;
}

// A small picture file (a cover, a photograph), in one colour.
inline void writeBmp(const QString &path, const QColor &color = Qt::yellow)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(color);
    QVERIFY(image.save(path, "BMP"));
}
