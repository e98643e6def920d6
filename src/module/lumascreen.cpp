#include "module/lumascreen.h"

#include "module/appcontext.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

LumaScreen::LumaScreen(AppContext &context, const QString &objectName, const QColor &background)
    : QDialog(context.fond()), m_context(context)
{
    // Full screen, the screens sit on the backdrop, without frames, kept
    // above it by the window manager.
    if (context.fond())
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setObjectName(objectName);
    setWindowTitle(QStringLiteral("La LUMA - Cycle 1"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, background);
    setPalette(pal);
}

Module11 &LumaScreen::module() const
{
    return m_context.module();
}

void LumaScreen::loadScreen()
{
    setFixedSize(m_context.geometry().clientSizeForOuter(kScreenWidthTwips, kScreenHeightTwips));
    module().CentreFeuille(*this);
}

void LumaScreen::ouvrirModal(LumaScreen &screen)
{
    screen.exec();
    // (Not when this screen was closed meanwhile, as the return to the main
    // menu closes the screens one after another.)
    if (!module().programEnded() && isVisible())
        Form_Activate();
}

void LumaScreen::place(QWidget *widget, double left, double top, double width, double height) const
{
    m_context.geometry().place(widget, left, top, width, height);
}

Panel3D *LumaScreen::makeTitleBand(const QString &text, double points, const QColor &textColor, bool bold)
{
    auto *band = new Panel3D(this);
    band->setObjectName(QStringLiteral("Panel3D1"));
    band->setBackground(QColor(255, 128, 0));
    band->setTextColor(textColor);
    band->setFont(m_context.geometry().font(QStringLiteral("Arial"), points, bold));
    band->setText(text);
    place(band, 0, 0, 9615, 1455);
    connect(band, &Panel3D::doubleClicked, this, [this] { module().APropos(); });
    return band;
}

Button3D *LumaScreen::makeButton(const QString &objectName, const QString &resource, const QString &accessibleName,
                                 double left, double top, double width, double height, QWidget *parent)
{
    auto *button = new Button3D(parent ? parent : this);
    button->setObjectName(objectName);
    if (!resource.isEmpty())
        button->setPicture(Picture::fromResource(resource));
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::NoFocus);
    place(button, left, top, width, height);
    return button;
}

PictureImage *LumaScreen::makeSpeakerAt(const QString &objectName, const QString &spokenWords, double left,
                                        double top, QWidget *parent)
{
    PictureImage *speaker = makeSpeaker(parent ? parent : this, objectName, spokenWords);
    place(speaker, left, top, 480, 480);
    return speaker;
}

void LumaScreen::makeDoor(const std::function<void()> &onDoor, const std::function<void()> &onSpeaker)
{
    PictureImage *speaker = makeSpeakerAt(QStringLiteral("Picture3"), QStringLiteral("Fermer"), 8100, 780);
    connect(speaker, &PictureImage::clicked, this, onSpeaker);
    Button3D *door = makeButton(QStringLiteral("Command3D3"), asset(QStringLiteral("door")), QStringLiteral("Fermer"),
                                8640, 180, 825, 1125);
    connect(door, &QAbstractButton::clicked, this, onDoor);
    setDoor(door);
}

QPushButton *LumaScreen::makePushButton(const QString &objectName, const QString &caption, double points,
                                        double left, double top, double width, double height)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(objectName);
    button->setAccessibleName(caption);
    button->setFont(m_context.geometry().font(QStringLiteral("Arial"), points, true));
    // Return in a text box must not press it behind the child's back.
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    place(button, left, top, width, height);
    return button;
}

void LumaScreen::joueSonFerme()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
}

QLabel *LumaScreen::makeLabel(const QString &objectName, const QString &text, double left, double top, double width,
                              double height, const QFont &font, const QColor &color, Qt::Alignment alignment,
                              QWidget *parent)
{
    auto *label = new QLabel(text, parent ? parent : this);
    label->setObjectName(objectName);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setWordWrap(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    place(label, left, top, width, height);
    return label;
}

void LumaScreen::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // A screen shown again keeps its old place among the windows unless it
    // is raised: without a window manager, the document display, once opened
    // by one search screen, would open underneath another.
    // (The offscreen platform of the tests has no stacking to change.)
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise();
    activateWindow();
    Form_Activate();
}

void LumaScreen::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void LumaScreen::reject()
{
    // Escape does not close a screen: only its door does.
}
