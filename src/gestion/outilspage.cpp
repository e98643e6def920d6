#include "gestion/outilspage.h"

#include <QAction>
#include <QLayout>
#include <QPushButton>

QPushButton *boutonDePage(const QString &texte, const QString &nom, QLayout *ligne, const QString &bulle)
{
    auto *b = new QPushButton(texte);
    b->setObjectName(nom);
    if (!bulle.isEmpty())
        b->setToolTip(bulle);
    ligne->addWidget(b);
    return b;
}

QAction *raccourciDePage(QWidget *page, const QKeySequence &touche, std::function<void()> action)
{
    auto *a = new QAction(page);
    a->setShortcut(touche);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(a, &QAction::triggered, page, std::move(action));
    page->addAction(a);
    return a;
}
