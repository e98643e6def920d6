#pragma once

#include "platform/widgets.h"

#include <QColor>
#include <QDialog>
#include <QString>
#include <functional>

class AppContext;
class Module11;
class QAbstractButton;
class QLabel;
class QPushButton;

// What every menu, lending and search screen shares: the outer size of
// 9720 x 7320 twips, the caption "La LUMA - Cycle 1", the background colour,
// the title band Panel3D1 whose double click shows the about box, modal
// opening of the next screen, and the activation step run each time the
// screen becomes the active one again.
//
// A screen is created once and then only shown and hidden: hiding it ends its
// modal loop, and the opener goes on after ouvrirModal(). Escape and the window's
// close box do nothing: a screen is left by its own door button.
class LumaScreen : public QDialog
{
public:
    LumaScreen(AppContext &context, const QString &objectName, const QColor &background);

    AppContext &context() const { return m_context; }
    Module11 &module() const;

    // Shows another screen modally; when it hides, this screen's activation
    // step runs again.
    void ouvrirModal(LumaScreen &screen);

    // The activation step (each time the screen becomes the active one).
    virtual void Form_Activate() {}

    // The button that leaves the screen (none on the main menu).
    QAbstractButton *door() const { return m_door; }

    // Places a control, in twips of the client area.
    void place(QWidget *widget, double left, double top, double width, double height) const;
    // A plain push button with a bold Arial caption, that takes no keyboard focus.
    QPushButton *makePushButton(const QString &objectName, const QString &caption, double points, double left,
                                double top, double width, double height);

protected:
    // Sets the outer size and centres the screen (the load step).
    void loadScreen();

    // The title band across the top, with its text, font size and colours.
    Panel3D *makeTitleBand(const QString &text, double points, const QColor &textColor, bool bold = false);
    Button3D *makeButton(const QString &objectName, const QString &resource, const QString &accessibleName,
                         double left, double top, double width, double height, QWidget *parent = nullptr);
    PictureImage *makeSpeakerAt(const QString &objectName, const QString &spokenWords, double left, double top,
                                QWidget *parent = nullptr);
    // The door at the right end of the title band and the loudspeaker beside
    // it, which says "Fermer"; each calls its handler.
    void makeDoor(const std::function<void()> &onDoor, const std::function<void()> &onSpeaker);
    void setDoor(QAbstractButton *door) { m_door = door; }
    // Plays the door's sound, "\SONS\FERME.WAV".
    void joueSonFerme();
    QLabel *makeLabel(const QString &objectName, const QString &text, double left, double top, double width,
                      double height, const QFont &font, const QColor &color, Qt::Alignment alignment,
                      QWidget *parent = nullptr);

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    AppContext &m_context;
    QAbstractButton *m_door = nullptr;
};

// Pictures of our own, compiled in.
inline QString asset(const QString &name)
{
    return QStringLiteral(":/assets/") + name + QStringLiteral(".svg");
}
