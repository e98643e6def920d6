#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

class Clock;
class QWidget;

// The return to the main menu when nobody touches the kiosk: after the given
// time without a touch, a click or a key, every screen above the main menu
// closes as its door would, one after another from the top, and a message box
// that only tells something is closed by its "OK"; a question (the repair
// offer) is left for a grown-up to answer, and the screens under it stay. The
// next child finds the main menu, with no child chosen and no number half
// typed. Nothing happens while a finger or a button is held down, nor on the
// main menu itself.
class RetourAccueil : public QObject
{
public:
    // `occupé`, when given, tells that the program is in the middle of a
    // step (waiting for a lock): nothing is closed under it.
    RetourAccueil(const Clock &clock, int seconds, std::function<bool()> occupé = {}, QObject *parent = nullptr);
    ~RetourAccueil() override;

    // Looks at the time and the screens; the timer calls it every second, and
    // more often while screens are being closed. Public for the tests.
    void verifie();
    bool enCours() const { return m_enCours; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Closes the topmost screen or answers the topmost message box; false when
    // nothing above the main menu is left to close.
    bool fermeLePlusHaut();

    const Clock &m_clock;
    std::function<bool()> m_occupé;
    qint64 m_delaiMs;
    QDateTime m_derniereActivite;
    quint64 m_dernierHorodatage = 0; // of the last input event counted
    bool m_appui = false;            // a button or a finger is down
    bool m_enCours = false; // closing screens, one per tick
    QWidget *m_dernierFerme = nullptr;
    QTimer m_timer;
};
