#include "gestion/fenetreprincipale.h"

#include <QApplication>
#include <QKeySequence>
#include <QListWidget>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>

FenetrePrincipale::FenetrePrincipale(QWidget *parent)
    : QMainWindow(parent), m_sections(new QListWidget), m_pages(new QStackedWidget)
{
    setWindowTitle(QStringLiteral("La LUMA – Gestion"));
    m_sections->setObjectName(QStringLiteral("sections"));
    m_sections->setMaximumWidth(200);
    auto *splitter = new QSplitter;
    splitter->addWidget(m_sections);
    splitter->addWidget(m_pages);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    connect(m_sections, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);

    QMenu *fichier = menuBar()->addMenu(QStringLiteral("&Fichier"));
    fichier->addAction(QStringLiteral("&Quitter"), QKeySequence::Quit, this, &QWidget::close);
    resize(1000, 680);
}

void FenetrePrincipale::ajouteSection(const QString &nom, QWidget *page)
{
    m_pages->addWidget(page);
    m_sections->addItem(nom);
    if (m_sections->count() == 1)
        m_sections->setCurrentRow(0);
}

void FenetrePrincipale::montreDossier(const QString &dossier)
{
    statusBar()->showMessage(dossier);
}
