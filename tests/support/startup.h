#pragma once

// Header only: the kiosk's start-up run from a data folder, for the tests
// that link the whole kiosk.

#include "testcontext.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <functional>

inline QWidget *visibleTopLevel(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Runs the start-up from `folder` as the current folder. While the main menu
// is up, runs atMenu and then closes the menu. Returns whether the menu came.
inline bool runStartup(TestContext &t, const QString &folder, const std::function<void()> &atMenu = {})
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    QObject guard;
    bool menuShown = false;
    auto *poll = new QTimer(&guard);
    QObject::connect(poll, &QTimer::timeout, &guard, [&] {
        QWidget *menu = visibleTopLevel(QStringLiteral("Feuillechoix"));
        if (!menu)
            return;
        poll->stop();
        menuShown = true;
        if (atMenu)
            atMenu();
        menu->hide();
    });
    poll->start(0);
    t.context.Présentation();
    QDir::setCurrent(previous);
    return menuShown;
}
