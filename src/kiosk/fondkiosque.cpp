#include "kiosk/fondkiosque.h"

#include <QGuiApplication>
#include <QScreen>

FondKiosque::FondKiosque(const QColor &colour)
{
    setObjectName(QStringLiteral("FondKiosque"));
    setWindowTitle(QStringLiteral("La LUMA - Cycle 1"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
}

void FondKiosque::couvreEcran()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    showFullScreen();
}
