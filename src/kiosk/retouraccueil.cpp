#include "kiosk/retouraccueil.h"

#include "module/lumascreen.h"
#include "platform/services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QMouseEvent>

#include <algorithm>

namespace {

constexpr int kCheckMs = 1000;
// Between two screens closing: long enough for the one just closed to leave
// its modal loop and its opener to run its activation step.
constexpr int kStepMs = 100;

// A screen above the main menu: the screens the child can leave by a door.
LumaScreen *screenWithDoor(QWidget *widget)
{
    auto *screen = dynamic_cast<LumaScreen *>(widget);
    return screen && screen->door() && screen->isVisible() ? screen : nullptr;
}

bool anyScreenAboveMenu()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget *w) { return screenWithDoor(w) != nullptr; });
}

} // namespace

RetourAccueil::RetourAccueil(const Clock &clock, int seconds, std::function<bool()> occupé, QObject *parent)
    : QObject(parent), m_clock(clock), m_occupé(std::move(occupé)), m_delaiMs(qint64(seconds) * 1000),
      m_derniereActivite(clock.now())
{
    qApp->installEventFilter(this);
    connect(&m_timer, &QTimer::timeout, this, [this] { verifie(); });
    m_timer.start(kCheckMs);
}

RetourAccueil::~RetourAccueil()
{
    qApp->removeEventFilter(this);
}

bool RetourAccueil::eventFilter(QObject *watched, QEvent *event)
{
    if (!event->isInputEvent())
        return QObject::eventFilter(watched, event);
    // An input event goes up from the widget to its parents, and one that
    // opened a message box goes on up after the box was answered, perhaps
    // minutes later: each is counted once, at its own time.
    const quint64 timestamp = static_cast<QInputEvent *>(event)->timestamp();
    if (timestamp != 0) {
        if (timestamp <= m_dernierHorodatage)
            return QObject::eventFilter(watched, event);
        m_dernierHorodatage = timestamp;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchBegin:
        m_appui = true;
        break;
    case QEvent::MouseButtonRelease:
        // Still down: another button.
        m_appui = static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton;
        break;
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        m_appui = false;
        break;
    case QEvent::TouchUpdate:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
        break;
    case QEvent::MouseMove:
        if (!m_appui)
            return QObject::eventFilter(watched, event);
        break;
    default:
        return QObject::eventFilter(watched, event);
    }
    // A child is here: whatever was being closed stays as it is now.
    m_derniereActivite = m_clock.now();
    if (m_enCours) {
        m_enCours = false;
        m_timer.setInterval(kCheckMs);
    }
    return QObject::eventFilter(watched, event);
}

void RetourAccueil::verifie()
{
    if (m_occupé && m_occupé())
        return; // asked again at the next tick
    const QDateTime now = m_clock.now();
    if (!m_enCours) {
        if (m_delaiMs <= 0 || m_appui || m_derniereActivite.msecsTo(now) < m_delaiMs)
            return;
        if (!anyScreenAboveMenu()) {
            m_derniereActivite = now;
            return;
        }
        m_enCours = true;
        m_dernierFerme = nullptr;
        m_timer.setInterval(kStepMs);
    }
    if (!fermeLePlusHaut()) {
        m_enCours = false;
        m_derniereActivite = now;
        m_timer.setInterval(kCheckMs);
    }
}

bool RetourAccueil::fermeLePlusHaut()
{
    QWidget *top = QApplication::activeModalWidget();
    if (!top)
        return false;
    if (auto *box = qobject_cast<QMessageBox *>(top)) {
        if (!anyScreenAboveMenu())
            return false;
        // A question waits for a grown-up: answering it for them could end
        // the program without the repair nobody saw offered. Only a box that
        // merely tells something is closed.
        QAbstractButton *ok = box->button(QMessageBox::Ok);
        if (!ok || box->buttons().size() != 1)
            return false;
        ok->click();
        return true;
    }
    LumaScreen *screen = screenWithDoor(top);
    // The same screen still on top after its door was pressed: something
    // keeps it open (a disabled door); leave it rather than press forever.
    if (!screen || screen == m_dernierFerme)
        return false;
    m_dernierFerme = screen;
    screen->door()->click();
    return true;
}
