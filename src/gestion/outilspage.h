#pragma once

#include <QKeySequence>
#include <QString>

#include <functional>

class QAction;
class QLayout;
class QPushButton;
class QWidget;

// What the sections' pages share: their named buttons and their shortcuts.

// A button added to the row, named so that tests find it; `bulle`: its tooltip.
QPushButton *boutonDePage(const QString &texte, const QString &nom, QLayout *ligne, const QString &bulle = {});

// A shortcut that works while the focus is anywhere in the page.
QAction *raccourciDePage(QWidget *page, const QKeySequence &touche, std::function<void()> action);
